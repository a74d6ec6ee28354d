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

// What `file` says of the path, as ": TYPE\n" (empty when it cannot run).
// It runs from an argument vector, with "--" before the path, and in brief
// form: its report never depends on how it would print an odd name.
std::string file_type(const std::string& path) {
  const char* argv[] = {"file", "-b", "--", path.c_str(), nullptr};
  gchar* out = nullptr;
  gint status = 0;
  if (!g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr,
                    static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL),
                    nullptr, nullptr, &out, nullptr, &status, nullptr)) {
    return "";
  }
  GCharPtr owned(out);
  std::string type = out != nullptr ? out : "";
  if (type.empty()) return "";
  type = ": " + type;
  if (type.size() > FILE_OUTPUT_LIMIT) type.resize(FILE_OUTPUT_LIMIT);
  return type;
}

struct InfoBox {
  DeleteContext ctx;
  GtkBuilder* builder;
};

}  // namespace

void show_file_info(DeleteContext ctx) {
  ResultList& list = ctx.list;
  const int r = list.selected_row();
  if (!row_has_file(list, r)) return;
  const std::string path = list.path(r);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;

  // The type keeps its own line feed; names show in their one-line form.
  GCharPtr type(g_utf8_make_valid(file_type(path).c_str(), -1));
  const std::string text = "\nfile \"" + display_text(path) + "\"\n\nMagic file type " +
                           type.get() + "\n\nOwner: " +
                           display_text(owner_name(st.st_uid)) +
                           " Group: " + display_text(group_name(st.st_gid)) + "\n\n";

  register_resources();
  auto* box = new InfoBox{ctx, gtk_builder_new_from_resource(UI_RESOURCE)};
  auto obj = [box](const char* name) { return gtk_builder_get_object(box->builder, name); };
  GtkWidget* window = GTK_WIDGET(obj("TheWinInfo"));
  gtk_widget_set_name(window, "TheWinInfo");
  gtk_label_set_text(GTK_LABEL(obj("TheInfoText")), text.c_str());
  keep_above_main_window(window);

  g_signal_connect_swapped(obj("ButOK"), "clicked", G_CALLBACK(gtk_widget_destroy), window);
  g_signal_connect(obj("ButDelete"), "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
                     delete_entry(static_cast<InfoBox*>(data)->ctx);  // the box stays open
                   }),
                   box);
  g_signal_connect(obj("ButView"), "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
                     view_entry(static_cast<InfoBox*>(data)->ctx.list);
                   }),
                   box);
  g_signal_connect(window, "destroy", G_CALLBACK(+[](GtkWidget* w, gpointer data) {
                     auto* box = static_cast<InfoBox*>(data);
                     gtk_grab_remove(w);
                     release_main_window();
                     g_object_unref(box->builder);
                     delete box;
                   }),
                   box);

  hold_main_window();
  gtk_widget_show(window);
  gtk_grab_add(window);
  GtkWidget* ok = GTK_WIDGET(obj("ButOK"));
  gtk_widget_grab_default(ok);
  gtk_widget_grab_focus(ok);
}
