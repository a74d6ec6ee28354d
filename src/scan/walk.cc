// The walk goes only where an include mask can lead: a directory is entered
// when a directory mask matches its path or could still match a longer path
// below it, so "/home/*" walks "/", "/home" and everything under /home and
// nothing else. Files are taken only in directories a mask matches whole.
//
// Directories are opened relative to their parent (openat), never through
// chdir, and entries are examined with fstatat without following links;
// that one lstat of a file is all the scan ever looks at (its row shows it,
// the CRC pass takes its type from it). Where a directory's files are not
// taken, the entry type from readdir is enough to find its subdirectories,
// so those entries are not stat'ed.
//
// A directory that cannot be searched (read but no execute permission) is
// told once, "Access Denied to NAME", and skipped like one that cannot be
// opened: its entries could not be examined.
//
// Open descriptors are bounded, however deep the tree: the first
// OPEN_LEVELS levels keep their directory open while their entries are
// read; deeper, a directory's entries are read whole and examined, the
// directory is closed, and each subdirectory is opened by its path below
// the deepest level still open (never through a symbolic link). No file is
// lost to the open-file limit.
//
// The walk is two halves. The lister makes every system call: it opens and
// reads the directories, lstat's the entries and decides which directories
// to enter, and writes down what it found, in walk order, into batches.
// The taker goes through the batches in that order and does everything the
// rest of the scan sees: the counts, the "Access Denied" messages, the
// status texts, the filters and the filing of each file in the key tree.
// With more than one processor the lister runs on a thread of its own a few
// batches ahead, so the kernel's work on the entries overlaps the filing;
// the taker stays on the walk's thread, and since it sees exactly what one
// thread would have seen in the same order, every count and every result is
// the same either way.
#include "scan/walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "core/scan_channel.h"
#include "core/unique_fd.h"
#include "scan/match_mask.h"
#include "scan/row_format.h"

namespace {

// Pseudo file systems: never entered, whatever the masks say.
constexpr const char* NEVER_ENTERED[] = {"/dev", "/proc", "/sys"};

constexpr std::size_t MAX_PATH_LENGTH = PATH_MAX - 1;

// Levels that keep their directory open while the walk is below them.
constexpr int OPEN_LEVELS = 64;

// An "Access Denied" message is worth a wait for the label mailbox: no
// denied directory goes untold because another was told just before.
constexpr int DENIED_WAIT_MS = 2000;
// Seconds an "Access Denied" message stays before the counts come back.
constexpr int DENIED_SHOWN_TICKS = 3;

// What the lister writes down before it hands a batch over, and how many
// batches there are: the lister is at most that far ahead of the taker,
// so the memory is bounded (about 50 KB a batch) however large a directory.
constexpr std::size_t BATCH_ENTRIES = 256;
constexpr int BATCHES = 4;

bool any_mask_matches(const std::vector<std::string>& masks, const char* text) {
  for (const std::string& mask : masks) {
    if (match_mask(mask.c_str(), text) == MASK_MATCH) return true;
  }
  return false;
}

constexpr int DIR_FLAGS = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Opens `relative` (a path without "." or ".." components) below the open
// directory `anchor` without following a symbolic link anywhere on the way.
UniqueFd open_below(int anchor, const std::string& relative) {
  open_how how{};
  how.flags = DIR_FLAGS;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  long fd = syscall(SYS_openat2, anchor, relative.c_str(), &how, sizeof how);
  if (fd >= 0) return UniqueFd(static_cast<int>(fd));
  if (errno != ENOSYS && errno != EPERM) return UniqueFd();
  // A kernel without openat2: one component at a time, each without
  // following a link; one descriptor at a time besides the anchor.
  UniqueFd at;
  std::size_t start = 0;
  while (start < relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    std::string part = relative.substr(start, end - start);
    int from = at ? at.get() : anchor;
    at.reset(openat(from, part.c_str(), DIR_FLAGS));
    if (!at) return UniqueFd();
    start = end + 1;
  }
  return at;
}

bool is_dot_entry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// One thing the lister found, in walk order.
struct Found {
  enum Kind : std::uint8_t {
    ROOT,    // the root "/", with what became of it
    SUBDIR,  // a subdirectory of the directory in hand, with what became of it
    FILE,    // a file of a directory whose files are taken, with its lstat
    LEAVE,   // the directory in hand is done: its parent is in hand again
    END,     // the walk is over
  };
  // What became of a directory (ROOT, SUBDIR).
  enum Fate : std::uint8_t {
    PASSED,    // no mask leads there, or its path is too long: not entered
    EXCLUDED,  // an exclude mask names it
    DENIED,    // it could not be opened or searched
    ENTERED,   // its entries follow, up to its LEAVE
  };
  Kind kind;
  Fate fate;
  std::uint32_t name_at;  // in the batch's names, NUL-terminated
  std::uint32_t name_length;
  struct stat st;  // FILE only
};

struct Batch {
  std::vector<Found> found;
  std::string names;

