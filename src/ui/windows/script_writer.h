// The script writer "Pelto Marvish Write Script": the result list as a text
// file (normally a shell script) with a commented header, a comment per
// group header or comment row, and one expansion of the user's template per
// file row. Its choices live in the state record.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "settings/state_record.h"
#include "ui/dialogs/prompter.h"
#include "ui/list/result_list.h"
#include "ui/list/script_text.h"

// Opens the window over the list ("Write Script..." F11, the tool bar's
// "Script"); it edits the script fields of `state`.
void open_script_window(ResultList& list, Prompter& prompter, StateRecord& state);

// The open window, or null.
GtkWidget* script_window();
