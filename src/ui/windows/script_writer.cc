#include "ui/windows/script_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "core/glib_ptr.h"
#include "core/unique_fd.h"
#include "list_text/list_rows.h"
#include "settings/state_file.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/help_viewer.h"
#include "ui/dialogs/modal_window.h"
#include "ui/list/list_commands.h"
#include "ui/windows/resources.h"

namespace {

constexpr const char* UI_RESOURCE = "/org/peltomarvish/script_writer.ui";
constexpr std::size_t NAME_LIMIT = SCRIPT_NAME_SIZE - 1;          // 256
constexpr std::size_t TEMPLATE_LIMIT = SCRIPT_TEMPLATE_SIZE - 1;  // 4096

// The radio buttons of the comment styles, in the order of the state's words.
constexpr const char* STYLE_RADIOS[] = {"RadioCommentPound", "RadioCommentC", "RadioCommentBlank",
                                        "RadioCommentNone"};
constexpr CommentStyle STYLES[] = {CommentStyle::POUND, CommentStyle::C, CommentStyle::BLANK,
                                   CommentStyle::NONE};
constexpr std::int32_t StateRecord::*STYLE_WORDS[] = {
    &StateRecord::comment_pound, &StateRecord::comment_c, &StateRecord::comment_blank,
    &StateRecord::comment_none};

// At most `limit` bytes of `text`, never half a UTF-8 character.
std::string cut(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

class ScriptWindow : public ModalWindow {
 public:
  ScriptWindow(ResultList& list, Prompter& prompter, StateRecord& state)
      : ModalWindow(gtk_builder_new_from_resource(UI_RESOURCE), "TheWinScript", &g_open),
        list(list),
        prompter(prompter),
        state(state) {
    fill();
    auto clicked = [this](const char* name, void (*handler)(GtkButton*, gpointer)) {
      g_signal_connect(obj(name), "clicked", G_CALLBACK(handler), this);
    };
    clicked("ButtonOKWrite", [](GtkButton*, gpointer d) { of(d)->write(); });
    clicked("ButtonCancel", [](GtkButton*, gpointer d) { of(d)->close(); });
    clicked("ButtonDefault", [](GtkButton*, gpointer d) {
      default_script(of(d)->state);
      of(d)->fill_texts();
    });
    clicked("ButtonHelp", [](GtkButton*, gpointer) { show_help("Scripts"); });
    clicked("ButtonFiles", [](GtkButton*, gpointer d) { of(d)->browse(); });
    show();
    gtk_widget_grab_default(GTK_WIDGET(obj("ButtonOKWrite")));
    // Typing starts in the file name; Enter there writes the script.
    gtk_widget_grab_focus(GTK_WIDGET(obj("EntryFileName")));
  }

  static ModalWindow* g_open;
  static ScriptWindow* of(gpointer self) { return static_cast<ScriptWindow*>(self); }

  ResultList& list;
  Prompter& prompter;
  StateRecord& state;

  GObject* obj(const char* name) const { return object(name); }
  GtkTextBuffer* script_buffer() const {
    return gtk_text_view_get_buffer(GTK_TEXT_VIEW(obj("Script")));
  }

  std::string file_name() const { return gtk_entry_get_text(GTK_ENTRY(obj("EntryFileName"))); }
  std::string template_text() const {
    GtkTextIter a, b;
    gtk_text_buffer_get_bounds(script_buffer(), &a, &b);
    GCharPtr text(gtk_text_buffer_get_text(script_buffer(), &a, &b, FALSE));
    return text.get();
  }
  ScriptChoices choices() const {
    ScriptChoices c;
    c.file_template = template_text();
    c.only_tagged = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(obj("CheckOnlyTagged")));
    for (int i = 0; i < 4; ++i) {
      if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(obj(STYLE_RADIOS[i]))))
        c.style = STYLES[i];
    }
    return c;
  }

  // The name and template shown from the record; text that is not UTF-8
  // shows with replacement characters.
  void fill_texts() {
    GCharPtr name(g_utf8_make_valid(state.script_name, -1));
    gtk_entry_set_text(GTK_ENTRY(obj("EntryFileName")), name.get());
    GCharPtr text(g_utf8_make_valid(state.script_template, -1));
    gtk_text_buffer_set_text(script_buffer(), text.get(), -1);
  }
  void fill() {
    fill_texts();
    for (int i = 0; i < 4; ++i) {
      if (state.*STYLE_WORDS[i] != 0) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(obj(STYLE_RADIOS[i])), TRUE);
      }
    }
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(obj("CheckOnlyTagged")), state.only_tagged != 0);
  }
  // The window's choices into the state record (saved at shutdown).
  void store() {
    std::string name = cut(file_name(), NAME_LIMIT);
    std::memcpy(state.script_name, name.c_str(), name.size() + 1);
    std::string text = cut(template_text(), TEMPLATE_LIMIT);
    std::memcpy(state.script_template, text.c_str(), text.size() + 1);
    for (int i = 0; i < 4; ++i) {
      state.*STYLE_WORDS[i] =
          gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(obj(STYLE_RADIOS[i]))) ? 1 : 0;
    }
    state.only_tagged =
        gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(obj("CheckOnlyTagged"))) ? 1 : 0;
  }

  void write();
  void browse();

 private:
  void write_list();  // with the busy word held
};

