// Pelto Marvish: finds duplicate files. The program runs as two processes:
// this one (the interface) and a scanner forked before anything else, which
// does all file-system work and hands results back through the shared block.
#include <glib.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "core/data_dir.h"
#include "core/process.h"
#include "core/scan_channel.h"
#include "scan/scan_driver.h"
#include "settings/settings_file.h"
#include "settings/state_file.h"

namespace {

// Takes the scanner's records while no list window exists yet.
class DiscardingSink : public ListRecordSink {
 public:
  void clear_list() override {}
  void freeze_list() override {}
  void thaw_list() override {}
  void append_row(const RowTexts&) override {}
};

gboolean result_intake_tick(gpointer) {
  if (g_block == nullptr) return G_SOURCE_REMOVE;
  DiscardingSink sink;
  take_list_records(*g_block, sink, 20000);
  std::string text;
  take_dir_text(*g_block, text);
  take_message(*g_block, text);
  float fraction;
  take_progress(*g_block, fraction);
  take_scan_finished(*g_block);
  return G_SOURCE_CONTINUE;
}

gboolean second_tick_cb(gpointer data) { return second_tick(data) ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE; }

}  // namespace

int main(int, char**) {
  std::string error;
  ScanBlock* block = create_scan_block(error);
  if (block == nullptr) {
    std::fprintf(stderr, "peltomarvish: %s\n", error.c_str());
    return 1;
  }
  if (start_scanner(*block, run_scan, error) < 0) {
    std::fprintf(stderr, "peltomarvish: %s\n", error.c_str());
    return 1;
  }
  g_block = block;

  enter_data_directory();
  write_missing_helper_scripts();
  g_settings_defaulted = load_settings(block->settings) != 0;
  load_state(g_state);
  g_selected_row = -1;
  std::setlocale(LC_ALL, "");

  install_interface_signal_handlers();
  g_timeout_add(5, result_intake_tick, nullptr);
  g_timeout_add(1000, second_tick_cb, nullptr);
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(loop);
  raise(SIGINT);
  return 0;
}
