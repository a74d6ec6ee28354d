// The per-file commands on the selected row: "Open Folder" (F7), "Info..."
// (F8), "User Function" (F9) and "View File" (F10). Three hand the file to
// the user's helper scripts in the data directory (pmopen, pmuser, pmview);
// the fourth shows the file's type, owner and group. Each starts what it
// runs through the launcher it is given.
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

// "Open Folder": pmopen DIRECTORY NAME EXTENSION, not waited for.
void open_folder(ResultList& list, Launcher& launcher);
// "View File": pmview 1 PATH EXT KIND SIZE, not waited for; nothing for a
// row marked "D".
void view_entry(ResultList& list, Launcher& launcher);

// How long `file` may take to name a file's type before it is given up
// (killed) and the type shows as "Unknown".
inline constexpr int FILE_TYPE_TIME_LIMIT_MS = 5000;

// "Info...": the box "Info" with the file's type, its owner and group, and
// buttons OK, Delete and View. The box opens at once; the type is what the
// system's `file` says (its first 256 bytes), shown when it answers, or
// "Unknown" when it fails or has not answered within `type_time_limit_ms`.
// Delete and View act on the file the box describes, whichever row is
// selected meanwhile: Delete deletes that one file as Delete File does for
// a single entry (never the tagged ones); once it is deleted (its row gone
// or marked "D"), both are greyed and do nothing.
void show_file_info(DeleteContext ctx, Launcher& launcher,
                    int type_time_limit_ms = FILE_TYPE_TIME_LIMIT_MS);

// "User Function": pmuser 1 PATH EXT KIND SIZE, its output (at most 8192
// bytes) shown in the window "pmuser". The main loop keeps running while the
// helper does; closing the window ends a helper that is still running.
void run_user_function(ResultList& list, Launcher& launcher);
