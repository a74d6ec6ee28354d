// The system-call half of the walk (walk.cc says how the two halves work
// together): it opens and reads the directories, lstat's the entries,
// decides which directories to enter and writes down what it found, in walk
// order, into batches. It touches nothing the rest of the scan sees.
#pragma once

#include <memory>

#include "scan/scan_context.h"
#include "scan/walk.h"
#include "scan/walk_batch.h"

class WalkLister {
 public:
  virtual ~WalkLister() = default;
  // The next batch in walk order (on two threads, waits for it); the last
  // one of the walk ends with an END. What stopped the lister (no memory
  // left, say) is thrown here, on the walk's thread.
  virtual walk_batch::Batch& next() = 0;
  // A batch from next() that the taker has gone through.
  virtual void give_back(walk_batch::Batch& batch) = 0;
};

// The lister on the walk's own thread (ONE), or on a thread of its own a
// few batches ahead of the taker (TWO).
std::unique_ptr<WalkLister> make_walk_lister(ScanContext& ctx, WalkThreads threads);