  Batch() {
    found.reserve(BATCH_ENTRIES + 2);
    names.reserve(BATCH_ENTRIES * 32);
  }
  bool full() const { return found.size() >= BATCH_ENTRIES; }
  const char* name_of(const Found& f) const { return names.data() + f.name_at; }
  void clear() {
    found.clear();
    names.clear();
  }
  Found& add(Found::Kind kind, const char* name, std::size_t length) {
    Found& f = found.emplace_back();
    f.kind = kind;
    f.fate = Found::PASSED;
    f.name_at = static_cast<std::uint32_t>(names.size());
    f.name_length = static_cast<std::uint32_t>(length);
    names.append(name, length);
    names.push_back('\0');
    return f;
  }
  // Takes back the last add (an entry that could not be examined).
  void drop_last() {
    names.resize(found.back().name_at);
    found.pop_back();
  }
};

// The system-call half: walks the directories and writes down what it
// finds. It touches nothing the rest of the scan sees (the options are
// read only), so it may run on a thread of its own.
class Lister {
 public:
  explicit Lister(ScanContext& ctx) : ctx_(ctx), o_(ctx.options) {
    path_.reserve(PATH_MAX);
    levels_.reserve(OPEN_LEVELS + 16);
  }

  // Writes what comes next into `out` until it is full, or until the
  // directory in hand is done while `flush` says the taker is waiting.
  // False once the walk is over (its END is written).
  bool fill(Batch& out, const std::atomic<bool>* flush = nullptr) {
    if (!started_) {
      started_ = true;
      start_at_root(out);
    }
    while (!out.full()) {
      if (levels_.empty() || !walk_may_go_on(ctx_)) {
        levels_.clear();
        out.add(Found::END, "", 0);
        return false;
      }
      Level& level = levels_.back();
      if (level.dir) {
        dirent* entry = readdir(level.dir.get());
        if (entry != nullptr) {
          take_entry(out, level, entry);
          continue;
        }
        if (level.depth >= OPEN_LEVELS) {
          // Deep: read whole; the subdirectories come with the directory closed.
          level.dir.reset();
          continue;
        }
      } else if (level.next_subdir < level.subdirs.size()) {
        const std::string& name = level.subdirs[level.next_subdir++];
        enter(out, name.c_str(), name.size());
        continue;
      }
      leave(out);
      if (flush != nullptr && flush->load(std::memory_order_relaxed)) break;
    }
    return true;
  }

 private:
  using DirStream = std::unique_ptr<DIR, int (*)(DIR*)>;

  // A directory being walked.
  struct Level {
    DirStream dir{nullptr, closedir};  // open while its entries are read
    int fd = -1;                       // the stream's descriptor
    int depth = 0;
    std::size_t path_length = 0;  // of its path in path_
    bool files_taken = false;
    std::vector<std::string> subdirs;  // deep: its subdirectories, in order
    std::size_t next_subdir = 0;
  };

  void start_at_root(Batch& out) {
    path_.assign(1, '/');
    Found& root = out.add(Found::ROOT, "/", 1);
    root.fate = should_enter();
    if (root.fate != Found::ENTERED) return;
    UniqueFd fd(open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd || !searchable(fd.get())) {
      root.fate = Found::DENIED;
      return;
    }
    begin(out, std::move(fd), 0);
  }

