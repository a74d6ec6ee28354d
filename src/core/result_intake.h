// The interface's end of the scan channel: a 5 ms tick moves what the
// scanner posted into the window (through its IntakeView); Start Scan sends
// the request.
#pragma once

#include "core/intake_view.h"
#include "core/scan_block.h"

// The 5 ms timeout (`view` is the IntakeView to fill): rows and list
// requests into the list, the two status texts into their lines, the
// progress value into the bar, and the end-of-scan actions (beep, pmstop,
// the "Scan Completed" notice); after a first start (the factory settings
// were written) it opens the settings window on page 0, once. Works on the
// program's block, g_block.
int result_intake_tick(void* view);

// Clears the list and the scan counters and asks the scanner for a scan;
// refused with the "List Box Busy" notice while the list is busy.
void start_scan(ScanBlock& block, IntakeView& view);

// Starts "/bin/sh -c <command>" in the data directory, with the user's
// environment, without waiting for it (the finished process is reaped).
// Helper scripts are named in the command by helper_command (shell_words.h).
// 1 when there is no command, -1 when it could not be started, 0 when it was.
int run_shell_command(const char* command);

// The commands that run programs call this hook first when it is set, so
// tests can see what would be run; returning true means "handled".
extern bool (*g_shell_command_hook)(const char* command);
