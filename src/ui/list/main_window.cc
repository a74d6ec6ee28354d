#include "ui/list/main_window.h"

#include <cstring>
#include <utility>

#include "core/process.h"
#include "core/result_intake.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/help_viewer.h"

MainWindow g_main;
MenuCommand g_click_actions[ACTION_OPEN_FOLDER + 1] = {};
int g_click_kind = 0;

namespace {

constexpr const char* UI_RESOURCE = "/org/peltomarvish/main_window.ui";
constexpr guint CLICK_DISPATCH_DELAY_MS = 500;

void view_deleted_log() { show_text_file("Deleted Log", "deleted.log"); }
void read_help() { show_help("Basics"); }

// Menu entries and tool-bar buttons with the command each runs. The
// commands of the settings window, the list commands, the script writer,
// print and copy and the per-file commands join this table as they come.
struct CommandEntry {
  const char* widget;
  MenuCommand command;
};
const CommandEntry COMMANDS[] = {
    {"menuitem55", start_scan},      // Start Scanning
    {"menuitem67", exit_program},  // Exit
    {"menuitem94", view_deleted_log},
    {"menuitem104", read_help},
    {"menuitem96", goto_first_entry},  // Goto Entry #1
    {"button21", start_scan},        // Scan
    {"button22", stop_scan},         // Stop
};

// Menu accelerators, in gtk_accelerator_parse's notation. They live in
// the main window's accelerator group, so they work wherever the focus is.
const std::pair<const char*, const char*> ACCELERATORS[] = {
    {"menuitem55", "F5"},
    {"menuitem57", "F7"},
    {"menuitem58", "F8"},
    {"menuitem59", "F9"},
    {"menuitem60", "F10"},
    {"menuitem61", "F11"},
    {"print_listbox", "F12"},
    {"menuitem64", "<Shift><Control>F12"},
    {"menuitem65", "<Shift><Alt>F11"},
    {"menuitem67", "<Alt>x"},
    {"menuitem69", "F2"},
    {"menuitem70", "<Shift><Control>m"},
    {"menuitem71", "<Shift><Control>a"},
    {"menuitem72", "<Shift><Control>r"},
    {"menuitem73", "<Shift><Control>z"},
    {"menuitem74", "<Shift><Control>x"},
    {"menuitem75", "<Shift><Control>i"},
    {"exclude_directories1", "<Shift><Control>e"},
    {"menuitem76", "<Shift><Control>l"},
    {"menuitem77", "<Shift><Control>g"},
    {"menuitem78", "<Shift><Control>s"},
    {"menuitem79", "<Shift><Control>o"},
    {"menuitem81", "<Control>Insert"},
    {"menuitem85", "<Control>r"},
    {"menuitem86", "<Shift><Control>n"},
    {"menuitem90", "Delete"},
    {"menuitem91", "<Control>Delete"},
    {"menuitem94", "<Shift>Delete"},
    {"menuitem97", "<Control>t"},
    {"menuitem98", "<Control>l"},
    {"menuitem99", "<Control>d"},
    {"menuitem100", "<Control>u"},
    {"menuitem102", "<Control>z"},
    {"menuitem104", "F1"},
};

// Every entry that runs a command; those not in COMMANDS are insensitive.
constexpr const char* COMMAND_WIDGETS[] = {
    "menuitem55", "menuitem57", "menuitem58", "menuitem59", "menuitem60", "menuitem61",
    "print_listbox", "menuitem64", "menuitem65", "menuitem67", "menuitem69", "menuitem70",
    "menuitem71", "menuitem72", "menuitem73", "menuitem74", "menuitem75",
    "exclude_directories1", "menuitem76", "menuitem77", "menuitem78", "menuitem79",
    "menuitem81", "menuitem83", "menuitem85", "menuitem86", "menuitem88", "menuitem90",
    "menuitem91", "menuitem92", "menuitem94", "menuitem96", "menuitem97", "menuitem98",
    "menuitem99", "menuitem100", "menuitem102", "menuitem104", "button20", "button21",
    "button22", "button23", "button24", "button25", "button26", "button27", "button28"};

void run_command(GtkWidget*, gpointer command) { reinterpret_cast<MenuCommand>(command)(); }

gboolean window_delete_event(GtkWidget*, GdkEvent*, gpointer) {
  exit_program();  // never returns
}

void list_selection_changed(GtkTreeSelection* selection, gpointer) {
  GtkTreeModel* model;
  GtkTreeIter iter;
  if (gtk_tree_selection_get_selected(selection, &model, &iter)) {
    GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
    g_selected_row = gtk_tree_path_get_indices(path)[0];
    gtk_tree_path_free(path);
  } else {
    g_selected_row = -1;
  }
}

gboolean list_button_press(GtkWidget*, GdkEventButton* event, gpointer) {
  if (event->type == GDK_2BUTTON_PRESS) {
    g_click_kind = 2;
    return TRUE;
  }
  if (event->type == GDK_3BUTTON_PRESS) {
    g_click_kind = 3;
    return TRUE;
  }
  return FALSE;
}

// Every release starts a dispatch half a second later: a third press within
// that time turns a double click into a triple one.
gboolean list_button_release(GtkWidget*, GdkEventButton*, gpointer) {
  g_timeout_add(CLICK_DISPATCH_DELAY_MS, click_dispatch, nullptr);
  return FALSE;
}

gboolean list_key_press(GtkWidget*, GdkEventKey* event, gpointer) {
  // Delete reaches "Delete File" as the menu accelerator, before the list
  // sees the key; handling it here too would delete twice.
  if (event->keyval == GDK_KEY_Home || event->keyval == GDK_KEY_KP_Home) {
    goto_first_entry();
    return TRUE;
  }
  return FALSE;
}

void column_clicked(GtkTreeViewColumn*, gpointer) { error_signal(); }

}  // namespace

