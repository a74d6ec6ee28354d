// The two summary lines shown under the list after a scan.
#pragma once

#include <string>

#include "core/row_texts.h"
#include "core/scan_block.h"

// "1,234 Dirs, 3 ExDirs, 56,789 Files, 2 ExFiles, 12  Duplicates", cut and
// padded to exactly 76 characters.
std::string summary_counts_line(const ScanBlock& block);

// "0 Files Tagged (0 bytes), 1 File Deleted (2,048 bytes)": the totals of
// tags and deletions (also the list's totals line).
std::string totals_line(const ScanBlock& block);
