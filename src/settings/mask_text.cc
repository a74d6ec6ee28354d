#include "settings/mask_text.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t MASK_LENGTH = MASK_SLOT_SIZE - 1;  // 64 characters and the NUL

bool is_comment_entry(const std::string& line) {
  return line.rfind("/*", 0) == 0 && line.find("*/") != std::string::npos;
}

}  // namespace

std::string mask_list_text(const MaskList& list) {
  std::string text;
  for (int i = 0; i < MASK_SLOTS && list[i][0] != '\0'; ++i) {
    text.append(list[i], strnlen(list[i], MASK_SLOT_SIZE));
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

void trim_mask_line(std::string& line) {
  const bool comment = is_comment_entry(line);
  while (!line.empty()) {
    char last = line.back();
    bool blank = last == '\r' || last == '\n' || last == ' ' || last == '\t';
    if (!blank && (comment || last != '/')) break;
    line.pop_back();
  }
}

std::vector<std::string> mask_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  std::string line;
  while (next_mask_line(text, pos, line)) {
    trim_mask_line(line);
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

MaskProblem check_mask_text(std::string_view text, std::string& line) {
  std::vector<std::string> lines = mask_lines(text);
  for (const std::string& mask : lines) {
    if (mask.size() > MASK_LENGTH) {
      line = mask;
      return MaskProblem::TOO_LONG;
    }
  }
  if (lines.size() > static_cast<std::size_t>(MASK_SLOTS)) {
    line = lines[MASK_SLOTS];
    return MaskProblem::TOO_MANY;
  }
  return MaskProblem::NONE;
}

void read_mask_text(std::string_view text, MaskList& list) {
  std::vector<std::string> lines = mask_lines(text);
  int i = 0;
  for (; i < MASK_SLOTS && i < static_cast<int>(lines.size()); ++i) {
    std::size_t n = std::min(lines[i].size(), MASK_LENGTH);
    std::memcpy(list[i], lines[i].data(), n);
    list[i][n] = '\0';
  }
  if (i < MASK_SLOTS) list[i][0] = '\0';
}
