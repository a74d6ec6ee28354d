#include "settings/include_warning.h"

#include <vector>

#include "settings/mask_text.h"

namespace {

// The path a mask matches exactly, when it is a plain absolute path: no
// wildcard, each "\c" standing for c. "" otherwise.
std::string plain_path(std::string_view mask) {
  if (mask.empty() || mask[0] != '/') return "";
  std::string path;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    char c = mask[i];
    if (c == '*' || c == '?' || c == '[') return "";
    if (c == '\\') {
      if (++i == mask.size()) return "";  // a lone trailing backslash matches nothing
      c = mask[i];
    }
    path += c;
  }
  return path;
}

// Whether `mask` matches some path "dir/x...", x a byte a name may begin
// with. The prefix "dir/" alone is not enough: "dir/" is no path.
bool reaches_below(const std::string& mask, const std::string& dir,
                   const IncludeDirLookup& lookup) {
  std::string probe = dir + "/";
  if (!lookup.can_match_prefix(mask.c_str(), probe.c_str())) return false;
  probe += 'a';  // the usual answer comes at once
  if (lookup.can_match_prefix(mask.c_str(), probe.c_str())) return true;
  for (int c = 1; c < 256; ++c) {
    if (c == '/' || c == 'a') continue;
    probe.back() = static_cast<char>(c);
    if (lookup.can_match_prefix(mask.c_str(), probe.c_str())) return true;
  }
  return false;
}

}  // namespace

std::string include_dir_warning(std::string_view text, const IncludeDirLookup& lookup) {
  std::vector<MaskLine> lines = mask_text_lines(text);
  std::vector<const std::string*> masks;
  for (const MaskLine& line : lines) {
    if (!is_comment_mask(line.mask)) masks.push_back(&line.mask);
  }
  for (const MaskLine& line : lines) {
    if (is_comment_mask(line.mask)) continue;
    if (line.mask[0] == '~') {
      std::string home = lookup.home;
      while (home.size() > 1 && home.back() == '/') home.pop_back();
      std::string shown = home == "/" ? home : mask_display_text(mask_for_path(home));
      return "~ is not expanded: write " + shown + " instead";
    }
    std::string dir = plain_path(line.mask);
    if (dir.empty() || !lookup.is_directory(dir)) continue;
    bool below = false;
    for (const std::string* mask : masks) {
      if ((below = reaches_below(*mask, dir, lookup))) break;
    }
    if (!below) {
      return "Files below " + line.shown + " are not searched: add " + line.shown + "/*";
    }
  }
  return "";
}
