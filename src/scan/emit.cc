// Emission and the CRC pass.
//
// Groups leave the trees in descending key order. With "Same File Size" on
// the key starts with the size written as at least nine digits and a "?",
// so the largest files come first, and within one key the CRC sub-groups
// come in descending order of their extended key: the key, ESC, the CRC in
// hexadecimal, ESC, and the 32 hex digits of the XXH3-128 of the contents.
// The CRC keeps the familiar order; the 128-bit hash makes sure that two
// files whose contents differ never share a group, whatever their CRC.
//
// Reading is the cost of a scan, so the CRC pass reads as little as the
// result allows. When groups of one file are never listed (group_min of 2
// or more), a group's files are first read only up to PROBE_BYTES: a file
// whose beginning matches no other file of its key cannot have a duplicate
// and is not read further. Only files whose beginnings collide are read to
// their end. The rows that come out are exactly those of reading everything.
//
// The list takes at most `list_limit` rows from a scan (the window's 50,000;
// none for the headless command unless asked): before each group the row
// count is checked, and once it has reached the limit one "List Box Is Full"
// comment row is sent and the emission ends, so a cut list always says so.
//
// Rows show what the walk's one lstat of each file found: the CRC pass reads
// files but never looks at them again.
#include "scan/emit.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "core/scan_channel.h"
#include "scan/content_cache.h"
#include "scan/file_digest.h"
#include "scan/read_ahead.h"
#include "scan/row_format.h"

namespace {

// True when the list is full: sends the notice, once.
bool list_is_full(ScanContext& ctx) {
  const std::int32_t limit = ctx.options.list_limit;
  if (limit <= 0 || ctx.block.row_count.load(std::memory_order_relaxed) < limit) return false;
  if (!ctx.list_full_told) send_comment_row(ctx.block, "List Box", " Is Full");
  ctx.list_full_told = true;
  return true;
}

void count_group_outside_limits(ScanContext& ctx, std::int32_t count) {
  if (count > 1 && count < ctx.options.group_min) {
    ctx.block.counters.smaller_groups.fetch_add(1, std::memory_order_relaxed);
  }
  if (count > ctx.options.group_max) {
    ctx.block.counters.larger_groups.fetch_add(1, std::memory_order_relaxed);
  }
}

bool within_group_limits(const ScanContext& ctx, std::int32_t count) {
  return count >= ctx.options.group_min && count <= ctx.options.group_max;
}

void send_header(ScanContext& ctx, std::int32_t count) {
  send_group_header(ctx.block, ctx.next_group_no, ctx.next_entry_no, ctx.next_entry_no + count - 1);
  ++ctx.next_group_no;
  ++ctx.rows_emitted;
}

// Sends one member's row, as the walk found the file.
void send_member(ScanContext& ctx, const GroupMember& m, std::uint32_t crc, const char* crc_text) {
  static thread_local std::string path;
  ctx.files.path_of(m, path);
  post_row(ctx.block, file_row(&m.facts, crc, crc_text, path.c_str()).texts());
  ++ctx.next_entry_no;
  ++ctx.rows_emitted;
}

long percent(const ScanContext& ctx) {
  return ctx.rows_expected > 0 ? ctx.rows_emitted * 100 / ctx.rows_expected : 0;
}

void post_adding_entry(ScanContext& ctx) {
  char text[128];
  std::snprintf(text, sizeof text, "Busy... Adding Entry %ld of %ld (%ld%%)", ctx.rows_emitted,
                ctx.rows_expected, percent(ctx));
  post_status_line(ctx.block, text);
  report_progress(ctx.block, ctx.rows_emitted, ctx.rows_expected);
}

void release_members(GroupNode& node) { std::vector<std::uint32_t>().swap(node.members); }

// What the walk saw of the file (type 0 when only the size is known).
FileSeen seen_of(const GroupMember& m) { return {m.facts.mode & S_IFMT, m.facts.size}; }

bool crc_pass_keeps_going(const void* ctx) {
  return crc_pass_may_go_on(*static_cast<const ScanContext*>(ctx));
}

// The extended key of a file in the CRC tree: the key, ESC, the CRC in
// hexadecimal, ESC, the 32 hex digits of the XXH3-128 (written by hand: a
// re-scan makes one for every file it compares).
void content_key(std::string& out, std::string_view key, const FileDigest& d) {
  static constexpr char DIGITS[] = "0123456789ABCDEF";
  char tail[1 + 8 + 1 + 32];
  char* at = tail;
  *at++ = '\x1b';
  int shift = 28;
  while (shift > 0 && ((d.crc >> shift) & 0xF) == 0) shift -= 4;  // no leading zeros
  for (; shift >= 0; shift -= 4) *at++ = DIGITS[(d.crc >> shift) & 0xF];
  *at++ = '\x1b';
  for (std::uint64_t half : {d.hash_high, d.hash_low}) {
    for (int s = 60; s >= 0; s -= 4) *at++ = DIGITS[(half >> s) & 0xF];
  }
  out.assign(key);
  out.append(tail, static_cast<std::size_t>(at - tail));
}

// The CRC pass reads in batches of consecutive groups: all reads of a batch
// run on every processor at once, then its files are filed into the CRC tree
// one by one, in group order, as if read one after another.
class CrcPass {
 public:
  explicit CrcPass(ScanContext& ctx) : ctx_(ctx) {
    readers_.resize(READERS);
    for (auto& r : readers_) r = std::make_unique<FileReader>();
  }

