// Pure helpers for list rows: the size its size column says, and the form in
// which a text of bytes is shown. (What kind a row is: core/row_texts.h.)
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/row_texts.h"

// The size a size column says: its decimal digits, every other character
// dropped ("1,234,567" is 1234567); 0 without digits. A number too large for
// 64 bits stays at the largest one.
std::int64_t size_from_text(std::string_view text);

// How a text of bytes is shown: bytes that are not UTF-8 become U+FFFD, and
// control characters become visible escapes ("\n", "\t", "\r", "\x1B"), so
// a row stays one line. Text that needs neither comes back unchanged.
std::string display_text(std::string_view bytes);

// A path as copied to the clipboard's text: itself when it is valid UTF-8
// without control characters, else one word in bash's $'...' quoting that
// names exactly its bytes when pasted into a shell (bytes that are not
// UTF-8 and control characters as \xHH, \n, \t, \r; a backslash and a
// single quote with a backslash before them): "caf\xE9.txt" gives
// "$'caf\xe9.txt'".
std::string pasted_path_text(std::string_view path);

// A shown path cut so that it fits (`fits` says whether a text does): the
// path itself when it fits; else with the middle of its directory replaced
// by "…", keeping as much of the directory's beginning and end as fits and
// the file name (after the last '/') whole; "…/NAME" when no more fits.
// `path` is valid UTF-8 (a display form); characters are never split.
std::string fit_path(std::string_view path, const std::function<bool(std::string_view)>& fits);

// A path as directory (with its trailing "/"), name without extension, and
// extension with its dot: "/home/ann/notes.old.txt" gives "/home/ann/",
// "notes.old", ".txt"; a file directly in the root directory gives "/"; a
// path without a directory gives "./".
struct PathParts {
  std::string directory;
  std::string name;
  std::string extension;
};
PathParts split_path(std::string_view path);

// The extension with every ASCII letter in upper case (".txt" gives ".TXT").
std::string upper_case(std::string_view text);
