#include "settings/mask_text.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t MASK_LENGTH = MASK_SLOT_SIZE - 1;  // 64 bytes and the NUL

// The length of the valid UTF-8 sequence at `i`, 0 when there is none.
std::size_t utf8_length_at(std::string_view s, std::size_t i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b = byte(i);
  if (b < 0x80) return 1;
  std::size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) lo = 0xA0;  // no overlong form
    if (b == 0xED) hi = 0x9F;  // no surrogate
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) lo = 0x90;  // no overlong form
    if (b == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return n;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Whether `s` holds "xHH" at `i` that a backslash before it makes a byte:
// two hex digits, not "00" (no mask holds a NUL).
bool byte_escape_at(std::string_view s, std::size_t i) {
  if (i + 3 > s.size() || s[i] != 'x') return false;
  if (hex_value(s[i + 1]) < 0 || hex_value(s[i + 2]) < 0) return false;
  return s[i + 1] != '0' || s[i + 2] != '0';
}

bool is_line_end_blank(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

void append_byte_escape(std::string& out, unsigned char b) {
  static constexpr char DIGITS[] = "0123456789ABCDEF";
  out += "\\x";
  out += DIGITS[b >> 4];
  out += DIGITS[b & 0xF];
}

}  // namespace

bool is_valid_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = utf8_length_at(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string mask_display_text(std::string_view mask) {
  // The bytes the end of a line would lose: they show as escapes.
  const bool comment = is_comment_mask(mask);
  std::size_t tail = mask.size();
  while (tail > 0 && (is_line_end_blank(mask[tail - 1]) || (!comment && mask[tail - 1] == '/'))) {
    --tail;
  }
  // The length of the sequence at `i` shown as it is; 0 for a byte shown
  // as "\xHH".
  auto plain_length = [&](std::size_t i) -> std::size_t {
    const unsigned char b = static_cast<unsigned char>(mask[i]);
    if (i >= tail || b < 0x20 || b == 0x7F) return 0;
    return utf8_length_at(mask, i);
  };

  std::string out;
  out.reserve(mask.size() + 8);
  for (std::size_t i = 0; i < mask.size();) {
    if (mask[i] == '\\') {
      std::size_t run = 0;
      while (i + run < mask.size() && mask[i + run] == '\\') ++run;
      const std::size_t next = i + run;
      // Before "xHH", or before a byte shown as "\xHH", a run reads as half
      // its length: it shows doubled.
      bool doubled = next < mask.size() && (byte_escape_at(mask, next) || plain_length(next) == 0);
      out.append(doubled ? 2 * run : run, '\\');
      i = next;
      continue;
    }
    if (std::size_t n = plain_length(i)) {
      out.append(mask.substr(i, n));
      i += n;
    } else {
      append_byte_escape(out, static_cast<unsigned char>(mask[i]));
      ++i;
    }
  }
  return out;
}

std::string mask_from_display(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  for (std::size_t i = 0; i < line.size();) {
    if (line[i] != '\\') {
      out += line[i++];
      continue;
    }
    std::size_t run = 0;
    while (i + run < line.size() && line[i + run] == '\\') ++run;
    i += run;
    if (!byte_escape_at(line, i)) {
      out.append(run, '\\');
      continue;
    }
    out.append(run / 2, '\\');
    if (run % 2 == 1) {
      out += static_cast<char>(hex_value(line[i + 1]) * 16 + hex_value(line[i + 2]));
      i += 3;
    }
  }
  return out;
}

std::string mask_for_path(std::string_view path) {
  std::string mask;
  mask.reserve(path.size() + 4);
  for (char c : path) {
    if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\') mask += '\\';
    mask += c;
  }
  return mask;
}

std::string mask_list_text(const MaskList& list) {
  std::string text;
  for (int i = 0; i < MASK_SLOTS && list[i][0] != '\0'; ++i) {
    text += mask_display_text(std::string_view(list[i], strnlen(list[i], MASK_SLOT_SIZE)));
    text += '\n';
  }
  return text;
}

bool next_mask_line(std::string_view text, std::size_t& pos, std::string& line) {
  while (pos < text.size() && text[pos] == '\n') ++pos;
  if (pos >= text.size()) return false;
  std::size_t end = text.find('\n', pos);
  if (end == std::string_view::npos) end = text.size();
  line.assign(text.substr(pos, end - pos));
  pos = end < text.size() ? end + 1 : end;
  return true;
}

bool is_comment_mask(std::string_view mask) {
  return mask.substr(0, 2) == "/*" && mask.find("*/") != std::string_view::npos;
}

void trim_mask_line(std::string& line) {
  const bool comment = is_comment_mask(line);
  while (!line.empty()) {
    char last = line.back();
    if (!is_line_end_blank(last) && (comment || last != '/')) break;
    line.pop_back();
  }
}

std::vector<MaskLine> mask_text_lines(std::string_view text) {
  std::vector<MaskLine> lines;
  std::size_t pos = 0;
  std::string line;
  while (next_mask_line(text, pos, line)) {
    trim_mask_line(line);
    if (line.empty()) continue;
    std::string mask = mask_from_display(line);
    lines.push_back({std::move(line), std::move(mask)});
  }
  return lines;
}

std::vector<std::string> mask_lines(std::string_view text) {
  std::vector<std::string> masks;
  for (MaskLine& line : mask_text_lines(text)) masks.push_back(std::move(line.mask));
  return masks;
}

MaskProblem check_mask_text(std::string_view text, std::string& line) {
  std::vector<MaskLine> lines = mask_text_lines(text);
  for (const MaskLine& l : lines) {
    if (l.mask.size() > MASK_LENGTH) {
      line = l.shown;
      return MaskProblem::TOO_LONG;
    }
  }
  if (lines.size() > static_cast<std::size_t>(MASK_SLOTS)) {
    line = lines[MASK_SLOTS].shown;
    return MaskProblem::TOO_MANY;
  }
  return MaskProblem::NONE;
}

void read_mask_text(std::string_view text, MaskList& list) {
  std::vector<std::string> masks = mask_lines(text);
  int i = 0;
  for (; i < MASK_SLOTS && i < static_cast<int>(masks.size()); ++i) {
    std::size_t n = std::min(masks[i].size(), MASK_LENGTH);
    std::memcpy(list[i], masks[i].data(), n);
    list[i][n] = '\0';
  }
  if (i < MASK_SLOTS) list[i][0] = '\0';
}
