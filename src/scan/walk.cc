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
#include "scan/walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
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

class Walker {
 public:
  explicit Walker(ScanContext& ctx) : ctx_(ctx), o_(ctx.options) {
    path_.reserve(PATH_MAX);
    file_path_.reserve(PATH_MAX);
    key_.reserve(256);
  }

  void walk_root() {
    path_.assign(1, '/');
    if (!should_enter()) return;
    UniqueFd fd(open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd || !searchable(fd.get())) {
      deny("/");
      return;
    }
    walk_directory(std::move(fd), 0);
  }

 private:
  // The include, exclude and pseudo-file-system decision for path_.
  bool should_enter() {
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
    if (!take) return false;
    if (any_mask_matches(o_.exclude_dirs, path_.c_str())) {
      ctx_.block.counters.exdirs_count.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    for (const char* never : NEVER_ENTERED) {
      if (path_ == never) return false;
    }
    return true;
  }

  static bool searchable(int fd) { return faccessat(fd, ".", X_OK, AT_EACCESS) == 0; }

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

  // Walks the directory open as `dir_fd` (whose path is path_), `depth`
  // levels below the root.
  void walk_directory(UniqueFd dir_fd, int depth) {
    ScanBlock& block = ctx_.block;
    if (block.dir_tick.load(std::memory_order_relaxed) != 0) {
      post_dir_text(block, path_.c_str());
      show_counts();
      block.dir_tick.store(0, std::memory_order_relaxed);
    }
    block.walk_depth.fetch_add(1, std::memory_order_relaxed);
    if (depth < OPEN_LEVELS) {
      walk_keeping_open(std::move(dir_fd), depth);
    } else {
      walk_deep(std::move(dir_fd), depth);
    }
    block.walk_depth.fetch_sub(1, std::memory_order_relaxed);
  }

  // Reads the entries while the directory stays open, entering each
  // subdirectory as it comes.
  void walk_keeping_open(UniqueFd dir_fd, int depth) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(dir_fd.get()), closedir);
    if (!dir) return;
    const int fd = dir_fd.release();  // the directory stream closes it
    anchors_.push_back({fd, path_.size()});
    read_entries(dir.get(), fd, [&](const char* name) {
      enter(name, depth, [&] { return UniqueFd(openat(fd, name, DIR_FLAGS)); });
    });
    anchors_.pop_back();
  }

  // Below the open levels: the entries are read and examined whole, the
  // directory is closed, then each subdirectory is opened afresh by its
  // path below the deepest open level.
  void walk_deep(UniqueFd dir_fd, int depth) {
    std::vector<std::string> subdirs;
    {
      std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(dir_fd.get()), closedir);
      if (!dir) return;
      const int fd = dir_fd.release();
      read_entries(dir.get(), fd, [&](const char* name) { subdirs.emplace_back(name); });
    }
    const Anchor& anchor = anchors_.back();
    for (const std::string& name : subdirs) {
      if (!walk_may_go_on(ctx_)) break;
      enter(name.c_str(), depth, [&] {
        return open_below(anchor.fd,
                          path_.substr(anchor.path_length + (anchor.path_length > 1 ? 1 : 0)));
      });
    }
  }

  // Reads the entries of the directory open as `fd` (whose path is path_):
  // the files of a directory the masks take are examined, and each
  // subdirectory is handed to `subdir(name)`.
  template <typename Subdir>
  void read_entries(DIR* dir, int fd, Subdir subdir) {
    const bool files_taken = any_mask_matches(o_.include_dirs, path_.c_str());
    while (walk_may_go_on(ctx_)) {
      dirent* entry = readdir(dir);
      if (entry == nullptr) break;
      const char* name = entry->d_name;
      if (is_dot_entry(name)) continue;
      struct stat st;
      bool is_dir;
      if (!look_at(fd, name, entry->d_type, files_taken, st, is_dir)) continue;
      if (is_dir) {
        subdir(name);
      } else if (files_taken) {
        examine_file(name, st);
      }
    }
  }

  // Counts the subdirectory `name` of path_ and, when the masks lead into
  // it, opens it with `open_child()` (path_ then names it) and walks it.
  template <typename Open>
  void enter(const char* name, int depth, Open open_child) {
    const std::size_t path_length = path_.size();
    ctx_.block.counters.dirs_count.fetch_add(1, std::memory_order_relaxed);
    if (extend_path(name) && should_enter()) {
      UniqueFd child = open_child();
      if (!child || !searchable(child.get())) {
        deny(name);
      } else {
        walk_directory(std::move(child), depth + 1);
      }
    }
    path_.resize(path_length);
  }

  static bool is_dot_entry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
  }

  // Finds whether an entry is a directory, with its lstat when the
  // directory's files are taken (or the entry type is not known). False
  // when the entry cannot be examined.
  bool look_at(int fd, const char* name, unsigned char d_type, bool files_taken, struct stat& st,
               bool& is_dir) {
    if (files_taken || d_type == DT_UNKNOWN) {
      if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
      is_dir = S_ISDIR(st.st_mode);
    } else {
      is_dir = d_type == DT_DIR;
    }
    return true;
  }

  // path_ + "/" + name; false (path_ unchanged up to the caller's resize)
  // when it would be deeper than any path the list can hold.
  bool extend_path(const char* name) {
    std::size_t name_length = std::strlen(name);
    if (path_.size() + 1 + name_length > MAX_PATH_LENGTH) return false;
    if (path_.size() > 1) path_.push_back('/');
    path_.append(name, name_length);
    return true;
  }

  void examine_file(const char* name, const struct stat& st) {
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
    std::size_t name_length = std::strlen(name);
    std::size_t separator = path_.size() > 1 ? 1 : 0;
    if (path_.size() + separator + name_length > MAX_PATH_LENGTH) return;
    file_path_.assign(path_);
    if (separator) file_path_.push_back('/');
    file_path_.append(name, name_length);

    ctx_.block.counters.files_count.fetch_add(1, std::memory_order_relaxed);
    insert_file(ctx_, ctx_.key_tree, key_, file_path_, facts_of(st, o_.time_kind), 0);
  }

  // An open level: its descriptor and the length of its path in path_.
  struct Anchor {
    int fd;
    std::size_t path_length;
  };

  ScanContext& ctx_;
  const ScanOptions& o_;
  std::string path_;       // absolute path of the directory in hand
  int denied_ticks_ = 0;   // ticks left before the counts may replace a denial
  std::string probe_;      // path_ followed by "/"
  std::string file_path_;  // absolute path of the file in hand
  std::string key_;
  std::vector<Anchor> anchors_;  // the open levels, root first
};

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

void walk_file_system(ScanContext& ctx) { Walker(ctx).walk_root(); }
