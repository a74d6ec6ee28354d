// How soon the window shows a large result: a scan whose list takes 50,000
// rows, run once headless and once through the real window (forked scanner,
// shared block, 5 ms intake). Prints how much later the window has every
// row than the headless scan finished, and the longest pause of the main
// loop during the scan (the window's responsiveness).
//
//   list_bench [WORK_DIR]      (default /tmp/pm-listbench; needs an X display)
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "core/process.h"
#include "core/result_intake.h"
#include "core/scan_channel.h"
#include "scan/headless_scan.h"
#include "scan/scan_driver.h"
#include "settings/settings_file.h"
#include "support/recording_launcher.h"
#include "ui/windows/main_window.h"

// The window under test (the program keeps its own in main).
MainWindow g_main;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int GROUPS = 17000;  // 1 + 3 x 17,000 rows: past the 50,000-row limit

double seconds_since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

void make_tree(const std::string& tree) {
  if (access((tree + "/b/f16999").c_str(), F_OK) == 0) return;
  mkdir(tree.c_str(), 0755);
  for (const char* d : {"/a", "/b"}) {
    std::string dir = tree + d;
    mkdir(dir.c_str(), 0755);
    for (int i = 0; i < GROUPS; ++i) std::ofstream(dir + "/f" + std::to_string(i)) << "x";
  }
}

// Compare size and name only, nothing read: the rows are what is measured.
void configure(SettingsRecord& s, const std::string& tree) {
  default_settings(s);
  s.same_crc = 0;
  s.display_crc = 0;
  s.stop_after = 0;
  std::snprintf(s.include_dirs[0], MASK_SLOT_SIZE, "%s/*", tree.c_str());
  s.include_dirs[1][0] = '\0';
}

Clock::time_point g_last_tick;
double g_longest_pause = 0;
bool g_finished = false;

gboolean watch_tick(gpointer) {
  double pause = seconds_since(g_last_tick);
  if (pause > g_longest_pause) g_longest_pause = pause;
  g_last_tick = Clock::now();
  if (g_block->list_busy.load() == 0 && g_block->status.load() == SCANNER_IDLE &&
      g_block->scan_finished.load() == 0 && !g_main.rows().frozen() && g_main.rows().size() > 0) {
    g_finished = true;
    gtk_main_quit();
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  std::string work = argc > 1 ? argv[1] : "/tmp/pm-listbench";
  mkdir(work.c_str(), 0755);
  std::string tree = work + "/tree";
  make_tree(tree);

  std::string error;
  ScanBlock* block = create_scan_block(error);
  if (block == nullptr || start_scanner(*block, run_scan, error) < 0) {
    std::fprintf(stderr, "list_bench: %s\n", error.c_str());
    return 1;
  }
  g_block = block;
  configure(block->settings, tree);

  // The same scan, headless.
  auto headless_block = std::make_unique<ScanBlock>();
  configure(headless_block->settings, tree);
  auto start = Clock::now();
  HeadlessResult headless =
      run_headless_scan(*headless_block, scan_options_from(headless_block->settings), false);
  double headless_seconds = seconds_since(start);

  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "list_bench: no X display\n");
    return 1;
  }
  g_main.build(*block);
  test::RecordingLauncher no_helpers;  // no pmstop here
  g_main.use_launcher(&no_helpers);
  gtk_widget_show(GTK_WIDGET(g_main.window));
  while (gtk_events_pending()) gtk_main_iteration();

  g_timeout_add(5, result_intake_tick, static_cast<IntakeView*>(&g_main));
  g_timeout_add(10, watch_tick, nullptr);
  start = Clock::now();
  g_last_tick = start;
  start_scan(*block, g_main);
  gtk_main();
  double window_seconds = seconds_since(start);
  int rows = g_main.rows().size();

  std::printf("rows in the list                 %d (headless %zu)\n", rows, headless.rows.size());
  std::printf("headless scan                    %.3f s\n", headless_seconds);
  std::printf("scan shown in the window         %.3f s\n", window_seconds);
  std::printf("window behind the headless scan  %.3f s   (target <= 2 s)\n",
              window_seconds - headless_seconds);
  std::printf("longest main-loop pause          %.3f s\n", g_longest_pause);

  set_word(block->command_word, CMD_QUIT);
  wait(nullptr);
  return g_finished ? 0 : 1;
}
