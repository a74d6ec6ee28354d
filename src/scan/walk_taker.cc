#include "scan/walk_taker.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "core/scan_channel.h"
#include "scan/row_format.h"
#include "scan/walk.h"

namespace {

using namespace walk_batch;

// An "Access Denied" message is worth a wait for the label mailbox: no
// denied directory goes untold because another was told just before.
constexpr int DENIED_WAIT_MS = 2000;
// Seconds an "Access Denied" message stays before the counts come back.
constexpr int DENIED_SHOWN_TICKS = 3;

// The half that everything else sees: goes through what the lister found
// and counts, tells, filters and files it.
class Taker : public WalkTaker {
 public:
  explicit Taker(ScanContext& ctx) : ctx_(ctx), o_(ctx.options) {
    path_.reserve(PATH_MAX);
    file_path_.reserve(PATH_MAX);
    key_.reserve(256);
  }

  // Goes through `batch`; false once the walk is over or stopped.
  bool take(const Batch& batch) override {
    for (const Found& f : batch.found) {
      if (!take_one(batch, f)) {
        ctx_.block.walk_depth.fetch_sub(open_, std::memory_order_relaxed);
        open_ = 0;
        return false;
      }
    }
    return true;
  }

 private:
  bool take_one(const Batch& batch, const Found& f) {
    ScanCounters& counters = ctx_.block.counters;
    switch (f.kind) {
      case Found::ROOT:
        path_.assign(1, '/');
        directory_fate(f.fate, "/");
        return true;
      case Found::SUBDIR: {
        if (!walk_may_go_on(ctx_)) return false;
        counters.dirs_count.fetch_add(1, std::memory_order_relaxed);
        const char* name = batch.name_of(f);
        if (f.fate == Found::ENTERED) {
          path_lengths_.push_back(path_.size());
          if (path_.size() > 1) path_.push_back('/');
          path_.append(name, f.name_length);
        }
        directory_fate(f.fate, name);
        return true;
      }
      case Found::FILE:
        if (!walk_may_go_on(ctx_)) return false;
        examine_file(batch.name_of(f), f.name_length, f.st);
        return true;
      case Found::LEAVE:
        ctx_.block.walk_depth.fetch_sub(1, std::memory_order_relaxed);
        --open_;
        if (!path_lengths_.empty()) {
          path_.resize(path_lengths_.back());
          path_lengths_.pop_back();
        }
        return true;
      case Found::END:
        break;
    }
    return false;
  }

  void directory_fate(Found::Fate fate, const char* name) {
    switch (fate) {
      case Found::PASSED:
        break;
      case Found::EXCLUDED:
        ctx_.block.counters.exdirs_count.fetch_add(1, std::memory_order_relaxed);
        break;
      case Found::DENIED:
        deny(name);
        break;
      case Found::ENTERED:
        begin_directory();
        break;
    }
  }

  // The directory path_ is entered.
  void begin_directory() {
    ScanBlock& block = ctx_.block;
    if (block.dir_tick.load(std::memory_order_relaxed) != 0) {
      post_dir_text(block, path_.c_str());
      show_counts();
      block.dir_tick.store(0, std::memory_order_relaxed);
    }
    block.walk_depth.fetch_add(1, std::memory_order_relaxed);
    ++open_;
  }

  void deny(const char* name) {
    char text[LABEL_TEXT_SIZE];
    std::snprintf(text, sizeof text, "Access Denied to %s", name);
    post_message(ctx_.block, text, DENIED_WAIT_MS);
    denied_ticks_ = DENIED_SHOWN_TICKS;
  }

  // Each second the second status line shows the counts so far, but for a
  // while after an "Access Denied" (that one must be read).
  void show_counts() {
    if (denied_ticks_ > 0) {
      --denied_ticks_;
      return;
    }
    const ScanCounters& c = ctx_.block.counters;
    post_message(ctx_.block, walk_counts_text(c.files_count.load(std::memory_order_relaxed),
                                              c.dirs_count.load(std::memory_order_relaxed),
                                              c.dup_count.load(std::memory_order_relaxed))
                                 .c_str());
  }

  void examine_file(const char* name, std::size_t name_length, const struct stat& st) {
    if (st.st_size < o_.min_file_size) return;
    if (o_.max_file_size > 0 && st.st_size > o_.max_file_size) return;
    if ((static_cast<std::int32_t>(st.st_mode) & o_.attr_care_mask) != o_.attr_set_mask) return;

    // The date in 64 bits: a file dated in any year a time can hold is
    // compared, never dropped; one too far out for the calendar is later
    // (or earlier) than every bound.
    time_t t = chosen_file_time(st, o_.time_kind);
    struct tm local {};
    std::int64_t date;
    if (localtime_r(&t, &local) != nullptr) {
      date =
          (std::int64_t{local.tm_year} + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
    } else {
      date = t < 0 ? std::numeric_limits<std::int64_t>::min()
                   : std::numeric_limits<std::int64_t>::max();
    }
    if (date < o_.min_date || date > o_.max_date) return;

    if (!any_mask_matches(o_.include_file_masks, name)) return;
    if (any_mask_matches(o_.exclude_file_masks, name)) {
      ctx_.block.counters.exfiles_count.fetch_add(1, std::memory_order_relaxed);
      return;
    }

    key_.clear();
    build_key(key_, o_, name, st, local);
    if (key_.empty()) return;

    // A path too long for the list is left out: a cut path would name
    // another file.
    std::size_t separator = path_.size() > 1 ? 1 : 0;
    if (path_.size() + separator + name_length > MAX_PATH_LENGTH) return;
    file_path_.assign(path_);
    if (separator) file_path_.push_back('/');
    file_path_.append(name, name_length);

    ctx_.block.counters.files_count.fetch_add(1, std::memory_order_relaxed);
    insert_file(ctx_, ctx_.key_tree, key_, file_path_, facts_of(st, o_.time_kind), 0);
  }

  ScanContext& ctx_;
  const ScanOptions& o_;
  std::string path_;                       // absolute path of the directory in hand
  std::vector<std::size_t> path_lengths_;  // path_'s length before each entered level
  int open_ = 0;                           // directories entered and not yet left
  int denied_ticks_ = 0;                   // ticks left before the counts may replace a denial
  std::string file_path_;                  // absolute path of the file in hand
  std::string key_;
};

}  // namespace

std::unique_ptr<WalkTaker> make_walk_taker(ScanContext& ctx) {
  return std::make_unique<Taker>(ctx);
}
