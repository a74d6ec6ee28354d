#include "ui/windows/find_tag.h"

#include <string>

#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/modal_window.h"
#include "ui/list/list_commands.h"
#include "ui/windows/resources.h"

namespace {

constexpr const char* UI_RESOURCE = "/org/peltomarvish/find_tag.ui";

// The history slots 1 to 18 of "Has String " are compared with a new text,
// 1 to 19 of "Does NOT Have String".
constexpr int HAS_LAST_COMPARED = 18;
constexpr int NOT_LAST_COMPARED = 19;

class FindWindow : public ModalWindow {
 public:
  FindWindow(ResultList& list, Prompter& prompter, StateRecord& state)
      : ModalWindow(gtk_builder_new_from_resource(UI_RESOURCE), "TheWinSearch", &g_open),
        list_(list),
        prompter_(prompter),
        state_(state) {
    fill("TheFindKey", state_.find_has_history);
    fill("TheFindKeyNot", state_.find_not_history);
    auto clicked = [this](const char* name, void (*handler)(GtkButton*, gpointer)) {
      g_signal_connect(object(name), "clicked", G_CALLBACK(handler), this);
    };
    clicked("ButFindNext", [](GtkButton*, gpointer self) { of(self)->find_next_clicked(); });
    clicked("ButTag", [](GtkButton*, gpointer self) { of(self)->tag_clicked(); });
    clicked("ButCancel", [](GtkButton*, gpointer self) { of(self)->close(); });
    show();
    gtk_widget_grab_default(GTK_WIDGET(object("ButFindNext")));
    gtk_widget_grab_focus(gtk_bin_get_child(GTK_BIN(object("TheFindKey"))));
  }

  static ModalWindow* g_open;

 private:
  static FindWindow* of(gpointer self) { return static_cast<FindWindow*>(self); }

  std::string entry_text(const char* combo) const {
    GtkWidget* entry = gtk_bin_get_child(GTK_BIN(object(combo)));
    return gtk_entry_get_text(GTK_ENTRY(entry));
  }
  void fill(const char* combo, const PatternHistory& history) const {
    GtkComboBoxText* box = GTK_COMBO_BOX_TEXT(object(combo));
    gtk_combo_box_text_remove_all(box);
    for (int i = 1; i < PATTERN_HISTORY_SLOTS; ++i) {
      if (history[i][0] != '\0') gtk_combo_box_text_append_text(box, history[i]);
    }
    gtk_entry_set_text(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(box))), history[0]);
  }
  // Both texts become the newest of their histories; the boxes offer them.
  void remember() {
    remember_pattern(state_.find_has_history, entry_text("TheFindKey"), HAS_LAST_COMPARED);
    remember_pattern(state_.find_not_history, entry_text("TheFindKeyNot"), NOT_LAST_COMPARED);
    fill("TheFindKey", state_.find_has_history);
    fill("TheFindKeyNot", state_.find_not_history);
  }

  void find_next_clicked() {
    Action action(*this);
    remember();
    run_holding_busy_word(list_, prompter_, list_commands::FIND_TAG_FILES, [this] {
      find_next(list_, prompter_, state_.find_has_history[0], state_.find_not_history[0]);
    });
    // The window stays open; the main window shows the found row undimmed.
    let_main_window_go();
  }

  void tag_clicked() {
    remember();
    ResultList& list = list_;
    Prompter& prompter = prompter_;
    std::string has = state_.find_has_history[0];
    std::string not_has = state_.find_not_history[0];
    close();  // frees this object
    run_holding_busy_word(list, prompter, list_commands::FIND_TAG_FILES,
                          [&] { tag_matching(list, prompter, has, not_has); });
  }

  ResultList& list_;
  Prompter& prompter_;
  StateRecord& state_;
};

ModalWindow* FindWindow::g_open = nullptr;

}  // namespace

void open_find_window(ResultList& list, Prompter& prompter, StateRecord& state, bool busy_test) {
  if (list.size() <= 2) {
    prompter.error_signal();
    return;
  }
  if (busy_test && refuse_while_busy(list, prompter, list_commands::FIND_TAG_FILES)) return;
  ModalWindow::open_or_present(FindWindow::g_open, [&] {
    register_resources();
    new FindWindow(list, prompter, state);
  });
}

GtkWidget* find_window() { return ModalWindow::window_of(FindWindow::g_open); }
