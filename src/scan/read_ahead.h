// Reading beginnings while the walk goes on.
//
// The CRC pass first reads the beginning of every file whose key another
// file shares (emit.cc). Which files those are is known long before the
// walk ends: the moment a key gets its second member (its group_min-th),
// both are sure to be read. The read-ahead reads those beginnings on its
// own threads while the walk is still listing directories, so the listing
// and the reading overlap, and reads are in flight on every processor.
// The CRC pass then takes what it found instead of reading again.
//
// The walk's thread only hands files over (a few at a time, under one lock);
// the tree stays the walk's. A reader works from the handed-over member,
// which neither moves nor changes until the scan ends, and its path, whose
// texts are in the file store before the member is handed over.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "scan/file_digest.h"
#include "scan/group_tree.h"

struct ScanContext;

class ReadAhead {
 public:
  // Starts `threads` readers. They read while `may_go_on(ctx)` says so.
  ReadAhead(ScanContext& ctx, unsigned threads);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The walk has put a file into `group`, which now has `count` members:
  // hands over every member whose beginning is now sure to be read.
  void file_added(const GroupNode& group, std::int32_t count);

  // Waits until every handed-over file has been read (or skipped because
  // the scan is ending) and ends the readers.
  void finish();

  // What the read of a member found, after finish(); false when it was not
  // read ahead.
  bool probe_of(const GroupMember& m, FileProbe& probe) const;

 private:
  // One file to read and, once read, what was found: kept small, since a
  // scan of small files has one for nearly every file. A file read to its
  // end gets its CRC-32 in its member.
  struct Job {
    enum : std::uint8_t { DONE = 1, READABLE = 2, COMPLETE = 4 };
    std::uint64_t hash_high = 0;  // complete: the XXH3-128 of the file
    std::uint64_t hash_low = 0;   // complete: ditto; else the beginning's hash
    std::uint32_t file = 0;       // its number in the scan's file store
    std::uint8_t state = 0;
  };
  void hand_over(std::uint32_t file);
  void publish_pending();
  void read_jobs(FileReader& reader);

  ScanContext& ctx_;
  std::int32_t first_count_;  // a group is read from this many members on

  std::mutex mutex_;
  std::condition_variable work_;
  std::deque<Job> jobs_;  // grows at its end only: a job never moves
  std::size_t next_ = 0;  // the first job no reader has taken
  bool closing_ = false;  // no more jobs will come

  std::vector<Job> pending_;  // the walk's jobs not yet handed over
  std::uint32_t job_count_ = 0;
  std::vector<std::thread> threads_;
};
