// What the result intake needs from the window it fills: the list (the
// records of the scan channel), the two status lines, the progress bar, the
// few things said to the user, and the launcher that runs pmstop. The main
// window implements it; a test drives the intake with a fake one.
#pragma once

#include <string>

#include "core/launcher.h"
#include "core/scan_channel.h"
#include "settings/settings_page.h"

class IntakeView : public ListRecordSink {
 public:
  // The first and second status line, as the scanner sent them (bytes, not
  // necessarily UTF-8; the view shows a display form).
  virtual void show_status(const std::string& text) = 0;
  virtual void show_message_line(const std::string& text) = 0;
  virtual void show_progress(double fraction) = 0;

  // The end of a scan: one beep (when chosen), and the "Scan Completed" notice.
  virtual void beep() = 0;
  virtual void show_scan_completed() = 0;

  // The "List Box Busy" notice naming the refused operation.
  virtual void notify_busy(const char* operation) = 0;

  // Opens the settings window on that page (the first start opens the
  // first page, PAGE_FILE_MASKS).
  virtual void open_settings(int page) = 0;

  // What starts the helper scripts (pmstop at the end of a scan).
  virtual Launcher& launcher() = 0;
};