  void run() {
    const ScanOptions& o = ctx_.options;
    const bool may_skip_lone = probes_first(o);
    const auto& groups = ctx_.key_tree.descending();
    // The bytes the pass may read, for the progress line: every member of
    // every group it takes.
    for (auto [key, node] : groups) {
      if (node->count < o.group_min) continue;
      for (std::uint32_t n : node->members) bytes_total_ += ctx_.files[n].facts.size;
    }
    if (ctx_.cache != nullptr) recall_from_cache(groups);
    started_ = std::chrono::steady_clock::now();
    std::size_t next = 0;
    while (next < groups.size()) {
      batch_.clear();
      files_.clear();
      // The batch's groups first, then room for exactly their files: a
      // group of many thousand files makes one large batch, which should
      // not also carry a vector's doubling.
      std::size_t batch_files = 0;
      for (; next < groups.size() && batch_files < BATCH_FILES; ++next) {
        auto [key, node] = groups[next];
        if (node->count < o.group_min || node->members.empty()) continue;
        batch_.push_back({key, node, batch_files});
        batch_files += node->members.size();
      }
      if (files_.capacity() > std::max(batch_files, BATCH_FILES)) {
        std::vector<FileWork>().swap(files_);  // what a large group took goes back
      }
      files_.reserve(batch_files);
      for (const BatchGroup& g : batch_) {
        for (std::uint32_t n : g.node->members) {
          files_.push_back({n, &ctx_.files.contents_for(n)});
        }
      }
      if (may_skip_lone) {
        read_beginnings_then_collisions();
      } else {
        read_all();
      }
      if (!refile_batch()) return;
    }
  }

 private:
  // Reads in flight: more than processors, for the files that come from a
  // disk; from the page cache the extra threads cost next to nothing.
  static constexpr unsigned READERS = 8;
  static constexpr std::size_t BATCH_FILES = 4096;

  // One file of the batch. What reads found (or the content cache
  // remembered) is in its contents record, which stays with the file.
  struct FileWork {
    std::uint32_t file;      // its number in ctx.files
    FileContents* contents;  // its record
    bool wanted = false;     // to be filed into the CRC tree
    bool known(std::uint32_t flag) const { return contents->has(flag); }
    // Its beginning has been read (or remembered), or could not be.
    bool probed() const { return known(FileContents::BEGINNING | FileContents::UNREADABLE); }
    bool readable() const { return !known(FileContents::UNREADABLE); }
  };

