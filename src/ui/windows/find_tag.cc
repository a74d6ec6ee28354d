#include "ui/windows/find_tag.h"

#include <string>

#include "ui/dialogs/dialogs.h"
#include "ui/list/list_commands.h"
#include "ui/windows/resources.h"

namespace {

constexpr const char* UI_RESOURCE = "/org/peltomarvish/find_tag.ui";

// The history slots 1 to 18 of "Has String " are compared with a new text,
// 1 to 19 of "Does NOT Have String".
constexpr int HAS_LAST_COMPARED = 18;
constexpr int NOT_LAST_COMPARED = 19;

struct FindWindow {
  ResultList& list;
  Prompter& prompter;
  StateRecord& state;
  GtkBuilder* builder;
  GtkWidget* window;
  bool holding = true;  // the main window is held insensitive

  GObject* obj(const char* name) const { return gtk_builder_get_object(builder, name); }
  std::string entry_text(const char* combo) const {
    GtkWidget* entry = gtk_bin_get_child(GTK_BIN(obj(combo)));
    return gtk_entry_get_text(GTK_ENTRY(entry));
  }
  void fill(const char* combo, const PatternHistory& history) const {
    GtkComboBoxText* box = GTK_COMBO_BOX_TEXT(obj(combo));
    gtk_combo_box_text_remove_all(box);
    for (int i = 1; i < PATTERN_HISTORY_SLOTS; ++i) {
      if (history[i][0] != '\0') gtk_combo_box_text_append_text(box, history[i]);
    }
    gtk_entry_set_text(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(box))), history[0]);
  }
  // Both texts become the newest of their histories; the boxes offer them.
  void remember() {
    remember_pattern(state.find_has_history, entry_text("TheFindKey"), HAS_LAST_COMPARED);
    remember_pattern(state.find_not_history, entry_text("TheFindKeyNot"), NOT_LAST_COMPARED);
    fill("TheFindKey", state.find_has_history);
    fill("TheFindKeyNot", state.find_not_history);
  }
};

FindWindow* g_find = nullptr;

void find_next_clicked(GtkButton*, gpointer data) {
  auto* f = static_cast<FindWindow*>(data);
  f->remember();
  run_holding_busy_word(f->list, f->prompter, list_commands::FIND_TAG_FILES, [f] {
    find_next(f->list, f->prompter, f->state.find_has_history[0], f->state.find_not_history[0]);
  });
  // The window stays open; the main window shows the found row undimmed.
  if (f->holding) {
    f->holding = false;
    release_main_window();
  }
}

void tag_clicked(GtkButton*, gpointer data) {
  auto* f = static_cast<FindWindow*>(data);
  f->remember();
  ResultList& list = f->list;
  Prompter& prompter = f->prompter;
  std::string has = f->state.find_has_history[0];
  std::string not_has = f->state.find_not_history[0];
  gtk_widget_destroy(f->window);  // ends f
  run_holding_busy_word(list, prompter, list_commands::FIND_TAG_FILES,
                        [&] { tag_matching(list, prompter, has, not_has); });
}

void window_destroyed(GtkWidget* window, gpointer data) {
  auto* f = static_cast<FindWindow*>(data);
  gtk_grab_remove(window);
  if (f->holding) release_main_window();
  g_object_unref(f->builder);
  delete f;
  g_find = nullptr;
}

}  // namespace

void open_find_window(ResultList& list, Prompter& prompter, StateRecord& state, bool busy_test) {
  if (list.size() <= 2) {
    prompter.error_signal();
    return;
  }
  if (busy_test && list.block().list_busy.load() != 0) {
    prompter.notify_busy(list_commands::FIND_TAG_FILES);
    return;
  }
  if (g_find != nullptr) {
    gtk_window_present(GTK_WINDOW(g_find->window));
    return;
  }
  register_resources();
  GtkBuilder* builder = gtk_builder_new_from_resource(UI_RESOURCE);
  auto* f = new FindWindow{list, prompter, state, builder,
                           GTK_WIDGET(gtk_builder_get_object(builder, "TheWinSearch"))};
  g_find = f;
  gtk_widget_set_name(f->window, "TheWinSearch");
  keep_above_main_window(f->window);
  f->fill("TheFindKey", state.find_has_history);
  f->fill("TheFindKeyNot", state.find_not_history);
  g_signal_connect(f->obj("ButFindNext"), "clicked", G_CALLBACK(find_next_clicked), f);
  g_signal_connect(f->obj("ButTag"), "clicked", G_CALLBACK(tag_clicked), f);
  g_signal_connect_swapped(f->obj("ButCancel"), "clicked", G_CALLBACK(gtk_widget_destroy),
                           f->window);
  g_signal_connect(f->window, "destroy", G_CALLBACK(window_destroyed), f);

  hold_main_window();
  gtk_widget_show(f->window);
  gtk_grab_add(f->window);
  gtk_widget_grab_default(GTK_WIDGET(f->obj("ButFindNext")));
  gtk_widget_grab_focus(gtk_bin_get_child(GTK_BIN(f->obj("TheFindKey"))));
}

GtkWidget* find_window() { return g_find != nullptr ? g_find->window : nullptr; }
