// "Print Listbox" and "Copy Line/Group": the list as plain text to the
// system's lpr, and the selected entry's path onto the clipboard.
#pragma once

#include <string>

#include "core/launcher.h"
#include "ui/dialogs/prompter.h"
#include "ui/list/result_list.h"

// The whole list as "Print Listbox" prints it: a group header after an
// empty line, a comment row on one line, a file row's six short columns on
// one line and its path on the next, each column as the list shows it.
std::string print_text(const ResultList& list);

// Writes the list to a new file "print-XXXXXX.Temp" in the data directory
// and hands it to lpr (an argument vector, no shell) through `launcher`.
// When lpr has accepted it, "Print Started"; when lpr is missing or fails,
// "Print Failed" with what it said (the first 1,024 bytes of each of its
// outputs are all that is kept). The print file is removed once lpr has
// ended. Returns at once; the message comes when lpr ends.
void print_list(ResultList& list, Prompter& prompter, Launcher& launcher);

// Puts the selected entry's path (empty for a header) on the clipboard and
// on the primary selection; it stays there after the command returns. The
// text targets hold pasted_path_text (a name that is not valid text in the
// shell's $'...' quoting), text/uri-list the path's exact bytes as a file
// URI.
void copy_path(ResultList& list, Prompter& prompter);
