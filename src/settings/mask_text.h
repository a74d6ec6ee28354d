// The four mask lists of the settings record as the settings window shows
// them: one mask per line of a text box.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_record.h"

// The text of a mask list: each entry from slot 0 up to the first empty
// slot, followed by a line feed.
std::string mask_list_text(const MaskList& list);

// Reads the next line of `text` from `pos` (line feeds before it skipped)
// into `line`, and moves `pos` past it and its line feed. False when no
// character is left.
bool next_mask_line(std::string_view text, std::size_t& pos, std::string& line);

// Removes trailing carriage returns, line feeds, blanks, tabs and slashes;
// a comment entry ("/*" ... "*/") loses only the white space.
void trim_mask_line(std::string& line);

// What a text box would store: its trimmed lines in order, lines that trim
// to nothing left out (a blank line never ends the list).
std::vector<std::string> mask_lines(std::string_view text);

// Why a text cannot be stored whole: a mask longer than a slot holds, or
// more masks than a list holds. `line` gets the first mask at fault.
enum class MaskProblem { NONE, TOO_LONG, TOO_MANY };
MaskProblem check_mask_text(std::string_view text, std::string& line);

// Stores the masks of `text` in `list`, packed from slot 0, the slot after
// the last one emptied. Masks too long are cut and masks past the 100th
// left out; check_mask_text tells of both first.
void read_mask_text(std::string_view text, MaskList& list);
