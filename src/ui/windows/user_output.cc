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
#include "ui/dialogs/modal_window.h"
#include "ui/list/file_commands.h"
#include "ui/windows/resources.h"
#include "ui/windows/user_output.h"

namespace {

constexpr const char* UI_RESOURCE = "/org/peltomarvish/user_output.ui";
constexpr std::size_t OUTPUT_LIMIT = 8192;

// The window of one run of the helper, open as long as the user wants.
// Closing it stops the run, after which its callback never comes.
class UserOutputWindow : public ModalWindow {
 public:
  UserOutputWindow() : ModalWindow(gtk_builder_new_from_resource(UI_RESOURCE), "TheWinPMuser") {
    g_signal_connect_swapped(object("ButtonDismiss"), "clicked",
                             G_CALLBACK(+[](UserOutputWindow* w) { w->close(); }), this);
    show();
  }

  void start(Launcher& launcher, const std::string& command) {
    // The callback comes from the main loop, never before this returns, and
    // never once the window is gone (it stops the run).
    run_ = launcher.start_reading({"/bin/sh", "-c", command}, {OUTPUT_LIMIT},
                                  [this](const RunResult& result) {
                                    show_output(result.started ? result.out : result.error);
                                  });
  }

 private:
  // A helper still running ends now, with its children.
  void on_close() override {
    if (run_) run_->stop();
  }

  void show_output(const std::string& output) {
    GCharPtr shown(g_utf8_make_valid(output.data(), static_cast<gssize>(output.size())));
    GtkTextView* view = GTK_TEXT_VIEW(object("TheText"));
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(view), shown.get(), -1);
  }

  RunHandle run_;
};

}  // namespace

void run_user_function(ResultList& list, Launcher& launcher) {
  const int r = list.selected_row();
  if (!row_has_file(list, r)) return;
  const std::string path = list.path(r);
  const std::string command =
      helper_file_command("pmuser", path, text_kind(path), list.row_size(r));
  register_resources();
  auto* window = new UserOutputWindow;  // lives as long as its window
  window->start(launcher, command);
}
