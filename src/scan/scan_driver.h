// The scan driver: one complete scan, run by the scanner for each CMD_START.
//
// The sequence: reset the counters, walk the file system into the key tree,
// then either emit the key tree's groups or run the CRC pass into the CRC
// tree and emit that; frame the list with comment rows (start, "Sorted
// List", end rows, scan time) and post the two summary lines. A stopped
// scan runs through every remaining step with what it has collected.
#pragma once

#include <ctime>
#include <string>

#include "core/scan_block.h"
#include "scan/scan_context.h"

// Runs a scan with the settings of the block's settings record.
void run_scan(ScanBlock& block);

// Runs a scan with the given options (the headless command's directories).
void run_scan_with(ScanBlock& block, ScanOptions options);

// ctime's text of `t` without its line end ("Sun Dec  6 04:08:40 2026").
std::string time_text(std::time_t t);

// "hh:mm:ss" of a duration in seconds.
std::string scan_time_text(double seconds);
