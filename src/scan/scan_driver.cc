#include "scan/scan_driver.h"

#include "core/scan_channel.h"

void run_scan(ScanBlock& block) {
  // The engine is not wired in yet: a scan ends at once with an empty list.
  post_clear(block);
  report_progress(block, 1, 1);
  block.scan_finished.store(1, std::memory_order_release);
}
