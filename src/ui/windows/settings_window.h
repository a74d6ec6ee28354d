// The settings window "TheWinSetting", titled "Pelto Marvish Settings": the
// one editor of the settings record. Eleven notebook pages and five buttons
// (OK Save, Apply, Cancel, Default, Help), built from settings_window.ui
// each time it opens and filled from the record; nothing reaches the record
// before Apply or OK Save (but the calendar double-click, which sets its
// date at once), and only OK Save writes the file "Settings".
#pragma once

#include <gtk/gtk.h>

#include "settings/settings_page.h"
#include "settings/settings_record.h"

// Opens the window over `record` on `page` (a SettingsPage), or on the page
// shown last for PAGE_SHOWN_LAST. It is modal: the main window stays greyed
// until it closes. Opening it while it is open only brings it forward.
void open_settings_window(SettingsRecord& record, int page);

// The page the window showed when it last closed, or when Default or Help
// was last pressed; PAGE_FILE_MASKS until then.
int last_settings_page();

// The open window, or null.
GtkWidget* settings_window();
