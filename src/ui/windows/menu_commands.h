// The one table of the main window's commands: each menu entry and tool-bar
// button with its accelerator and the command it runs. The window connects
// and greys its entries from this table; the double and triple click
// actions run entries of it too.
//
// A command is either a list command, whose row in the table of list
// commands (ui/list/list_command_table.h) names its menu entry and
// accelerator, whether it takes the busy word and the name its refusal
// shows, or a command of the window (a window to open, a helper to start),
// written in menu_commands.cc, which never takes the word itself.
#pragma once

#include <span>

#include "ui/list/list_commands.h"

class MainWindow;

struct MenuCommand {
  const char* widget;               // id of the menu entry or tool-bar button in main_window.ui
  const char* accelerator;          // in gtk_accelerator_parse's notation, or null
  const ListCommand* list_command;  // a list command, run on the window's list
  void (*run)(MainWindow& window);  // or a command of the window
  // Whether the entry has a command in this version (else it is greyed).
  bool present() const { return list_command != nullptr || run != nullptr; }
};

std::span<const MenuCommand> menu_commands();

// The entry of that widget, or null.
const MenuCommand* find_menu_command(const char* widget);

// Runs the entry's command for the window.
void run_menu_command(const MenuCommand& command, MainWindow& window);

// Runs what the settings chose for a double or triple click (a ClickAction);
// actions whose command is not in this version do nothing.
void run_click_action(MainWindow& window, int action);
