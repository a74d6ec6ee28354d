#include "scan/read_ahead.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "scan/content_cache.h"
#include "scan/emit.h"
#include "scan/scan_context.h"

namespace {

// Jobs handed over (and taken by a reader) at a time: one lock per batch.
constexpr std::size_t HAND_OVER_BATCH = 32;
constexpr std::size_t TAKE_BATCH = 16;

}  // namespace

ReadAhead::ReadAhead(ScanContext& ctx, unsigned threads)
    : ctx_(ctx), first_count_(std::max<std::int32_t>(2, ctx.options.group_min)) {
  pending_.reserve(HAND_OVER_BATCH);
  for (unsigned i = 0; i < std::max(threads, 1u); ++i) {
    threads_.emplace_back([this] {
      // The walk finds the work, so it goes first: a reader that competes
      // with it for a processor gives way (Linux sets the priority of a
      // thread of its own).
      setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), getpriority(PRIO_PROCESS, 0) + 10);
      FileReader reader;
      read_jobs(reader);
    });
  }
}

ReadAhead::~ReadAhead() { finish(); }

void ReadAhead::file_added(const GroupNode& group, std::int32_t count) {
  if (count < first_count_) return;
  if (count == first_count_) {
    for (std::uint32_t n : group.members) hand_over(n);
  } else {
    hand_over(group.members.back());
  }
}

void ReadAhead::hand_over(std::uint32_t file) {
  GroupMember& m = ctx_.files[file];
  if (m.read_ahead) return;
  // What an earlier scan read of an unchanged file is not read again.
  if (ctx_.cache != nullptr && ctx_.cache->has(m.facts)) return;
  m.read_ahead = 1;
  ctx_.files.contents_for(file);  // made here, on the walk's thread
  pending_.push_back(file);
  if (pending_.size() >= HAND_OVER_BATCH) publish_pending();
}

void ReadAhead::publish_pending() {
  if (pending_.empty()) return;
  {
    std::lock_guard lock(mutex_);
    jobs_.insert(jobs_.end(), pending_.begin(), pending_.end());
  }
  pending_.clear();
  work_.notify_all();
}

void ReadAhead::read_jobs(FileReader& reader) {
  std::uint32_t taken[TAKE_BATCH];
  std::string path;
  for (;;) {
    std::size_t n = 0;
    {
      std::unique_lock lock(mutex_);
      work_.wait(lock, [&] { return next_ < jobs_.size() || closing_; });
      while (n < TAKE_BATCH && next_ < jobs_.size()) taken[n++] = jobs_[next_++];
      if (n == 0) return;  // closing, and nothing is left
    }
    for (std::size_t i = 0; i < n; ++i) {
      // A stopped pass leaves the rest unread; the CRC pass decides then.
      if (!crc_pass_may_go_on(ctx_)) continue;
      const GroupMember& m = ctx_.files[taken[i]];
      const FileFacts& facts = m.facts;
      ctx_.files.path_of(m, path);
      record_probe(
          ctx_.files, taken[i],
          reader.probe(path.c_str(), PROBE_BYTES, FileSeen{facts.mode & S_IFMT, facts.size}));
    }
  }
}

void ReadAhead::finish() {
  if (threads_.empty()) return;
  publish_pending();
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  work_.notify_all();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
  std::deque<std::uint32_t>().swap(jobs_);  // what was found is in the records
}
