// The scan driver: one complete scan, run by the scanner for each CMD_START.
#pragma once

#include "core/scan_block.h"

void run_scan(ScanBlock& block);
