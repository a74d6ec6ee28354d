// One scan run inside this process, with the interface's side of the scan
// block taken on a thread of its own: the headless command and the tests
// see exactly the records the program's window would get.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "core/scan_channel.h"
#include "scan/scan_context.h"

using ListRow = std::array<std::string, COLUMN_COUNT>;

struct HeadlessResult {
  std::vector<ListRow> rows;             // the list as the scan leaves it
  std::vector<FileIdentity> identities;  // one per row (type 0 for headers and comments)
  std::vector<std::string> messages;     // every second-label text taken, in order
};

// What a headless scan reports as it goes. `row` gets each row of the list
// the scan leaves, in order, once it is sure to stay (the texts and the
// identity are valid during the call only); `message` gets every text of
// the second status label.
struct HeadlessSink {
  std::function<void(const RowTexts& row)> row;
  std::function<void(const std::string& text)> message;
};

// Runs a scan over `block` (its counters are left as the scan set them),
// handing the rows to `sink` as they come: memory stays bounded however
// many groups the scan lists. With `terminal_progress`, a progress line is
// kept on standard error. "Access Denied to ..." messages always go to
// standard error, every one of them.
void run_headless_scan(ScanBlock& block, ScanOptions options, bool terminal_progress,
                       const HeadlessSink& sink);

// The same, keeping the whole list (for the tests).
HeadlessResult run_headless_scan(ScanBlock& block, ScanOptions options, bool terminal_progress);

// Makes a path a literal mask: wildcard characters stand for themselves.
std::string escape_mask(const std::string& text);

// The include-directory masks that take `dir` and everything below it.
void include_directory(ScanOptions& options, const std::string& dir);