  // Gives every file the pass takes what an earlier scan read of it, when
  // the file is unchanged.
  void recall_from_cache(const std::vector<GroupTree::Entry>& groups) {
    // Marked first and listed in the store's order: the cache then reads
    // the members one after another, not scattered as the groups hold them.
    std::vector<bool> taken(ctx_.files.size());
    std::size_t count = 0;
    for (auto [key, node] : groups) {
      if (node->count < ctx_.options.group_min) continue;
      for (std::uint32_t n : node->members) taken[n] = true;
      count += node->members.size();
    }
    std::vector<std::uint32_t> files;
    files.reserve(count);
    for (std::uint32_t n = 0; n < taken.size(); ++n) {
      if (taken[n]) files.push_back(n);
    }
    ctx_.cache->recall(ctx_.files, std::move(files));
  }

  // What this scan learnt of the file is for the next scan: the beginning's
  // hash of a file read at least that far, and the whole digest of one read
  // to its end. A file that could not be read, or changed while it was (a
  // wanted file whose whole read failed), leaves nothing.
  void remember(const FileWork& f) {
    if (ctx_.cache == nullptr || !f.readable()) return;
    if (f.wanted && !f.known(FileContents::WHOLE)) return;
    if (f.known(FileContents::BEGINNING | FileContents::WHOLE)) {
      f.contents->flags |= FileContents::LEARNT;
    }
  }
  struct BatchGroup {
    std::string_view key;
    GroupNode* node;
    std::size_t first_file;  // its members' place in files_
  };

  // Runs fn(file, reader) for every file for which `wanted(file)`, on all readers.
  template <typename Wanted, typename Fn>
  void for_files(Wanted wanted, Fn fn) {
    // Threads only for a batch with reading to do: a re-scan finds nearly
    // every file in the content cache.
    std::size_t wanted_count = 0;
    for (const FileWork& f : files_) wanted_count += wanted(f) ? 1 : 0;
    if (wanted_count == 0) return;
    std::atomic<std::size_t> next{0};
    auto work = [&](FileReader& reader) {
      for (std::size_t i; (i = next.fetch_add(1)) < files_.size();) {
        if (wanted(files_[i]) && crc_pass_may_go_on(ctx_)) fn(files_[i], reader);
      }
    };
    std::vector<std::thread> helpers;
    std::size_t extra = std::min(readers_.size() - 1, wanted_count - 1);
    for (std::size_t k = 1; k <= extra; ++k) helpers.emplace_back(work, std::ref(*readers_[k]));
    work(*readers_[0]);
    for (std::thread& t : helpers) t.join();
  }

  void read_whole(FileWork& f, FileReader& reader) {
    static thread_local std::string path;
    const GroupMember& m = ctx_.files[f.file];
    ctx_.files.path_of(m, path);
    record_digest(ctx_.files, f.file,
                  reader.digest(path.c_str(), true, crc_pass_keeps_going, &ctx_, seen_of(m)));
  }

  void read_all() {
    for_files(
        [](const FileWork& f) { return !f.known(FileContents::WHOLE | FileContents::UNREADABLE); },
        [&](FileWork& f, FileReader& reader) { read_whole(f, reader); });
    for (FileWork& f : files_) f.wanted = true;  // unreadable ones get a group of their own
  }

  // Reads the beginning of every file; then, group by group, only files whose
  // beginning another file of the group shares can have a duplicate, and only
  // those are read to their end.
  void read_beginnings_then_collisions() {
    for_files([](const FileWork& f) { return !f.probed(); },
              [&](FileWork& f, FileReader& reader) {
                static thread_local std::string path;
                const GroupMember& m = ctx_.files[f.file];
                ctx_.files.path_of(m, path);
                record_probe(ctx_.files, f.file,
                             reader.probe(path.c_str(), PROBE_BYTES, seen_of(m)));
              });
    for (const BatchGroup& g : batch_) {
      want_shared_beginnings(g.first_file, g.first_file + g.node->members.size());
    }
    for_files([](const FileWork& f) { return f.wanted && !f.known(FileContents::WHOLE); },
              [&](FileWork& f, FileReader& reader) { read_whole(f, reader); });
  }

