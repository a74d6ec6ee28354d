// The interface's end of the scan channel: a 5 ms tick moves what the
// scanner posted into the window (through its IntakeView); Start Scan sends
// the request.
#pragma once

#include "core/intake_view.h"
#include "core/scan_block.h"

// The 5 ms timeout (`view` is the IntakeView to fill): rows and list
// requests into the list, the two status texts into their lines, the
// progress value into the bar, and the end-of-scan actions (beep, pmstop
// through the view's launcher, the "Scan Completed" notice); after a first
// start (the factory settings were written) it opens the settings window on
// page 0, once. Works on the program's block, g_block.
int result_intake_tick(void* view);

// Clears the list and the scan counters and asks the scanner for a scan;
// refused with the "List Box Busy" notice while the list is busy.
void start_scan(ScanBlock& block, IntakeView& view);
