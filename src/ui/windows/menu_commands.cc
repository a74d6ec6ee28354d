#include "ui/windows/menu_commands.h"

#include <cstring>
#include <iterator>
#include <vector>

#include "core/process.h"
#include "core/result_intake.h"
#include "ui/dialogs/help_viewer.h"
#include "ui/list/file_commands.h"
#include "ui/list/list_commands.h"
#include "ui/list/print_copy.h"
#include "ui/windows/file_info.h"
#include "ui/windows/find_tag.h"
#include "ui/windows/main_window.h"
#include "ui/windows/script_writer.h"
#include "ui/windows/tag_rule_window.h"
#include "ui/windows/user_output.h"

namespace {

using namespace list_commands;

void scan(MainWindow& w) { start_scan(w.rows().block(), w); }
void stop(MainWindow&) { stop_scan(); }
void end_program(MainWindow&) { exit_program(); }

// The settings window on a page, or on the page it showed last.
template <SettingsPage PAGE>
void settings(MainWindow& w) {
  w.open_settings(PAGE);
}
void view_deleted_log(MainWindow&) { show_text_file("Deleted Log", "deleted.log"); }
void read_help(MainWindow&) { show_help("Basics"); }

void open_folder_of(MainWindow& w) { open_folder(w.rows(), w.prompter(), w.launcher()); }
void view_file(MainWindow& w) { view_entry(w.rows(), w.prompter(), w.launcher()); }
void info(MainWindow& w) { show_file_info(w.list_context(), w.launcher()); }
void user_function(MainWindow& w) { run_user_function(w.rows(), w.launcher()); }
void write_script(MainWindow& w) { open_script_window(w.rows(), w.prompter(), w.state()); }
void print(MainWindow& w) { print_list(w.rows(), w.prompter(), w.launcher()); }
void copy(MainWindow& w) { copy_path(w.rows(), w.prompter()); }
// "Find / Tag..." opens the window whatever the list is doing; "Find /
// Tag Files" and the tool bar's Find refuse while it is busy.
void find(MainWindow& w) { open_find_window(w.rows(), w.prompter(), w.state(), false); }
void find_files(MainWindow& w) { open_find_window(w.rows(), w.prompter(), w.state(), true); }
void tag_by_rule(MainWindow& w) { open_tag_rule_window(w.list_context()); }
void help_on_tag_by_rule(MainWindow&) { show_help("TagByRule"); }

// The window's own commands, in the order of the menus, then the tool bar;
// the menu entries of the list commands come from their table
// (ui/list/list_command_table.h), after these.
const MenuCommand WINDOW_COMMANDS[] = {
    // _File
    {"menuitem55", "F5", nullptr, scan},  // Start Scanning
    {"menuitem57", "F7", nullptr, open_folder_of},
    {"menuitem58", "F8", nullptr, info},
    {"menuitem59", "F9", nullptr, user_function},
    {"menuitem60", "F10", nullptr, view_file},
    {"menuitem61", "F11", nullptr, write_script},
    {"print_listbox", "F12", nullptr, print},
    {"menuitem67", "<Alt>x", nullptr, end_program},
    // _Settings
    {"menuitem69", "F2", nullptr, settings<PAGE_SHOWN_LAST>},
    {"menuitem70", "<Shift><Control>m", nullptr, settings<PAGE_FILE_MASKS>},
    {"menuitem71", "<Shift><Control>a", nullptr, settings<PAGE_ATTRIBUTES>},
    {"menuitem72", "<Shift><Control>r", nullptr, settings<PAGE_DATE_RANGES>},
    {"menuitem73", "<Shift><Control>z", nullptr, settings<PAGE_FILE_SIZES>},
    {"menuitem74", "<Shift><Control>x", nullptr, settings<PAGE_EXCLUDE_FILES>},
    {"menuitem75", "<Shift><Control>i", nullptr, settings<PAGE_INCLUDE_DIRECTORIES>},
    {"exclude_directories1", "<Shift><Control>e", nullptr, settings<PAGE_EXCLUDE_DIRECTORIES>},
    {"menuitem76", "<Shift><Control>l", nullptr, settings<PAGE_COMPARE_LOGIC>},
    {"menuitem77", "<Shift><Control>g", nullptr, settings<PAGE_GROUP_SIZES>},
    {"menuitem78", "<Shift><Control>s", nullptr, settings<PAGE_STOP>},
    {"menuitem79", "<Shift><Control>o", nullptr, settings<PAGE_OPERATION>},
    // _Edit
    {"menuitem81", "<Control>Insert", nullptr, copy},
    // _Delete
    {"menuitem94", "<Shift>Delete", nullptr, view_deleted_log},
    // _Tag
    {"menuitem97", "<Control>t", nullptr, find},
    {"menuitem98", "<Control>l", nullptr, find_files},
    {"tag_by_rule", "<Control>k", nullptr, tag_by_rule},
    // _Help
    {"menuitem104", "F1", nullptr, read_help},
    {"help_tag_by_rule", nullptr, nullptr, help_on_tag_by_rule},
    // Tool bar
    {"button20", nullptr, nullptr, settings<PAGE_SHOWN_LAST>},
    {"button21", nullptr, nullptr, scan},
    {"button22", nullptr, nullptr, stop},
    {"button23", nullptr, nullptr, find_files},
    {"button24", nullptr, nullptr, open_folder_of},
    {"button25", nullptr, nullptr, view_file},
    {"button26", nullptr, nullptr, info},
    {"button27", nullptr, nullptr, write_script},
    {"button28", nullptr, &DELETE_FILE, nullptr},
};

// The command each ClickAction runs, by the entry that carries it.
constexpr const char* CLICK_ACTION_ENTRIES[] = {
    nullptr,        // ACTION_NONE
    "menuitem102",  // ACTION_TOGGLE_TAG: Toggle Tag On Entry
    "menuitem90",   // ACTION_DELETE_FILE: Delete File, as the Delete key
    "menuitem60",   // ACTION_VIEW: View File
    "menuitem59",   // ACTION_USER_COMMAND: User Function
    "menuitem58",   // ACTION_INFO_DIALOG: Info...
    "menuitem57",   // ACTION_OPEN_FOLDER: Open Folder
};

}  // namespace

std::span<const MenuCommand> menu_commands() {
  static const std::vector<MenuCommand> commands = [] {
    std::vector<MenuCommand> all(std::begin(WINDOW_COMMANDS), std::end(WINDOW_COMMANDS));
    for (const ListCommand* command : list_commands::all()) {
      if (command->widget != nullptr) {
        all.push_back({command->widget, command->accelerator, command, nullptr});
      }
    }
    return all;
  }();
  return commands;
}

const MenuCommand* find_menu_command(const char* widget) {
  for (const MenuCommand& command : menu_commands()) {
    if (std::strcmp(command.widget, widget) == 0) return &command;
  }
  return nullptr;
}

void run_menu_command(const MenuCommand& command, MainWindow& window) {
  if (command.list_command != nullptr) {
    ListContext ctx = window.list_context();
    run_list_command(*command.list_command, ctx);
  } else if (command.run != nullptr) {
    command.run(window);
  }
}

void run_click_action(MainWindow& window, int action) {
  if (action <= ACTION_NONE || action > ACTION_OPEN_FOLDER) return;
  const MenuCommand* command = find_menu_command(CLICK_ACTION_ENTRIES[action]);
  if (command != nullptr) run_menu_command(*command, window);
}
