// The box "Info": what the system's `file` says of the selected file, and
// its owner and group.
#include <grp.h>
#include <gtk/gtk.h>
#include <pwd.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/glib_ptr.h"
#include "ui/dialogs/dialogs.h"
#include "ui/list/file_commands.h"
#include "ui/list/list_rows.h"
#include "ui/resources.h"

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

// An open box.
struct InfoBox {
  InfoBox(DeleteContext context, Launcher& starter) : ctx(context), launcher(starter) {}

  DeleteContext ctx;
  Launcher& launcher;
  GtkBuilder* builder = nullptr;
  std::string text_before_type, text_after_type;
  RunHandle file_run;

  GObject* object(const char* name) const { return gtk_builder_get_object(builder, name); }

  ~InfoBox() { g_object_unref(builder); }
};

void show_type(InfoBox& box, const std::string& type) {
  // The type is bytes from another program: shown as valid text.
  GCharPtr shown(g_utf8_make_valid(type.data(), static_cast<gssize>(type.size())));
  const std::string text = box.text_before_type + ": " + shown.get() + "\n" + box.text_after_type;
  gtk_label_set_text(GTK_LABEL(box.object("TheInfoText")), text.c_str());
}

void box_destroyed(GtkWidget* window, gpointer data) {
  auto* box = static_cast<InfoBox*>(data);
  gtk_grab_remove(window);
  release_main_window();
  if (box->file_run) box->file_run->stop();  // its answer is no longer wanted
  delete box;
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
                     delete_entry(static_cast<InfoBox*>(data)->ctx);  // the box stays open
                   }),
                   box);
  g_signal_connect(box->object("ButView"), "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
                     auto* box = static_cast<InfoBox*>(data);
                     view_entry(box->ctx.list, box->launcher);
                   }),
                   box);
  g_signal_connect(window, "destroy", G_CALLBACK(box_destroyed), box);

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
