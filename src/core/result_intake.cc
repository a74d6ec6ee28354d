#include "core/result_intake.h"

#include <glib.h>
#include <gtk/gtk.h>

#include <string>

#include "core/process.h"
#include "core/scan_channel.h"
#include "ui/dialogs/dialogs.h"
#include "ui/list/main_window.h"

bool (*g_shell_command_hook)(const char* command) = nullptr;

namespace {

// While rows pour in, one tick takes them for at most this long, so the
// window keeps redrawing and answering (Stop among others).
constexpr long RECORD_BUDGET_US = 40000;

class WindowSink : public ListRecordSink {
 public:
  void clear_list() override { ::clear_list(); }
  void freeze_list() override { ::freeze_list(); }
  void thaw_list() override { ::thaw_list(); }
  void append_row(const RowTexts& row) override { append_list_row(row.col); }
};

void reap_child(GPid pid, gint, gpointer) { g_spawn_close_pid(pid); }

}  // namespace

int result_intake_tick(void*) {
  ScanBlock* block = g_block;
  if (block == nullptr) return G_SOURCE_REMOVE;

  WindowSink sink;
  take_list_records(*block, sink, RECORD_BUDGET_US);
  std::string text;
  if (take_dir_text(*block, text)) gtk_label_set_text(g_main.msg1, text.c_str());
  if (take_message(*block, text)) gtk_label_set_text(g_main.msg2, text.c_str());
  float fraction;
  if (take_progress(*block, fraction)) {
    gtk_progress_bar_set_fraction(g_main.progress, CLAMP(fraction, 0.0f, 1.0f));
  }
  if (take_scan_finished(*block)) {
    if (block->settings.beep_on_stop != 0) gdk_display_beep(gdk_display_get_default());
    run_shell_command("pmstop");
    show_message("Scan Completed",
                 "You May Now Want To Save The List Box Contents\n"
                 "[Menu: FILE->ListBox->SaveContents]\n"
                 "Or Use The Find / Tag Function.\n",
                 "");
  }
  return G_SOURCE_CONTINUE;
}

void notify_busy(const char* operation) {
  show_message("List Box Busy", operation, "Try after operation is complete");
}

void start_scan() {
  ScanBlock* block = g_block;
  if (block == nullptr) return;
  if (block->list_busy.load() != 0) {
    notify_busy("Start Scan");
    return;
  }
  if (block->status.load() != SCANNER_IDLE) return;  // still finishing, or ended
  block->list_busy.store(1);
  thaw_list();
  clear_list();
  block->row_count.store(0);
  gtk_label_set_text(g_main.msg1, "");
  gtk_label_set_text(g_main.msg2, "");
  block->walk_depth.store(0);
  for (Atomic32* counter :
       {&block->files_count, &block->dirs_count, &block->tagged_count, &block->larger_groups,
        &block->smaller_groups, &block->exfiles_count, &block->exdirs_count,
        &block->spare_count_1, &block->spare_count_2, &block->dup_count}) {
    counter->store(0);
  }
  block->tagged_bytes.store(0);
  // Last: the scanner must not see the request before the reset is complete.
  set_word(block->command_word, CMD_START);
}

int run_shell_command(const char* command) {
  if (command == nullptr) return 1;
  if (g_shell_command_hook != nullptr && g_shell_command_hook(command)) return 0;
  const char* argv[] = {"/bin/sh", "-c", command, nullptr};
  // The helper scripts live in the data directory, the working directory:
  // it leads the search path, so a bare "pmstop" finds the user's script.
  gchar** env = g_get_environ();
  gchar* here = g_get_current_dir();
  const gchar* path = g_environ_getenv(env, "PATH");
  gchar* search = g_strconcat(here, ":", path ? path : "/usr/local/bin:/usr/bin:/bin", nullptr);
  env = g_environ_setenv(env, "PATH", search, TRUE);
  GPid pid;
  gboolean started = g_spawn_async(nullptr, const_cast<char**>(argv), env,
                                   G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid, nullptr);
  g_free(search);
  g_free(here);
  g_strfreev(env);
  if (!started) return -1;
  g_child_watch_add(pid, reap_child, nullptr);
  return 0;
}
