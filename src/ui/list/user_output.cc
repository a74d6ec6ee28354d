// "User Function": runs pmuser on the selected file and shows what it
// prints (its first 8192 bytes) in the window "pmuser".
//
// The helper runs while the main loop goes on: the window opens at once and
// is filled when the helper ends. It runs in a process group of its own, so
// closing the window ends it, with everything it started, should it never
// end by itself. After 8192 bytes the pipe is closed: a helper that goes on
// writing ends on its broken pipe.
#include <gio/gio.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/glib_ptr.h"
#include "ui/dialogs/dialogs.h"
#include "ui/list/file_commands.h"
#include "ui/resources.h"

namespace {

constexpr const char* UI_RESOURCE = "/org/peltomarvish/user_output.ui";
constexpr std::size_t OUTPUT_LIMIT = 8192;

// One run of the helper. It lives until its window is gone and the helper
// has been waited for.
struct UserRun {
  GtkBuilder* builder = nullptr;
  GtkWidget* window = nullptr;  // null once destroyed
  GSubprocess* process = nullptr;
  GCancellable* cancellable = g_cancellable_new();
  std::string output;
  char buffer[4096];
  bool waiting = false;  // the process has not been waited for yet
  pid_t group = 0;

  ~UserRun() {
    g_object_unref(cancellable);
    if (process) g_object_unref(process);
    if (builder) g_object_unref(builder);
  }
};

void release_if_done(UserRun* run) {
  if (run->window == nullptr && !run->waiting) delete run;
}

void show_output(UserRun* run) {
  if (run->window == nullptr) return;
  GCharPtr shown(g_utf8_make_valid(run->output.data(), static_cast<gssize>(run->output.size())));
  GtkTextView* view = GTK_TEXT_VIEW(gtk_builder_get_object(run->builder, "TheText"));
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(view), shown.get(), -1);
}

void process_ended(GObject*, GAsyncResult* result, gpointer data) {
  auto* run = static_cast<UserRun*>(data);
  g_subprocess_wait_finish(run->process, result, nullptr);
  run->waiting = false;
  show_output(run);
  release_if_done(run);
}

void read_more(UserRun* run);

void output_read(GObject* stream, GAsyncResult* result, gpointer data) {
  auto* run = static_cast<UserRun*>(data);
  gssize n = g_input_stream_read_finish(G_INPUT_STREAM(stream), result, nullptr);
  if (n > 0) {
    run->output.append(run->buffer, static_cast<std::size_t>(n));
    if (run->output.size() < OUTPUT_LIMIT && run->window != nullptr) {
      read_more(run);
      return;
    }
  }
  // The end of its output, the limit, or the window closed: stop reading
  // (a helper still writing gets a broken pipe) and wait for it to end.
  g_input_stream_close(G_INPUT_STREAM(stream), nullptr, nullptr);
  g_subprocess_wait_async(run->process, nullptr, process_ended, run);
}

void read_more(UserRun* run) {
  std::size_t room = std::min(sizeof run->buffer, OUTPUT_LIMIT - run->output.size());
  g_input_stream_read_async(g_subprocess_get_stdout_pipe(run->process), run->buffer, room,
                            G_PRIORITY_DEFAULT, run->cancellable, output_read, run);
}

void window_destroyed(GtkWidget* window, gpointer data) {
  auto* run = static_cast<UserRun*>(data);
  gtk_grab_remove(window);
  release_main_window();
  run->window = nullptr;
  if (run->waiting) {
    // Closed before the helper ended: it ends now, with its children.
    kill(-run->group, SIGKILL);
    g_cancellable_cancel(run->cancellable);
  }
  release_if_done(run);
}

void make_own_group(gpointer) { setpgid(0, 0); }

}  // namespace

void run_user_function(ResultList& list) {
  const int r = list.selected_row();
  if (!row_has_file(list, r)) return;
  const std::string path = list.path(r);
  const std::string command =
      helper_file_command("pmuser", path, text_kind(path), list.row_size(r));

  auto* run = new UserRun;
  GObjectPtr<GSubprocessLauncher> launcher(
      g_subprocess_launcher_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE));
  g_subprocess_launcher_set_child_setup(launcher.get(), make_own_group, nullptr, nullptr);
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  run->process = g_subprocess_launcher_spawnv(launcher.get(), argv, nullptr);
  if (run->process == nullptr) {  // not started: nothing to show
    delete run;
    return;
  }
  run->group = static_cast<pid_t>(std::atol(g_subprocess_get_identifier(run->process)));
  run->waiting = true;

  register_resources();
  run->builder = gtk_builder_new_from_resource(UI_RESOURCE);
  run->window = GTK_WIDGET(gtk_builder_get_object(run->builder, "TheWinPMuser"));
  gtk_widget_set_name(run->window, "TheWinPMuser");
  keep_above_main_window(run->window);
  g_signal_connect_swapped(gtk_builder_get_object(run->builder, "ButtonDismiss"), "clicked",
                           G_CALLBACK(gtk_widget_destroy), run->window);
  g_signal_connect(run->window, "destroy", G_CALLBACK(window_destroyed), run);
  hold_main_window();
  gtk_widget_show(run->window);
  gtk_grab_add(run->window);
  read_more(run);
}
