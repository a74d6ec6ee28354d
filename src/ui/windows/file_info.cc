// The box "Info": what the system's `file` says of the selected file, and
// its owner and group, with buttons that act on that file.
#include <grp.h>
#include <gtk/gtk.h>
#include <pwd.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/glib_ptr.h"
#include "list_text/list_rows.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/modal_window.h"
#include "ui/list/file_commands.h"
#include "ui/windows/file_info.h"
#include "ui/windows/resources.h"

namespace {

constexpr const char* UI_RESOURCE = "/org/peltomarvish/file_info.ui";
constexpr std::size_t FILE_OUTPUT_LIMIT = 256;

// The name of a user or group id, or the number when the database has none.
std::string owner_name(uid_t uid) {
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
    return found->pw_name;
  }
  return std::to_string(uid);
}

std::string group_name(gid_t gid) {
  std::vector<char> buffer(16384);
  struct group entry;
  struct group* found = nullptr;
  if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
    return found->gr_name;
  }
  return std::to_string(gid);
}

// The type as the box shows it, from what `file -b` printed: its answer
// without the line feed, or "Unknown" when it gave none.
std::string type_from(const RunResult& file) {
  std::string type = file.succeeded() ? file.out : "";
  while (!type.empty() && (type.back() == '\n' || type.back() == '\r')) type.pop_back();
  return type.empty() ? "Unknown" : type;
}

// An open box. It describes the file of one row: the row is followed by a
// reference (it moves when rows above it go, and is gone when the row is),
// and its path is kept to be sure the row still names that file.
class InfoBox : public ModalWindow {
 public:
  InfoBox(ListContext context, Launcher& launcher, int row, const std::string& path,
          const struct stat& st)
      : ModalWindow(gtk_builder_new_from_resource(UI_RESOURCE), "TheWinInfo"),
        ctx_(context),
        launcher_(launcher),
        path_(path) {
    GtkTreePath* tree_path = gtk_tree_path_new_from_indices(row, -1);
    row_ = gtk_tree_row_reference_new(GTK_TREE_MODEL(ctx_.list.store()), tree_path);
    gtk_tree_path_free(tree_path);
    // Names show in their one-line form; the type keeps a line of its own.
    text_before_type_ = "\nfile \"" + display_text(path) + "\"\n\nMagic file type ";
    text_after_type_ = "\n\nOwner: " + display_text(owner_name(st.st_uid)) +
                       " Group: " + display_text(group_name(st.st_gid)) + "\n\n";
    show_type("...");  // until `file` answers

    g_signal_connect_swapped(object("ButOK"), "clicked",
                             G_CALLBACK(+[](InfoBox* box) { box->close(); }), this);
    g_signal_connect_swapped(object("ButDelete"), "clicked", G_CALLBACK(+[](InfoBox* box) {
                               box->act(&InfoBox::delete_described);  // the box stays open
                             }),
                             this);
    g_signal_connect_swapped(object("ButView"), "clicked",
                             G_CALLBACK(+[](InfoBox* box) { box->act(&InfoBox::view_described); }),
                             this);
    // Whatever else changes the list meanwhile, the buttons follow the row.
    for (const char* signal : {"row-deleted", "row-changed"}) {
      store_signals_.push_back(
          g_signal_connect_swapped(ctx_.list.store(), signal,
                                   G_CALLBACK(+[](InfoBox* box) { box->update_buttons(); }), this));
    }
    update_buttons();

    show();
    GtkWidget* ok = GTK_WIDGET(object("ButOK"));
    gtk_widget_grab_default(ok);
    gtk_widget_grab_focus(ok);
  }

  // `file` runs from an argument vector, with "--" before the path, and in
  // brief form: its report never depends on how it would print an odd name.
  // Its answer comes from the main loop, never after the box has gone.
  void ask_file_for_the_type(int time_limit_ms) {
    file_run_ = launcher_.run_with_time_limit(
        {"file", "-b", "--", path_}, {FILE_OUTPUT_LIMIT, ErrorOutput::DISCARDED}, time_limit_ms,
        [this](const RunResult& file) { show_type(type_from(file)); });
  }

 private:
  ~InfoBox() override { gtk_tree_row_reference_free(row_); }

  void on_close() override {
    if (file_run_) file_run_->stop();  // its answer is no longer wanted
    for (gulong id : store_signals_) g_signal_handler_disconnect(ctx_.list.store(), id);
    store_signals_.clear();
  }

  void show_type(const std::string& type) {
    // The type is bytes from another program: shown as valid text.
    GCharPtr shown(g_utf8_make_valid(type.data(), static_cast<gssize>(type.size())));
    const std::string text = text_before_type_ + ": " + shown.get() + "\n" + text_after_type_;
    gtk_label_set_text(GTK_LABEL(object("TheInfoText")), text.c_str());
  }

  // The row the box describes, or -1 when it is gone from the list or no
  // longer names the file.
  int described_row() const {
    if (!gtk_tree_row_reference_valid(row_)) return -1;
    GtkTreePath* path = gtk_tree_row_reference_get_path(row_);
    const int r = gtk_tree_path_get_indices(path)[0];
    gtk_tree_path_free(path);
    return ctx_.list.path(r) == path_ ? r : -1;
  }

  // The row of the described file while the file is still listed and not
  // deleted, else -1.
  int live_row() const {
    const int r = described_row();
    if (r < 0 || ctx_.list.text(r, COL_MARK).rfind('D', 0) == 0) return -1;
    return r;
  }

  // Delete and View are there for a file that can still be acted on.
  void update_buttons() {
    if (closed()) return;  // its widgets are gone
    const bool live = live_row() >= 0;
    gtk_widget_set_sensitive(GTK_WIDGET(object("ButDelete")), live);
    gtk_widget_set_sensitive(GTK_WIDGET(object("ButView")), live);
  }

  // Delete File, for the one file the box describes: refused while the list
  // is busy, then the single-file delete on that row.
  void delete_described() {
    const int r = live_row();
    if (r < 0) return;
    ctx_.list.select(r);
    run_list_command(list_commands::DELETE_SELECTED, ctx_);
  }

  void view_described() {
    const int r = live_row();
    if (r < 0) return;
    ctx_.list.select(r);
    view_entry(ctx_.list, ctx_.prompter, launcher_);
  }

  // Runs a button's action on the box. Its questions run nested main loops,
  // in which the box may be closed: it is freed only once the action is over.
  void act(void (InfoBox::*action)()) {
    Action running(*this);
    (this->*action)();
    update_buttons();
  }

  ListContext ctx_;
  Launcher& launcher_;
  GtkTreeRowReference* row_ = nullptr;
  std::string path_;
  std::string text_before_type_, text_after_type_;
  RunHandle file_run_;
  std::vector<gulong> store_signals_;
};

}  // namespace

void show_file_info(DeleteContext ctx, Launcher& launcher, int type_time_limit_ms) {
  ResultList& list = ctx.list;
  const int r = list.selected_row();
  if (!row_has_file(list, r)) return;
  const std::string path = list.path(r);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;

  register_resources();
  auto* box = new InfoBox(ctx, launcher, r, path, st);  // lives as long as its window
  box->ask_file_for_the_type(type_time_limit_ms);
}
