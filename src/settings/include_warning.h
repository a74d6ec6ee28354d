// The warning line under the "Include Directories" box: the first include
// line that cannot do what it seems to say.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// What the rule needs to know of the world. The settings layer holds no
// matcher and looks at no disk: the window hands these in.
struct IncludeDirLookup {
  // Whether some text that begins with `prefix` matches `mask` (the
  // scanner's mask_can_match_prefix).
  std::function<bool(const char* mask, const char* prefix)> can_match_prefix;
  // Whether `path` (bytes) is an existing directory.
  std::function<bool(const std::string& path)> is_directory;
  // The user's home directory (bytes).
  std::string home;
};

// The warning for the text of the "Include Directories" box (its lines in
// display form, see mask_text.h), or "" when there is none. Comment lines
// are passed over; for the first line that
// - begins with "~": "~ is not expanded: write HOME instead" (a mask is
//   matched as written, so "~" is a directory named "~");
// - names an existing directory DIR (a mask without wildcards, its escapes
//   read as the characters they stand for, beginning with "/") while no
//   include mask of the text can match a path "DIR/x" (x a name):
//   "Files below DIR are not searched: add DIR/*".
// DIR and HOME are shown as a line of the box would show them.
std::string include_dir_warning(std::string_view text, const IncludeDirLookup& lookup);