// The resources compiled into the program (window layouts, icons).
extern "C" void peltomarvish_register_resource();

void register_resources() {
  static bool registered = false;
  if (!registered) peltomarvish_register_resource();
  registered = true;
}

GObject* main_widget(const char* name) {
  return g_main.builder ? gtk_builder_get_object(g_main.builder, name) : nullptr;
}

MainWindow& build_main_window() {
  register_resources();
  g_type_ensure(GDK_TYPE_RGBA);  // the list store's colour columns name this type
  g_main.builder = gtk_builder_new_from_resource(UI_RESOURCE);
  g_main.window = GTK_WINDOW(main_widget("TheFinder"));
  g_main.list = GTK_TREE_VIEW(main_widget("TheClistBox"));
  g_main.store = GTK_LIST_STORE(main_widget("TheListStore"));
  g_main.msg1 = GTK_LABEL(main_widget("TheMsg1"));
  g_main.msg2 = GTK_LABEL(main_widget("TheMsg2"));
  g_main.progress = GTK_PROGRESS_BAR(main_widget("ThepBar"));
  gtk_widget_set_name(GTK_WIDGET(g_main.window), "TheFinder");
  g_main_window = GTK_WIDGET(g_main.window);

  GtkAccelGroup* accelerators = gtk_accel_group_new();
  for (const auto& [name, accelerator] : ACCELERATORS) {
    guint key;
    GdkModifierType mods;
    gtk_accelerator_parse(accelerator, &key, &mods);
    gtk_widget_add_accelerator(GTK_WIDGET(main_widget(name)), "activate", accelerators, key, mods,
                               GTK_ACCEL_VISIBLE);
  }
  gtk_window_add_accel_group(g_main.window, accelerators);
  g_object_unref(accelerators);

  for (const char* name : COMMAND_WIDGETS) {
    GtkWidget* widget = GTK_WIDGET(main_widget(name));
    gtk_widget_set_sensitive(widget, FALSE);
  }
  for (const CommandEntry& entry : COMMANDS) {
    GtkWidget* widget = GTK_WIDGET(main_widget(entry.widget));
    gtk_widget_set_sensitive(widget, TRUE);
    const char* signal = GTK_IS_TOOL_BUTTON(widget) ? "clicked" : "activate";
    g_signal_connect(widget, signal, G_CALLBACK(run_command),
                     reinterpret_cast<gpointer>(entry.command));
  }

  g_signal_connect(g_main.window, "delete-event", G_CALLBACK(window_delete_event), nullptr);
  GtkTreeSelection* selection = gtk_tree_view_get_selection(g_main.list);
  gtk_tree_selection_set_mode(selection, GTK_SELECTION_SINGLE);
  g_signal_connect(selection, "changed", G_CALLBACK(list_selection_changed), nullptr);
  g_signal_connect(g_main.list, "button-press-event", G_CALLBACK(list_button_press), nullptr);
  g_signal_connect_after(g_main.list, "button-release-event", G_CALLBACK(list_button_release),
                         nullptr);
  g_signal_connect(g_main.list, "key-press-event", G_CALLBACK(list_key_press), nullptr);
  for (int i = 0; i < 7; ++i) {
    gtk_tree_view_column_set_sort_column_id(gtk_tree_view_get_column(g_main.list, i), -1);
    g_signal_connect(gtk_tree_view_get_column(g_main.list, i), "clicked",
                     G_CALLBACK(column_clicked), nullptr);
  }
  return g_main;
}