ModalWindow* ScriptWindow::g_open = nullptr;

void ScriptWindow::write() {
  // Its questions run nested main loops, in which the window may be closed.
  Action action(*this);
  // A scan or another command owns the list: the script would not be the
  // list the user sees.
  run_holding_busy_word(list, prompter, list_commands::WRITE_SCRIPT, [this] { write_list(); });
}

void ScriptWindow::write_list() {
  const ScriptChoices chosen = choices();  // the whole template, for this run
  store();
  const std::string name = file_name();

  // The whole script before the file is touched: a refused one leaves an
  // existing file as it was.
  const ScriptText script = script_text(list, chosen, script_date(std::time(nullptr)));
  if (script.refusal) {
    prompter.error_signal();
    prompter.message("Script Not Written", "A File Name Cannot Be Quoted Safely Here",
                     script.refusal->line.c_str());
    return;  // the window stays open to mend the template
  }

  int mode = O_TRUNC;
  struct stat st;
  if (lstat(name.c_str(), &st) == 0) {
    int answer = prompter.ask_file_exists(name.c_str());
    if (answer == 'A') {
      mode = O_APPEND;
    } else if (answer != 'O') {
      return;  // left as it is; the window stays open
    }
  }
  UniqueFd fd(open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | mode, 0666));
  if (!fd) {
    prompter.error_signal();
    prompter.message("Error", "Can Not Open File", name.c_str());
    return;
  }
  list.show_progress(0.0);
  const std::string& text = script.text;
  if (!write_all(fd.get(), text.data(), text.size()) || !fd.close()) {
    prompter.error_signal();
    prompter.message("Error", "Can Not Write File", name.c_str());
    return;
  }
  list.show_progress(1.0);
  prompter.message("Notification", "File Written", name.c_str());
  close();
}

void ScriptWindow::browse() {
  const std::string current = cut(file_name(), NAME_LIMIT);
  auto prepare = [current](GtkFileChooser* chooser) {
    if (current.empty()) return;
    GCharPtr here(g_get_current_dir());
    GCharPtr full(g_path_is_absolute(current.c_str())
                      ? g_strdup(current.c_str())
                      : g_build_filename(here.get(), current.c_str(), nullptr));
    GCharPtr folder(g_path_get_dirname(full.get()));
    GCharPtr base(g_path_get_basename(full.get()));
    gtk_file_chooser_set_current_folder(chooser, folder.get());
    gtk_file_chooser_set_current_name(chooser, base.get());
  };
  choose_file({"Save Script As", "TheWinFiles", GTK_FILE_CHOOSER_ACTION_SAVE, "_Save", prepare,
               [this](const std::string& chosen) {
                 GCharPtr shown(g_filename_display_name(chosen.c_str()));
                 gtk_entry_set_text(GTK_ENTRY(obj("EntryFileName")), shown.get());
               }});
}

}  // namespace

void open_script_window(ResultList& list, Prompter& prompter, StateRecord& state) {
  ModalWindow::open_or_present(ScriptWindow::g_open, [&] {
    register_resources();
    new ScriptWindow(list, prompter, state);
  });
}

GtkWidget* script_window() { return ModalWindow::window_of(ScriptWindow::g_open); }
