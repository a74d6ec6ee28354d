// The half of the walk that everything else sees (walk.cc says how the two
// halves work together): it goes through what the lister found, in walk
// order, and does the counts, the "Access Denied" messages, the status
// texts, the filters and the filing of each file in the key tree.
#pragma once

#include <memory>

#include "scan/scan_context.h"
#include "scan/walk_batch.h"

class WalkTaker {
 public:
  virtual ~WalkTaker() = default;
  // Goes through `batch`; false once the walk is over or stopped.
  virtual bool take(const walk_batch::Batch& batch) = 0;
};

std::unique_ptr<WalkTaker> make_walk_taker(ScanContext& ctx);
