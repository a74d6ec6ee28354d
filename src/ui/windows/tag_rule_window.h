// The window "Pelto Marvish Tag By Rule" ("Tag Copies By Rule...", Ctrl+K):
// the choices of a tag rule, a preview of what it will tag, and Tag, which
// tags the spare copies of every group (or of the selected row's group).
// The choices are remembered in the file `rules_file` of the data directory.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "list_text/tag_rule_file.h"
#include "ui/list/list_commands.h"

// A list of two rows or fewer gives only the error signal; a busy list the
// "List Box Busy" notice naming "Tag By Rule".
void open_tag_rule_window(ListContext ctx, const std::string& rules_file = TAG_RULE_FILE_NAME);

// The open window, or null.
GtkWidget* tag_rule_window();
