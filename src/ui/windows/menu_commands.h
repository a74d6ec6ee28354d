// The one table of the main window's commands: each menu entry and tool-bar
// button with its accelerator and the command it runs. The window connects
// and greys its entries from this table; the double and triple click
// actions run entries of it too.
#pragma once

#include <span>

struct MenuCommand {
  const char* widget;       // id of the menu entry or tool-bar button in main_window.ui
  const char* accelerator;  // in gtk_accelerator_parse's notation, or null
  void (*run)();            // null: not in this version yet (the entry is greyed)
};

std::span<const MenuCommand> menu_commands();

// The entry of that widget, or null.
const MenuCommand* find_menu_command(const char* widget);

// Runs what the settings chose for a double or triple click (a ClickAction);
// actions whose command is not in this version do nothing.
void run_click_action(int action);
