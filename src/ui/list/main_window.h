// The main window "TheFinder": menu bar, tool bar, the result list
// "TheClistBox", the status lines "TheMsg1" and "TheMsg2" and the progress
// bar "ThepBar", built from main_window.ui.
#pragma once

#include <gtk/gtk.h>

#include "settings/settings_record.h"

struct MainWindow {
  GtkBuilder* builder = nullptr;  // owns every widget and the list store
  GtkWindow* window = nullptr;
  GtkTreeView* list = nullptr;
  GtkListStore* store = nullptr;
  GtkLabel* msg1 = nullptr;
  GtkLabel* msg2 = nullptr;
  GtkProgressBar* progress = nullptr;
  bool frozen = false;  // the store is detached from the view while rows pour in
};

// The program's one main window, once built.
extern MainWindow g_main;

// Columns of the list store: the seven texts, then the row's text and
// background colours (unset: the theme's).
enum ListColumn { COL_TEXT_LAST = 6, COL_FOREGROUND = 7, COL_BACKGROUND = 8 };

// Text colour of comment rows and group headers.
inline constexpr GdkRGBA COMMENT_COLOUR = {0.0, 0.0, 0xAFFF / 65535.0, 1.0};

// Makes the program's resources (layouts, icons) available; done by
// build_main_window, needed before any other use of them.
void register_resources();

// Builds the window and connects every handler; the caller shows it.
MainWindow& build_main_window();

// A widget of the main window by its name (the .ui id).
GObject* main_widget(const char* name);

// The command behind a menu entry or tool-bar button. Entries whose command
// is not in the program yet stay insensitive.
using MenuCommand = void (*)();

// What a double or triple click on a row does, by ClickAction; a null entry
// does nothing. Filled in by the parts of the program that carry them out.
extern MenuCommand g_click_actions[ACTION_OPEN_FOLDER + 1];

// The list keeps the last double/triple press: 0 none, 2 double, 3 triple.
extern int g_click_kind;

// Runs the action chosen for the last double or triple click; a GLib
// timeout callback, run once.
int click_dispatch(void* unused);

// The refusal of a list command: three beeps when "Enable Error Beep" is on.
void error_signal();

// Appending rows: detach the store from the view, and attach it again.
void freeze_list();
void thaw_list();

// Appends one row; rows whose mark begins with '/' are drawn in the comment colour.
void append_list_row(const char* const texts[7]);

// Removes every row; no row is selected afterwards.
void clear_list();

// Selects the list's first entry (row 1, after the "Sorted List" row) and
// scrolls to it; refuses with the error signal when the list has no entry.
void goto_first_entry();
