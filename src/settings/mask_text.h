// The four mask lists of the settings record as the settings window shows
// them: one mask per line of a text box.
//
// A mask is bytes; a text box holds UTF-8. In a box each mask shows in its
// display form, which reads back to exactly the mask's bytes:
// - a byte that is not part of valid UTF-8, and a control byte (below 0x20,
//   and 0x7f), shows as "\xHH" (two capital hex digits);
// - blanks at the end of a mask, and slashes there (but in a comment entry),
//   show as "\x20" and "\x2F", since the end of a line loses them;
// - a run of backslashes right before "xHH" (where HH are two hex digits,
//   not "00", of either case), or before a byte shown as "\xHH", shows
//   doubled: "\\x41" is a backslash and the text "x41".
// Everything else shows as it is, the matcher's own escapes ("\*", "\\")
// included. Reading a line undoes exactly that: "\xHH" is the byte HH
// (a byte typed this way may be any but NUL), a run of 2n backslashes before
// "xHH" is n backslashes, a run of 2n+1 is n backslashes and the byte HH,
// and any other text is its own bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_record.h"

// The display form of one mask (bytes other than NUL).
std::string mask_display_text(std::string_view mask);

// The bytes a line of a text box stands for once trimmed (trim_mask_line).
std::string mask_from_display(std::string_view line);

// Whether `text` is valid UTF-8 (no overlong forms, surrogates or code
// points past U+10FFFF, as a GTK text box demands).
bool is_valid_utf8(std::string_view text);

// The mask that matches exactly the path `path` (bytes): the wildcard
// characters * ? [ ] and the backslash get a backslash before them.
std::string mask_for_path(std::string_view path);

// The text of a mask list: the display form of each entry from slot 0 up to
// the first empty slot, followed by a line feed.
std::string mask_list_text(const MaskList& list);

// Reads the next line of `text` from `pos` (line feeds before it skipped)
// into `line`, and moves `pos` past it and its line feed. False when no
// character is left.
bool next_mask_line(std::string_view text, std::size_t& pos, std::string& line);

// Whether the mask is a comment entry: it begins with "/*" and holds "*/".
bool is_comment_mask(std::string_view mask);

// Removes trailing carriage returns, line feeds, blanks, tabs and slashes;
// a comment entry ("/*" ... "*/") loses only the white space.
void trim_mask_line(std::string& line);

// One line of a text box that stores a mask: the line as shown, trimmed,
// and the mask's bytes.
struct MaskLine {
  std::string shown;
  std::string mask;
};

// The lines of a text box that store masks, in order: trimmed, lines that
// trim to nothing left out (a blank line never ends the list).
std::vector<MaskLine> mask_text_lines(std::string_view text);

// What a text box would store: the masks of its lines in order.
std::vector<std::string> mask_lines(std::string_view text);

// Why a text cannot be stored whole: a mask longer than a slot holds (64
// bytes), or more masks than a list holds. `line` gets the first line at
// fault, as shown.
enum class MaskProblem { NONE, TOO_LONG, TOO_MANY };
MaskProblem check_mask_text(std::string_view text, std::string& line);

// Stores the masks of `text` in `list`, packed from slot 0, the slot after
// the last one emptied. Masks too long are cut and masks past the 100th
// left out; check_mask_text tells of both first.
void read_mask_text(std::string_view text, MaskList& list);
