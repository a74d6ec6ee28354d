// The windows' test program: GoogleTest with GTK started first. Run it in an
// X server (xvfb-run -a build/tests/ui_tests).
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>

#include "ui/support/gui_test.h"

int main(int argc, char** argv) {
  gui::install_log_catcher();
  testing::InitGoogleTest(&argc, argv);
  // Listing the tests (CTest does so at build time) needs no display.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

  // No session bus and no accessibility bus under Xvfb: GTK would launch
  // daemons that outlive the tests.
  g_setenv("NO_AT_BRIDGE", "1", FALSE);
  g_setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", FALSE);
  g_setenv("GSETTINGS_BACKEND", "memory",
           FALSE);                  // the file chooser's settings (dconf needs the bus)
  gdk_set_allowed_backends("x11");  // the program is an X11 program
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "no X display\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
