// The window "Find": Find Next and Tag with a pattern a row must match and
// one that rules a row out, their recent texts kept in the state record.
#pragma once

#include <gtk/gtk.h>

#include "settings/state_record.h"
#include "ui/dialogs/prompter.h"
#include "ui/list/result_list.h"

// Opens the window over the list ("Find / Tag..." without the busy test;
// "Find Next " and the tool bar's "Find" with it). A list of two rows or
// fewer only gives the error signal; with `busy_test`, a busy list gives
// the "List Box Busy" notice.
void open_find_window(ResultList& list, Prompter& prompter, StateRecord& state, bool busy_test);

// The open window, or null.
GtkWidget* find_window();
