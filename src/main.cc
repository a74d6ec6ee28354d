// Pelto Marvish: finds duplicate files. The program runs as two processes:
// this one (the interface, with the window) and a scanner forked before
// anything else, which does all file-system work and hands its results back
// through the shared scan block.
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/data_dir.h"
#include "core/process.h"
#include "core/result_intake.h"
#include "core/version.h"
#include "scan/scan_driver.h"
#include "settings/settings_file.h"
#include "settings/state_file.h"
#include "ui/windows/main_window.h"

namespace {

constexpr guint INTAKE_INTERVAL_MS = 5;
constexpr guint SECOND_MS = 1000;

gboolean second_tick_cb(gpointer data) {
  return second_tick(data) ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything starts: the two options of the program's own (GTK's
  // options, such as --display, are taken by GTK).
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("peltomarvish (Pelto Marvish) %s\n", program_version());
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0) {
      std::printf(
          "Usage: peltomarvish [--display DISPLAY] [GTK OPTION...]\n"
          "Opens the Pelto Marvish window: finds duplicate files and tidies them up.\n"
          "Its files are kept in ~/.PeltoMarvish. See also peltomarvish-scan(1).\n"
          "\n"
          "  --version  show the version\n"
          "  --help     show this text (--help-all lists GTK's options)\n");
      return 0;
    }
  }
  read_scanner_quit_waits();
  std::string error;
  ScanBlock* block = create_scan_block(error);
  if (block == nullptr) {
    std::fprintf(stderr, "peltomarvish: %s\n", error.c_str());
    return 1;
  }
  pid_t scanner = start_scanner(*block, run_scan, error);
  if (scanner < 0) {
    std::fprintf(stderr, "peltomarvish: %s\n", error.c_str());
    return 1;
  }
  g_block = block;

  // Without ~/.PeltoMarvish the program goes on in the directory it was
  // started in, which then holds its files: the scan and the list need
  // none of them, and the user is told where they went. A helper that
  // could not be written is told too; the others work all the same.
  const DataDirectory data = enter_data_directory();
  if (!data.failure.empty()) {
    std::fprintf(stderr, "peltomarvish: %s; the program's files are kept in %s\n",
                 data.failure.c_str(), data.path.c_str());
  }
  for (const std::string& failed : write_missing_helper_scripts()) {
    std::fprintf(stderr, "peltomarvish: cannot write the helper script %s\n", failed.c_str());
  }
  g_settings_defaulted = load_settings(block->settings) != 0;
  load_state(g_state);
  // From here on the state is loaded: every ending saves it.
  install_interface_signal_handlers();

  std::setlocale(LC_ALL, "");
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "peltomarvish: cannot open the display\n");
    kill(scanner, SIGKILL);
    waitpid(scanner, nullptr, 0);
    return 1;
  }
  register_resources();
  // The application icon travels in the program, so an uninstalled build has it too.
  if (GdkPixbuf* icon =
          gdk_pixbuf_new_from_resource("/org/peltomarvish/icons/peltomarvish.svg", nullptr)) {
    gtk_window_set_default_icon(icon);
    g_object_unref(icon);
  }
  static MainWindow window;  // lives until the shutdown sequence ends the program
  window.build(*block);
  gtk_widget_show(GTK_WIDGET(window.window));

  g_timeout_add(INTAKE_INTERVAL_MS, result_intake_tick, static_cast<IntakeView*>(&window));
  g_timeout_add(SECOND_MS, second_tick_cb, nullptr);
  gtk_main();
  raise(SIGINT);  // the shutdown sequence ends the program
  return 0;
}
