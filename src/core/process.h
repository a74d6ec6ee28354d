// The two processes: the interface creates the shared scan block and forks
// the scanner; both end together through the shutdown sequence.
//
// Nothing outlives the program: the segment is private and marked for
// removal before the fork (the scanner inherits the attachment), so the
// kernel frees it however the processes end; the scanner dies with the
// interface (parent-death signal); the interface notices a vanished scanner
// and ends in order; a scanner that will not end is killed and reaped.
#pragma once

#include <sys/types.h>

#include <string>

#include "core/scan_block.h"

// The scan driver the scanner runs for each CMD_START.
using ScanDriver = void (*)(ScanBlock& block);

// ---- Interface-process state -----------------------------------------------

extern ScanBlock* g_block;         // null until attached
extern bool g_settings_defaulted;  // the settings file was missing or foreign
// A Stop withdrew a Scan while the scanner was taking it: the intake's tick
// settles it (settle_withdrawn_scan).
extern bool g_scan_withdrawal_unsettled;

// How many one-second waits the shutdown sequence gives the scanner to end
// before it kills it: 10. The environment variable PELTOMARVISH_SCANNER_WAIT
// (1 to 10) shortens it, for the tests of that path.
inline constexpr int SCANNER_QUIT_WAITS = 10;
extern int g_scanner_quit_waits;
// Takes PELTOMARVISH_SCANNER_WAIT from the environment, when it is a number
// from 1 to 10.
void read_scanner_quit_waits();

// Creates, attaches and fills a private scan block and marks it for removal
// at once. Returns null and sets `error` when the system refuses.
ScanBlock* create_scan_block(std::string& error);

// Forks the scanner, which runs `driver` for every scan request. In the
// interface it records the scanner's id, writes the ready magic last and
// returns the id; -1 with `error` set when the fork failed. The scanner
// never returns from here.
pid_t start_scanner(ScanBlock& block, ScanDriver driver, std::string& error);

// The scanner's command loop: waits for the ready magic, then runs a scan
// for each CMD_START until CMD_QUIT; returns with status SCANNER_ENDED.
void scanner_main_loop(ScanBlock& block, ScanDriver driver);

// Installs the shutdown sequence for the fatal and ending signals of the
// interface process.
void install_interface_signal_handlers();

// The one end of the interface process: saves the state, tells the scanner
// to quit and waits at most ten seconds (g_scanner_quit_waits) for it (then
// kills it), reaps it,
// detaches the block and exits with status 0. Safe to run as a signal handler;
// runs at most once.
[[noreturn]] void shutdown_sequence(int signal_number);

// The Exit command and window close: stop the scan, signal the scanner, end.
[[noreturn]] void exit_program();

// The Stop command: the walk and the CRC pass end, the scan finishes with
// what it has. A Scan the scanner has not taken yet is withdrawn, and the
// list is given back at once (stop_scan_command).
void stop_scan();

// Every second: lets the walk show its current directory, and ends the
// program in order when the scanner has vanished. A GLib timeout callback.
int second_tick(void* unused);