  // The include, exclude and pseudo-file-system decision for path_.
  Found::Fate should_enter() {
    bool take = false;
    // The prefix a longer path below this directory would start with.
    probe_ = path_;
    if (probe_.back() != '/') probe_.push_back('/');
    for (const std::string& mask : o_.include_dirs) {
      if (match_mask(mask.c_str(), path_.c_str()) == MASK_MATCH ||
          mask_can_match_prefix(mask.c_str(), probe_.c_str())) {
        take = true;
        break;
      }
    }
    if (!take) return Found::PASSED;
    if (any_mask_matches(o_.exclude_dirs, path_.c_str())) return Found::EXCLUDED;
    for (const char* never : NEVER_ENTERED) {
      if (path_ == never) return Found::PASSED;
    }
    return Found::ENTERED;
  }

  static bool searchable(int fd) { return faccessat(fd, ".", X_OK, AT_EACCESS) == 0; }

  // Starts on the directory open as `fd` (whose path is path_), `depth`
  // levels below the root. A directory whose entries cannot be read is
  // left at once.
  void begin(Batch& out, UniqueFd fd, int depth) {
    Level& level = levels_.emplace_back();
    level.depth = depth;
    level.path_length = path_.size();
    level.files_taken = any_mask_matches(o_.include_dirs, path_.c_str());
    level.dir.reset(fdopendir(fd.get()));
    if (level.dir) {
      level.fd = fd.release();  // the directory stream closes it
    } else {
      leave(out);
    }
  }

  // The directory in hand is done.
  void leave(Batch& out) {
    levels_.pop_back();
    out.add(Found::LEAVE, "", 0);
    if (!levels_.empty()) path_.resize(levels_.back().path_length);
  }

  // An entry of the directory in hand: a file of a directory whose files
  // are taken is written down with its lstat, a subdirectory is entered at
  // once (or, deep, after the files).
  void take_entry(Batch& out, Level& level, const dirent* entry) {
    const char* name = entry->d_name;
    if (is_dot_entry(name)) return;
    const std::size_t length = std::strlen(name);
    bool is_dir;
    if (level.files_taken || entry->d_type == DT_UNKNOWN) {
      Found& f = out.add(Found::FILE, name, length);
      if (fstatat(level.fd, name, &f.st, AT_SYMLINK_NOFOLLOW) != 0) {
        out.drop_last();
        return;
      }
      is_dir = S_ISDIR(f.st.st_mode);
      if (!is_dir && level.files_taken) return;
      out.drop_last();
    } else {
      is_dir = entry->d_type == DT_DIR;
    }
    if (!is_dir) return;
    if (level.depth >= OPEN_LEVELS) {
      level.subdirs.emplace_back(name, length);
    } else {
      enter(out, name, length);
    }
  }

  // The subdirectory `name` of path_: written down with what becomes of
  // it, and when the masks lead into it, opened and started on.
  void enter(Batch& out, const char* name, std::size_t length) {
    const std::size_t path_length = path_.size();
    Found& sub = out.add(Found::SUBDIR, name, length);
    if (path_length + 1 + length > MAX_PATH_LENGTH) return;  // PASSED
    if (path_length > 1) path_.push_back('/');
    path_.append(name, length);
    sub.fate = should_enter();
    if (sub.fate == Found::ENTERED) {
      const Level& parent = levels_.back();
      UniqueFd child = parent.dir ? UniqueFd(openat(parent.fd, name, DIR_FLAGS)) : open_deep();
      if (!child || !searchable(child.get())) {
        sub.fate = Found::DENIED;
      } else {
        begin(out, std::move(child), parent.depth + 1);
        return;
      }
    }
    path_.resize(path_length);
  }

  // path_ opened below the deepest level still open.
  UniqueFd open_deep() {
    const Level& anchor = levels_[OPEN_LEVELS - 1];
    return open_below(anchor.fd,
                      path_.substr(anchor.path_length + (anchor.path_length > 1 ? 1 : 0)));
  }

  ScanContext& ctx_;
  const ScanOptions& o_;
  bool started_ = false;
  std::string path_;           // absolute path of the directory in hand
  std::string probe_;          // path_ followed by "/"
  std::vector<Level> levels_;  // the directories being walked, root first
};

// The lister on a thread of its own, a few batches ahead of the taker.
class ListerThread {
 public:
  explicit ListerThread(ScanContext& ctx) : lister_(ctx) {
    for (Batch& b : batches_) free_.push_back(&b);
    thread_ = std::thread([this] { run(); });
  }
  ~ListerThread() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  ListerThread(const ListerThread&) = delete;
  ListerThread& operator=(const ListerThread&) = delete;

