#include "list_text/list_rows.h"

#include <glib.h>

#include <limits>
#include <vector>

#include "core/escaped_text.h"

std::int64_t size_from_text(std::string_view text) {
  constexpr std::int64_t MAX = std::numeric_limits<std::int64_t>::max();
  std::int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') continue;
    int digit = c - '0';
    n = n > (MAX - digit) / 10 ? MAX : n * 10 + digit;
  }
  return n;
}

std::string display_text(std::string_view bytes) {
  bool plain = true;
  for (char c : bytes) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x80 || is_control_byte(u)) {
      plain = false;
      break;
    }
  }
  if (plain) return std::string(bytes);

  std::string out;
  out.reserve(bytes.size() + 8);
  append_escaped_utf8(out, bytes, EscapeStyle{});
  return out;
}

std::string pasted_path_text(std::string_view path) {
  bool plain = g_utf8_validate(path.data(), static_cast<gssize>(path.size()), nullptr);
  for (char c : path) {
    if (is_control_byte(static_cast<unsigned char>(c))) plain = false;
  }
  if (plain) return std::string(path);

  // Bash's $'...' reads \xHH, \n, \t, \r, \\ and \' back to their bytes.
  std::string out = "$'";
  append_escaped_utf8(out, path,
                      {.also_escaped = "\\'", .lower_hex = true, .hex_for_invalid = true});
  out += '\'';
  return out;
}

std::string fit_path(std::string_view path, const std::function<bool(std::string_view)>& fits) {
  if (fits(path)) return std::string(path);
  constexpr std::string_view ELLIPSIS = "\xE2\x80\xA6";  // U+2026
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return std::string(path);
  const std::string_view directory = path.substr(0, slash);  // without its last '/'
  const std::string_view name = path.substr(slash);          // with it
  // Where each character of the directory starts.
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < directory.size(); ++i) {
    if ((static_cast<unsigned char>(directory[i]) & 0xC0) != 0x80) starts.push_back(i);
  }
  const std::size_t count = starts.size();
  // The text with `kept` characters of the directory: half from its
  // beginning, the rest from its end.
  auto with_kept = [&](std::size_t kept) {
    const std::size_t head = (kept + 1) / 2;
    const std::size_t tail = kept - head;
    std::string text(directory.substr(0, head < count ? starts[head] : directory.size()));
    text += ELLIPSIS;
    text += directory.substr(tail > 0 ? starts[count - tail] : directory.size());
    text += name;
    return text;
  };
  // The most characters that fit: fewer always fit when more do.
  std::size_t low = 0, high = count;  // with_kept(count) is the path plus "…"
  while (low < high) {
    const std::size_t mid = (low + high + 1) / 2;
    if (fits(with_kept(mid))) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return with_kept(low);
}

PathParts split_path(std::string_view path) {
  PathParts parts;
  // The last '/' that is not the first character; a file directly in the
  // root directory has "/" as its directory, so the parts rebuild the path.
  std::size_t slash = path.rfind('/');
  std::string_view name_part = path;
  if (slash != std::string_view::npos && slash > 0) {
    parts.directory.assign(path.substr(0, slash + 1));
    name_part = path.substr(slash + 1);
  } else if (slash == 0 && path.size() > 1) {
    parts.directory = "/";
    name_part = path.substr(1);
  }
  if (parts.directory.empty()) parts.directory = "./";
  std::size_t dot = name_part.rfind('.');
  if (dot == std::string_view::npos) {
    parts.name.assign(name_part);
  } else {
    parts.name.assign(name_part.substr(0, dot));
    parts.extension.assign(name_part.substr(dot));
  }
  return parts;
}

std::string upper_case(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}