  // Wants the readable files of files_[first, end) whose beginning another
  // readable file there shares. Most groups have two or three files: those
  // are compared pair by pair; a larger one's hashes are sorted and counted.
  void want_shared_beginnings(std::size_t first, std::size_t end) {
    auto hash = [&](std::size_t i) { return files_[i].contents->beginning_hash(); };
    if (end - first <= 16) {
      for (std::size_t i = first; i < end; ++i) {
        bool shared = false;
        if (files_[i].readable()) {
          for (std::size_t j = first; j < end && !shared; ++j) {
            shared = j != i && files_[j].readable() && hash(j) == hash(i);
          }
        }
        files_[i].wanted = shared;
      }
      return;
    }
    hashes_.clear();
    for (std::size_t i = first; i < end; ++i) {
      if (files_[i].readable()) hashes_.push_back(hash(i));
    }
    std::sort(hashes_.begin(), hashes_.end());
    for (std::size_t i = first; i < end; ++i) {
      const auto same = std::equal_range(hashes_.begin(), hashes_.end(), hash(i));
      files_[i].wanted = files_[i].readable() && same.second - same.first >= 2;
    }
  }

  // Files the batch in group order; false when the pass is to end.
  bool refile_batch() {
    const ScanOptions& o = ctx_.options;
    for (const BatchGroup& g : batch_) {
      const std::int32_t dups = ctx_.block.counters.dup_count.load();
      if (o.stop_after > 0 && dups >= o.stop_after) {
        note_stopped_by_limit(ctx_, dups);
        set_word(ctx_.block.command_word, CMD_IDLE);  // ends this pass too
        return false;
      }
      if (!crc_pass_may_go_on(ctx_)) return false;
      std::size_t end = g.first_file + g.node->members.size();
      for (std::size_t i = g.first_file; i < end; ++i) {
        // A file the stop cut short was never read whole: it is left out.
        const FileWork& f = files_[i];
        if (f.wanted && (f.known(FileContents::WHOLE) || !f.readable())) refile(g.key, f);
        remember(f);
        bytes_done_ += ctx_.files[f.file].facts.size;
      }
      release_members(*g.node);
    }
    return true;
  }

  void refile(std::string_view key, const FileWork& f) {
    GroupMember& m = ctx_.files[f.file];
    FileDigest d;
    d.ok = f.readable();
    if (d.ok) {
      d.crc = m.crc;
      d.bytes = m.facts.size;
      d.hash_high = f.contents->hash_high();
      d.hash_low = f.contents->hash_low();
    }
    m.crc = d.crc;
    m.readable = d.ok;

    if (d.ok) {
      content_key(extended_, key, d);
    } else {
      // An unreadable file has a group of its own: it is never called equal
      // to anything.
      extended_.assign(key);
      extended_.append(
          "\x1b"
          "0\x1b!");
      ctx_.files.path_of(m, path_);
      extended_.append(path_);
    }
    insert_file(ctx_, ctx_.crc_tree, extended_, f.file);
    tell_progress(m, d);
  }

  // The file just filed and the counts on the status lines, a few times a
  // second: no one reads more, and a re-scan files a hundred thousand
  // remembered files in a fraction of a second, where the texts would cost
  // more than the filing.
  void tell_progress(const GroupMember& m, const FileDigest& d) {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_told_ < TELL_EVERY) return;
    last_told_ = now;
    ctx_.files.path_of(m, path_);
    char text[PATH_MAX + 64];
    std::snprintf(text, sizeof text, "Pass 2: CRC-32 %X %lld %s", static_cast<unsigned>(d.crc),
                  static_cast<long long>(d.bytes), path_.c_str());
    post_status_line(ctx_.block, text);
    std::int32_t dups = ctx_.block.counters.dup_count.load();
    const double seconds = std::chrono::duration<double>(now - started_).count();
    post_message(ctx_.block,
                 compare_progress_text(dups, bytes_done_, bytes_total_, seconds).c_str());
    report_progress(ctx_.block, dups, ctx_.possible_count);
  }

