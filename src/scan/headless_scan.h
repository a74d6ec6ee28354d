// One scan run inside this process, with the interface's side of the scan
// block taken on a thread of its own: the headless command and the tests
// see exactly the records the program's window would get.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/scan_channel.h"
#include "scan/scan_context.h"

using ListRow = std::array<std::string, COLUMN_COUNT>;

struct HeadlessResult {
  std::vector<ListRow> rows;           // the list as the scan leaves it
  std::vector<std::string> messages;   // every second-label text taken, in order
};

// Runs a scan over `block` (its counters are left as the scan set them).
// With `terminal_progress`, a progress line is kept on standard error and
// "Access Denied" messages are printed there.
HeadlessResult run_headless_scan(ScanBlock& block, ScanOptions options, bool terminal_progress);

// Makes a path a literal mask: wildcard characters stand for themselves.
std::string escape_mask(const std::string& text);

// The include-directory masks that take `dir` and everything below it.
void include_directory(ScanOptions& options, const std::string& dir);