  // The next batch in walk order (waits for it). What stopped the lister
  // (no memory left, say) is thrown here, on the walk's thread.
  Batch* take() {
    std::unique_lock lock(mutex_);
    if (ready_.empty()) {
      taker_waits_.store(true, std::memory_order_relaxed);
      changed_.wait(lock, [&] { return !ready_.empty() || failure_; });
      taker_waits_.store(false, std::memory_order_relaxed);
      if (ready_.empty()) std::rethrow_exception(failure_);
    }
    Batch* b = ready_.front();
    ready_.pop_front();
    return b;
  }

  // A batch taken and gone through, for the lister to fill again.
  void give_back(Batch* b) {
    b->clear();
    {
      std::lock_guard lock(mutex_);
      free_.push_back(b);
    }
    changed_.notify_all();
  }

 private:
  void run() {
    try {
      fill_batches();
    } catch (...) {
      {
        std::lock_guard lock(mutex_);
        failure_ = std::current_exception();
      }
      changed_.notify_all();
    }
  }

  void fill_batches() {
    for (;;) {
      Batch* b;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !free_.empty() || quit_; });
        if (quit_) return;
        b = free_.back();
        free_.pop_back();
      }
      const bool more = lister_.fill(*b, &taker_waits_);
      {
        std::lock_guard lock(mutex_);
        ready_.push_back(b);
      }
      changed_.notify_all();
      if (!more) return;
    }
  }

  Lister lister_;
  Batch batches_[BATCHES];
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Batch*> free_;
  std::deque<Batch*> ready_;
  bool quit_ = false;
  std::exception_ptr failure_;
  // The taker has gone through everything handed over: a directory's end
  // is then worth a hand-over of its own (a slow disk still shows progress).
  std::atomic<bool> taker_waits_{false};
  std::thread thread_;
};

// The half that everything else sees: goes through what the lister found
// and counts, tells, filters and files it.
class Taker {
 public:
  explicit Taker(ScanContext& ctx) : ctx_(ctx), o_(ctx.options) {
    path_.reserve(PATH_MAX);
    file_path_.reserve(PATH_MAX);
    key_.reserve(256);
  }

  // Goes through `batch`; false once the walk is over or stopped.
  bool take(const Batch& batch) {
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

unsigned usable_processors() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
  return std::thread::hardware_concurrency();
}

}  // namespace

void build_key(std::string& key, const ScanOptions& o, const char* name, const struct stat& st,
               const struct tm& local) {
  char part[64];
  if (o.same_size) {
    std::snprintf(part, sizeof part, "%09lld?", static_cast<long long>(st.st_size));
    key.append(part);
  }
  if (o.same_name) key.append(name);
  if (o.same_date) {
    std::strftime(part, sizeof part, "%d-%b-%Y", &local);
    key.append(part);
  }
  if (o.same_time) {
    std::strftime(part, sizeof part, "%H:%M:%S", &local);
    key.append(part);
  }
  if (o.same_owner) {
    std::snprintf(part, sizeof part, "+Own%u", static_cast<unsigned>(st.st_uid));
    key.append(part);
  }
  if (o.same_group) {
    std::snprintf(part, sizeof part, "+Grp%u", static_cast<unsigned>(st.st_gid));
    key.append(part);
  }
}

void walk_file_system(ScanContext& ctx, WalkThreads threads) {
  Taker taker(ctx);
  if (threads == WalkThreads::TWO) {
    ListerThread lister(ctx);
    for (;;) {
      Batch* batch = lister.take();
      const bool more = taker.take(*batch);
      lister.give_back(batch);
      if (!more) return;
    }
  }
  Lister lister(ctx);
  Batch batch;
  for (;;) {
    lister.fill(batch);
    const bool more = taker.take(batch);
    batch.clear();
    if (!more) return;
  }
}

void walk_file_system(ScanContext& ctx) {
  walk_file_system(ctx, usable_processors() > 1 ? WalkThreads::TWO : WalkThreads::ONE);
}
