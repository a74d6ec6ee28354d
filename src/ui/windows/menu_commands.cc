#include "ui/windows/menu_commands.h"

#include <cstring>

#include "core/process.h"
#include "core/result_intake.h"
#include "settings/state_file.h"
#include "ui/dialogs/help_viewer.h"
#include "ui/list/file_commands.h"
#include "ui/list/list_commands.h"
#include "ui/list/print_copy.h"
#include "ui/windows/file_info.h"
#include "ui/windows/find_tag.h"
#include "ui/windows/main_window.h"
#include "ui/windows/script_writer.h"
#include "ui/windows/user_output.h"

namespace {

ResultList& rows() { return g_main.rows(); }
Prompter& prompter() { return g_main.prompter(); }
Launcher& launcher() { return g_main.launcher(); }

void scan() { start_scan(*g_block, g_main); }

// The settings window on a page; -1: the page shown last.
template <int PAGE>
void settings() {
  g_main.open_settings(PAGE);
}
void view_deleted_log() { show_text_file("Deleted Log", "deleted.log"); }
void read_help() { show_help("Basics"); }

void delete_file() {
  DeleteContext ctx = g_main.delete_context();
  delete_entry(ctx);
}
void delete_tagged() {
  DeleteContext ctx = g_main.delete_context();
  delete_all_tagged(ctx);
}
void delete_non_tagged() {
  DeleteContext ctx = g_main.delete_context();
  delete_all_non_tagged(ctx);
}

// In the order of the menus, then the tool bar.
const MenuCommand COMMANDS[] = {
    // _File
    {"menuitem55", "F5", scan},  // Start Scanning
    {"menuitem57", "F7", [] { open_folder(rows(), launcher()); }},
    {"menuitem58", "F8", [] { show_file_info(g_main.delete_context(), launcher()); }},  // Info...
    {"menuitem59", "F9", [] { run_user_function(rows(), launcher()); }},
    {"menuitem60", "F10", [] { view_entry(rows(), launcher()); }},
    {"menuitem61", "F11", [] { open_script_window(rows(), prompter(), g_state); }},
    {"print_listbox", "F12", [] { print_list(rows(), prompter(), launcher()); }},
    {"menuitem64", "<Shift><Control>F12", [] { save_contents(rows(), prompter()); }},
    {"menuitem65", "<Shift><Alt>F11", [] { restore_contents(rows(), prompter()); }},
    {"menuitem67", "<Alt>x", exit_program},  // Exit
    // _Settings
    {"menuitem69", "F2", settings<-1>},                // Settings Notebook
    {"menuitem70", "<Shift><Control>m", settings<0>},  // File Masks
    {"menuitem71", "<Shift><Control>a", settings<1>},  // File Attributes
    {"menuitem72", "<Shift><Control>r", settings<2>},  // Date Ranges
    {"menuitem73", "<Shift><Control>z", settings<3>},  // File Sizes
    {"menuitem74", "<Shift><Control>x", settings<4>},  // Exclude Files
    {"menuitem75", "<Shift><Control>i", settings<5>},  // Include Directories
    {"exclude_directories1", "<Shift><Control>e", settings<6>},
    {"menuitem76", "<Shift><Control>l", settings<7>},   // Compare Logic
    {"menuitem77", "<Shift><Control>g", settings<8>},   // Group Sizes
    {"menuitem78", "<Shift><Control>s", settings<9>},   // Stop (the page)
    {"menuitem79", "<Shift><Control>o", settings<10>},  // Operation
    // _Edit
    {"menuitem81", "<Control>Insert", [] { copy_path(rows(), prompter()); }},
    {"menuitem83", nullptr, [] { remove_line_or_group(rows(), prompter()); }},
    {"menuitem85", "<Control>r", [] { remove_all_tagged(rows(), prompter()); }},
    {"menuitem86", "<Shift><Control>n", [] { remove_all_non_tagged(rows(), prompter()); }},
    {"menuitem88", nullptr, [] { remove_all_deleted(rows(), prompter()); }},
    // _Delete
    {"menuitem90", "Delete", delete_file},
    {"menuitem91", "<Control>Delete", delete_tagged},
    {"menuitem92", nullptr, delete_non_tagged},
    {"menuitem94", "<Shift>Delete", view_deleted_log},
    // _Tag
    {"menuitem96", nullptr, [] { goto_first_entry(rows(), prompter()); }},
    {"menuitem97", "<Control>t", [] { open_find_window(rows(), prompter(), g_state, false); }},
    {"menuitem98", "<Control>l", [] { open_find_window(rows(), prompter(), g_state, true); }},
    {"menuitem99", "<Control>d", [] { tag_all_deleted(rows(), prompter()); }},
    {"menuitem100", "<Control>u", [] { untag_all(rows(), prompter()); }},
    {"menuitem102", "<Control>z", [] { toggle_tag(rows(), prompter()); }},
    // _Help
    {"menuitem104", "F1", read_help},
    // Tool bar
    {"button20", nullptr, settings<-1>},
    {"button21", nullptr, scan},
    {"button22", nullptr, stop_scan},
    {"button23", nullptr, [] { open_find_window(rows(), prompter(), g_state, true); }},
    {"button24", nullptr, [] { open_folder(rows(), launcher()); }},
    {"button25", nullptr, [] { view_entry(rows(), launcher()); }},
    {"button26", nullptr, [] { show_file_info(g_main.delete_context(), launcher()); }},
    {"button27", nullptr, [] { open_script_window(rows(), prompter(), g_state); }},
    {"button28", nullptr, delete_file},
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

std::span<const MenuCommand> menu_commands() { return COMMANDS; }

const MenuCommand* find_menu_command(const char* widget) {
  for (const MenuCommand& command : COMMANDS) {
    if (std::strcmp(command.widget, widget) == 0) return &command;
  }
  return nullptr;
}

void run_click_action(int action) {
  if (action <= ACTION_NONE || action > ACTION_OPEN_FOLDER) return;
  const MenuCommand* command = find_menu_command(CLICK_ACTION_ENTRIES[action]);
  if (command != nullptr && command->run != nullptr) command->run();
}
