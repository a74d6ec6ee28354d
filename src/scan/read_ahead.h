// Reading beginnings while the walk goes on.
//
// The CRC pass first reads the beginning of every file whose key another
// file shares (emit.cc). Which files those are is known long before the
// walk ends: the moment a key gets its second member (its group_min-th),
// both are sure to be read. The read-ahead reads those beginnings on its
// own threads while the walk is still listing directories, so the listing
// and the reading overlap, and reads are in flight on every processor.
// The CRC pass then takes what it found (the files' contents records)
// instead of reading again.
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
  // the scan is ending) and ends the readers. A file read has BEGINNING or
  // UNREADABLE in its contents record (and WHOLE when it ended within the
  // beginning); one skipped has neither.
  void finish();

  // The walk's thread only adds jobs; what a reader finds goes into the
  // file's contents record (made before the file is handed over) and its
  // member's crc, which nothing else touches until finish().
  void hand_over(std::uint32_t file);
  void publish_pending();
  void read_jobs(FileReader& reader);

  ScanContext& ctx_;
  std::int32_t first_count_;  // a group is read from this many members on

  std::mutex mutex_;
  std::condition_variable work_;
  std::deque<std::uint32_t> jobs_;  // the files to read, by number
  std::size_t next_ = 0;            // the first job no reader has taken
  bool closing_ = false;            // no more jobs will come

  std::vector<std::uint32_t> pending_;  // the walk's jobs not yet handed over
  std::vector<std::thread> threads_;
};
