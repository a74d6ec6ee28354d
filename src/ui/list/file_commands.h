// The per-file commands on the selected row: "Open Folder" (F7) and "View
// File" (F10) hand the file to the user's helper scripts in the data
// directory (pmopen, pmview); "Info..." (F8) and "User Function" (F9) are
// windows (ui/windows/file_info.h, user_output.h) built on what is here.
// Each starts what it runs through the launcher it is given.
//
// Every file-derived text on a helper's command line is one quoted shell
// word, and the helpers are named by their absolute paths: no file name can
// run a command or split into two arguments.
#pragma once

#include <cstdint>
#include <string>

#include "core/launcher.h"
#include "ui/list/list_commands.h"
#include "ui/list/result_list.h"

// Whether the row can be acted on: row 1 or later, with a path.
bool row_has_file(const ResultList& list, int row);

// 'A' when the file reads as text (carriage return, line feed, tab, form
// feed, 26, and 32 to 127 only; an empty file too), 'B' otherwise, also
// when it cannot be read or is not a regular file (a pipe is never waited
// on). Only the first TEXT_TEST_LIMIT bytes are looked at.
inline constexpr std::int64_t TEXT_TEST_LIMIT = 4 << 20;
char text_kind(const std::string& path);

// The command lines, for /bin/sh.
std::string open_folder_command(const std::string& path);
std::string helper_file_command(const char* helper, const std::string& path, char kind,
                                std::int64_t size);

// Starts a helper's command `line`, not waited for. One that cannot be
// started is told: the error signal and the notice "Can Not Start Helper"
// naming `helper`. True when it was started.
bool start_helper(Prompter& prompter, Launcher& launcher, const char* helper,
                  const std::string& line);

// "Open Folder": pmopen DIRECTORY NAME EXTENSION, not waited for.
void open_folder(ResultList& list, Prompter& prompter, Launcher& launcher);
// "View File": pmview 1 PATH EXT KIND SIZE, not waited for; nothing for a
// row marked "D".
void view_entry(ResultList& list, Prompter& prompter, Launcher& launcher);
