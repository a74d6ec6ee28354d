#include "scan/walk_lister.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <mntent.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/scan_channel.h"
#include "core/unique_fd.h"

namespace {

using namespace walk_batch;

// Pseudo file systems: never entered, whatever the masks say.
constexpr const char* NEVER_ENTERED[] = {"/dev", "/proc", "/sys"};

// A directory by what it is, however its path is spelled.
struct DirectoryId {
  dev_t dev;
  ino_t ino;
};

void add_directory_id(std::vector<DirectoryId>& ids, const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ids.push_back({st.st_dev, st.st_ino});
}

bool below_never_entered(const char* path) {
  for (const char* never : NEVER_ENTERED) {
    const std::size_t n = std::strlen(never);
    if (std::strncmp(path, never, n) == 0 && (path[n] == '\0' || path[n] == '/')) return true;
  }
  return false;
}

// The user's trash folders, which hold files deleted on purpose: the home
// trash ($XDG_DATA_HOME/Trash, by default ~/.local/share/Trash) and, at the
// top of each mounted file system, .Trash/UID and .Trash-UID. Found once per
// walk and told apart by device and inode, so that the walk passes them
// whatever path leads there. Automounted places are not looked into (a look
// would mount them), nor the pseudo file systems.
std::vector<DirectoryId> trash_directories() {
  std::vector<DirectoryId> ids;
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') {
    add_directory_id(ids, std::string(data) + "/Trash");
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    add_directory_id(ids, std::string(home) + "/.local/share/Trash");
  }
  const std::string uid = std::to_string(geteuid());
  FILE* table = setmntent("/proc/self/mounts", "re");
  if (table == nullptr) return ids;
  while (const mntent* m = getmntent(table)) {
    if (m->mnt_dir == nullptr || m->mnt_dir[0] != '/') continue;
    if (std::strcmp(m->mnt_type, "autofs") == 0 || below_never_entered(m->mnt_dir)) continue;
    const std::string top = std::strcmp(m->mnt_dir, "/") == 0 ? std::string() : m->mnt_dir;
    add_directory_id(ids, top + "/.Trash/" + uid);
    add_directory_id(ids, top + "/.Trash-" + uid);
  }
  endmntent(table);
  return ids;
}

// Levels that keep their directory open while the walk is below them.
constexpr int OPEN_LEVELS = 64;

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

// The system-call half: walks the directories and writes down what it
// finds. It touches nothing the rest of the scan sees (the options are
// read only), so it may run on a thread of its own.
class Lister {
 public:
  explicit Lister(ScanContext& ctx) : ctx_(ctx), o_(ctx.options), trash_(trash_directories()) {
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
      if (child && is_trash(child.get())) {
        sub.fate = Found::PASSED;
      } else if (!child || !searchable(child.get())) {
        sub.fate = Found::DENIED;
      } else {
        begin(out, std::move(child), parent.depth + 1);
        return;
      }
    }
    path_.resize(path_length);
  }

  // A trash folder is passed like a pseudo file system.
  bool is_trash(int fd) const {
    if (trash_.empty()) return false;
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    for (const DirectoryId& id : trash_) {
      if (id.dev == st.st_dev && id.ino == st.st_ino) return true;
    }
    return false;
  }

  // path_ opened below the deepest level still open.
  UniqueFd open_deep() {
    const Level& anchor = levels_[OPEN_LEVELS - 1];
    return open_below(anchor.fd,
                      path_.substr(anchor.path_length + (anchor.path_length > 1 ? 1 : 0)));
  }

  ScanContext& ctx_;
  const ScanOptions& o_;
  const std::vector<DirectoryId> trash_;
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

class OnTheWalksThread : public WalkLister {
 public:
  explicit OnTheWalksThread(ScanContext& ctx) : lister_(ctx) {}
  Batch& next() override {
    lister_.fill(batch_);
    return batch_;
  }
  void give_back(Batch& batch) override { batch.clear(); }

 private:
  Lister lister_;
  Batch batch_;
};

class OnItsOwnThread : public WalkLister {
 public:
  explicit OnItsOwnThread(ScanContext& ctx) : thread_(ctx) {}
  Batch& next() override { return *thread_.take(); }
  void give_back(Batch& batch) override { thread_.give_back(&batch); }

 private:
  ListerThread thread_;
};

}  // namespace

std::unique_ptr<WalkLister> make_walk_lister(ScanContext& ctx, WalkThreads threads) {
  if (threads == WalkThreads::TWO) return std::make_unique<OnItsOwnThread>(ctx);
  return std::make_unique<OnTheWalksThread>(ctx);
}