  static constexpr std::chrono::milliseconds TELL_EVERY{50};
  ScanContext& ctx_;
  std::int64_t bytes_total_ = 0;  // of the files the pass may read
  std::int64_t bytes_done_ = 0;   // of the files filed (or passed over) so far
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_told_;  // the status lines' last change
  std::vector<std::unique_ptr<FileReader>> readers_;
  std::vector<BatchGroup> batch_;
  std::vector<FileWork> files_;
  std::vector<std::uint64_t> hashes_;  // of a large group's beginnings
  std::string extended_;
  std::string path_;
};

}  // namespace

void emit_groups(ScanContext& ctx) {
  const ScanOptions& o = ctx.options;
  FileReader reader;
  std::string path;
  for (auto [key, node_ptr] : ctx.key_tree.descending()) {
    GroupNode& node = *node_ptr;
    if (g_scanner_abort || list_is_full(ctx)) return;
    count_group_outside_limits(ctx, node.count);
    if (!within_group_limits(ctx, node.count)) continue;

    send_header(ctx, node.count);
    for (std::uint32_t n : node.members) {
      GroupMember& m = ctx.files[n];
      std::uint32_t crc = 0;
      const char* crc_text = "-";
      if (o.display_crc) {
        ctx.files.path_of(m, path);
        FileDigest d = reader.digest(path.c_str(), false, nullptr, nullptr, seen_of(m));
        if (d.ok) {
          m.crc = crc = d.crc;
          crc_text = nullptr;
        } else {
          crc_text = "??";
        }
      }
      send_member(ctx, m, crc, crc_text);

      long step = ctx.rows_expected / 64;
      if (step == 0) step = 32;
      if (ctx.rows_emitted % step == 0) {
        if (o.display_crc) {
          char text[PATH_MAX + 64];
          std::snprintf(text, sizeof text, "Pass 2: (%ld%%) CRC-32 %X %lld %s", percent(ctx),
                        static_cast<unsigned>(m.crc), static_cast<long long>(m.facts.size),
                        ctx.files.path_of(m).c_str());
          post_status_line(ctx.block, text);
          report_progress(ctx.block, ctx.rows_emitted, ctx.rows_expected);
        } else {
          post_adding_entry(ctx);
        }
      }
    }
    release_members(node);
  }
}

void record_probe(FileStore& files, std::uint32_t file, const FileProbe& probe) {
  FileContents& c = *files.contents(file);
  if (!probe.readable) {
    c.flags |= FileContents::UNREADABLE;
    return;
  }
  c.flags |= FileContents::BEGINNING;
  c.set_beginning_hash(probe.hash);
  if (probe.complete) record_digest(files, file, probe.whole);
}

void record_digest(FileStore& files, std::uint32_t file, const FileDigest& digest) {
  FileContents& c = *files.contents(file);
  if (!digest.ok) {
    c.flags |= FileContents::UNREADABLE;
    return;
  }
  c.flags |= FileContents::WHOLE;
  c.set_whole_hash(digest.hash_high, digest.hash_low);
  files[file].crc = digest.crc;
}

bool probes_first(const ScanOptions& o) { return o.group_min >= 2 && o.group_max >= 1; }

void crc_regroup(ScanContext& ctx) { CrcPass(ctx).run(); }

void emit_crc_groups(ScanContext& ctx) {
  for (auto [key, node_ptr] : ctx.crc_tree.descending()) {
    GroupNode& node = *node_ptr;
    if (g_scanner_abort || list_is_full(ctx)) return;
    count_group_outside_limits(ctx, node.count);
    if (node.members.empty() || !within_group_limits(ctx, node.count)) continue;

    send_header(ctx, node.count);
    for (std::uint32_t n : node.members) {
      const GroupMember& m = ctx.files[n];
      send_member(ctx, m, m.crc, m.readable ? nullptr : "??");
      long step = ctx.rows_expected / 64;
      if (step < 64) step = 64;
      if (ctx.rows_emitted % step == 0) post_adding_entry(ctx);
    }
    release_members(node);
  }
}
