// "User Function": runs pmuser on the selected file and shows what it
// prints (its first 8192 bytes) in the window "pmuser".
//
// The helper runs while the main loop goes on: the window opens at once and
// is filled when the helper ends. The launcher runs it in a process group of
// its own, so closing the window ends it, with everything it started, should
// it never end by itself. After 8192 bytes the pipe is closed: a helper that
// goes on writing ends on its broken pipe.
#include <gtk/gtk.h>

#include <string>

#include "core/glib_ptr.h"
#include "ui/dialogs/dialogs.h"
#include "ui/list/file_commands.h"
#include "ui/windows/resources.h"
#include "ui/windows/user_output.h"

namespace {

constexpr const char* UI_RESOURCE = "/org/peltomarvish/user_output.ui";
constexpr std::size_t OUTPUT_LIMIT = 8192;

// One run of the helper, for as long as its window is open. Closing the
// window stops the run, after which its callback never comes.
struct UserRun {
  GtkBuilder* builder = nullptr;
  RunHandle run;

  ~UserRun() {
    if (builder) g_object_unref(builder);
  }
};

void show_output(UserRun* run, const std::string& output) {
  GCharPtr shown(g_utf8_make_valid(output.data(), static_cast<gssize>(output.size())));
  GtkTextView* view = GTK_TEXT_VIEW(gtk_builder_get_object(run->builder, "TheText"));
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(view), shown.get(), -1);
}

void window_destroyed(GtkWidget* window, gpointer data) {
  auto* run = static_cast<UserRun*>(data);
  gtk_grab_remove(window);
  release_main_window();
  // A helper still running ends now, with its children.
  if (run->run) run->run->stop();
  delete run;
}

}  // namespace

void run_user_function(ResultList& list, Launcher& launcher) {
  const int r = list.selected_row();
  if (!row_has_file(list, r)) return;
  const std::string path = list.path(r);
  const std::string command =
      helper_file_command("pmuser", path, text_kind(path), list.row_size(r));

  auto* run = new UserRun;
  register_resources();
  run->builder = gtk_builder_new_from_resource(UI_RESOURCE);
  GtkWidget* window = GTK_WIDGET(gtk_builder_get_object(run->builder, "TheWinPMuser"));
  gtk_widget_set_name(window, "TheWinPMuser");
  keep_above_main_window(window);
  g_signal_connect_swapped(gtk_builder_get_object(run->builder, "ButtonDismiss"), "clicked",
                           G_CALLBACK(gtk_widget_destroy), window);
  g_signal_connect(window, "destroy", G_CALLBACK(window_destroyed), run);
  hold_main_window();
  gtk_widget_show(window);
  gtk_grab_add(window);

  // The callback comes from the main loop, never before this returns, and
  // never once the window is gone (it stops the run).
  run->run = launcher.start_reading({"/bin/sh", "-c", command}, {OUTPUT_LIMIT},
                                    [run](const RunResult& result) {
                                      show_output(run, result.started ? result.out : result.error);
                                    });
}
