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
struct InfoBox {
  InfoBox(DeleteContext context, Launcher& starter) : ctx(context), launcher(starter) {}

  DeleteContext ctx;
  Launcher& launcher;
  GtkBuilder* builder = nullptr;
  GtkTreeRowReference* row = nullptr;
  std::string path;
  std::string text_before_type, text_after_type;
  RunHandle file_run;
  int acting = 0;       // inside a button's handler (questions run nested loops)
  bool closed = false;  // the window went while a handler ran
  gulong store_signals[2] = {0, 0};

  GObject* object(const char* name) const { return gtk_builder_get_object(builder, name); }

  void stop_following_the_list() {
    for (gulong& id : store_signals) {
      if (id != 0) g_signal_handler_disconnect(ctx.list.store(), id);
      id = 0;
    }
  }

  ~InfoBox() {
    stop_following_the_list();
    gtk_tree_row_reference_free(row);
    g_object_unref(builder);
  }
};

void show_type(InfoBox& box, const std::string& type) {
  // The type is bytes from another program: shown as valid text.
  GCharPtr shown(g_utf8_make_valid(type.data(), static_cast<gssize>(type.size())));
  const std::string text = box.text_before_type + ": " + shown.get() + "\n" + box.text_after_type;
  gtk_label_set_text(GTK_LABEL(box.object("TheInfoText")), text.c_str());
}

// The row the box describes, or -1 when it is gone from the list or no
// longer names the file.
int described_row(const InfoBox& box) {
  if (!gtk_tree_row_reference_valid(box.row)) return -1;
  GtkTreePath* path = gtk_tree_row_reference_get_path(box.row);
  const int r = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  return box.ctx.list.path(r) == box.path ? r : -1;
}

// The row of the described file while the file is still listed and not
// deleted, else -1.
int live_row(const InfoBox& box) {
  const int r = described_row(box);
  if (r < 0 || box.ctx.list.text(r, COL_MARK).rfind('D', 0) == 0) return -1;
  return r;
}

// Delete and View are there for a file that can still be acted on.
void update_buttons(InfoBox& box) {
  if (box.closed) return;  // its widgets are gone
  const bool live = live_row(box) >= 0;
  gtk_widget_set_sensitive(GTK_WIDGET(box.object("ButDelete")), live);
  gtk_widget_set_sensitive(GTK_WIDGET(box.object("ButView")), live);
}

void store_changed(InfoBox* box) { update_buttons(*box); }

// Delete File, for the one file the box describes: refused while the list
// is busy, then the single-file delete on that row.
void delete_described(InfoBox& box) {
  const int r = live_row(box);
  if (r < 0) return;
  box.ctx.list.select(r);
  run_list_command(list_commands::DELETE_SELECTED, box.ctx);
}

void view_described(InfoBox& box) {
  const int r = live_row(box);
  if (r < 0) return;
  box.ctx.list.select(r);
  view_entry(box.ctx.list, box.launcher);
}

// Runs a button's action on the box. Its questions run nested main loops,
// in which the box may be closed: it is freed only once the action is over.
void act(InfoBox* box, void (*action)(InfoBox&)) {
  ++box->acting;
  action(*box);
  --box->acting;
  if (box->closed) {
    if (box->acting == 0) delete box;
    return;
  }
  update_buttons(*box);
}

void box_destroyed(GtkWidget* window, gpointer data) {
  auto* box = static_cast<InfoBox*>(data);
  gtk_grab_remove(window);
  release_main_window();
  if (box->file_run) box->file_run->stop();  // its answer is no longer wanted
  box->stop_following_the_list();
  box->closed = true;
  if (box->acting == 0) delete box;
}

}  // namespace

void show_file_info(DeleteContext ctx, Launcher& launcher, int type_time_limit_ms) {
  ResultList& list = ctx.list;
  const int r = list.selected_row();
  if (!row_has_file(list, r)) return;
  const std::string path = list.path(r);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;

  register_resources();
  auto* box = new InfoBox(ctx, launcher);
  box->builder = gtk_builder_new_from_resource(UI_RESOURCE);
  box->path = path;
  GtkTreePath* tree_path = gtk_tree_path_new_from_indices(r, -1);
  box->row = gtk_tree_row_reference_new(GTK_TREE_MODEL(list.store()), tree_path);
  gtk_tree_path_free(tree_path);
  // Names show in their one-line form; the type keeps a line of its own.
  box->text_before_type = "\nfile \"" + display_text(path) + "\"\n\nMagic file type ";
  box->text_after_type = "\n\nOwner: " + display_text(owner_name(st.st_uid)) +
                         " Group: " + display_text(group_name(st.st_gid)) + "\n\n";

  GtkWidget* window = GTK_WIDGET(box->object("TheWinInfo"));
  gtk_widget_set_name(window, "TheWinInfo");
  show_type(*box, "...");  // until `file` answers
  keep_above_main_window(window);

  g_signal_connect_swapped(box->object("ButOK"), "clicked", G_CALLBACK(gtk_widget_destroy), window);
  g_signal_connect(box->object("ButDelete"), "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
                     act(static_cast<InfoBox*>(data), delete_described);  // the box stays open
                   }),
                   box);
  g_signal_connect(box->object("ButView"), "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
                     act(static_cast<InfoBox*>(data), view_described);
                   }),
                   box);
  g_signal_connect(window, "destroy", G_CALLBACK(box_destroyed), box);
  // Whatever else changes the list meanwhile, the buttons follow the row.
  box->store_signals[0] =
      g_signal_connect_swapped(list.store(), "row-deleted", G_CALLBACK(store_changed), box);
  box->store_signals[1] =
      g_signal_connect_swapped(list.store(), "row-changed", G_CALLBACK(store_changed), box);
  update_buttons(*box);

  hold_main_window();
  gtk_widget_show(window);
  gtk_grab_add(window);
  GtkWidget* ok = GTK_WIDGET(box->object("ButOK"));
  gtk_widget_grab_default(ok);
  gtk_widget_grab_focus(ok);

  // `file` runs from an argument vector, with "--" before the path, and in
  // brief form: its report never depends on how it would print an odd name.
  // Its answer comes from the main loop, never after the box has gone.
  box->file_run = launcher.run_with_time_limit(
      {"file", "-b", "--", path}, {FILE_OUTPUT_LIMIT, ErrorOutput::DISCARDED}, type_time_limit_ms,
      [box](const RunResult& file) { show_type(*box, type_from(file)); });
}