int click_dispatch(void*) {
  int action = ACTION_NONE;
  if (g_click_kind == 2) action = g_block ? g_block->settings.double_click_action : ACTION_NONE;
  if (g_click_kind == 3) action = g_block ? g_block->settings.triple_click_action : ACTION_NONE;
  if (action > ACTION_NONE && action <= ACTION_OPEN_FOLDER && g_click_actions[action] != nullptr) {
    g_click_actions[action]();
  }
  g_click_kind = 0;
  return G_SOURCE_REMOVE;
}

void error_signal() {
  if (g_block == nullptr || g_block->settings.error_beep == 0) return;
  for (int i = 0; i < 3; ++i) gdk_display_beep(gdk_display_get_default());
}

void freeze_list() {
  if (g_main.frozen) return;
  // The view no longer follows the store: appending many rows costs no
  // redraw and no view bookkeeping per row.
  g_object_ref(g_main.store);
  gtk_tree_view_set_model(g_main.list, nullptr);
  g_main.frozen = true;
}

void thaw_list() {
  if (!g_main.frozen) return;
  gtk_tree_view_set_model(g_main.list, GTK_TREE_MODEL(g_main.store));
  g_object_unref(g_main.store);
  g_main.frozen = false;
}

void append_list_row(const char* const t[7]) {
  const GdkRGBA* foreground = t[0][0] == '/' ? &COMMENT_COLOUR : nullptr;
  gtk_list_store_insert_with_values(g_main.store, nullptr, -1, 0, t[0], 1, t[1], 2, t[2], 3, t[3],
                                    4, t[4], 5, t[5], 6, t[6], COL_FOREGROUND, foreground, -1);
}

void clear_list() {
  gtk_list_store_clear(g_main.store);
  g_selected_row = -1;
}

void goto_first_entry() {
  if (g_block == nullptr || g_block->row_count.load() <= 2 || g_main.frozen) {
    error_signal();
    return;
  }
  GtkTreePath* path = gtk_tree_path_new_from_indices(1, -1);
  gtk_tree_selection_select_path(gtk_tree_view_get_selection(g_main.list), path);
  gtk_tree_view_scroll_to_cell(g_main.list, path, nullptr, FALSE, 0, 0);
  gtk_tree_path_free(path);
  g_selected_row = 1;
}
