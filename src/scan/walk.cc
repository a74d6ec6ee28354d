// The walk goes only where an include mask can lead: a directory is entered
// when a directory mask matches its path or could still match a longer path
// below it, so "/home/*" walks "/", "/home" and everything under /home and
// nothing else. Files are taken only in directories a mask matches whole.
//
// Directories are opened relative to their parent (openat), never through
// chdir, and entries are examined with fstatat without following links.
// Where a directory's files are not taken, the entry type from readdir is
// enough to find its subdirectories, so those entries are not stat'ed.
#include "scan/walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <utility>

#include "core/scan_channel.h"
#include "core/unique_fd.h"
#include "scan/match_mask.h"
#include "scan/row_format.h"

namespace {

// Pseudo file systems: never entered, whatever the masks say.
constexpr const char* NEVER_ENTERED[] = {"/dev", "/proc", "/sys"};

constexpr std::size_t MAX_PATH_LENGTH = PATH_MAX - 1;

bool any_mask_matches(const std::vector<std::string>& masks, const char* text) {
  for (const std::string& mask : masks) {
    if (match_mask(mask.c_str(), text) == MASK_MATCH) return true;
  }
  return false;
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
    if (!fd) {
      post_message(ctx_.block, "Access Denied to /");
      return;
    }
    walk_open_directory(std::move(fd));
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
      ctx_.block.exdirs_count.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    for (const char* never : NEVER_ENTERED) {
      if (path_ == never) return false;
    }
    return true;
  }

  // Walks the directory open as `dir_fd` (whose path is path_).
  void walk_open_directory(UniqueFd dir_fd) {
    ScanBlock& block = ctx_.block;
    if (block.dir_tick.load(std::memory_order_relaxed) != 0) {
      post_dir_text(block, path_.c_str());
      block.dir_tick.store(0, std::memory_order_relaxed);
    }
    block.walk_depth.fetch_add(1, std::memory_order_relaxed);

    std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(dir_fd.get()), closedir);
    if (!dir) {
      block.walk_depth.fetch_sub(1, std::memory_order_relaxed);
      return;
    }
    const int fd = dir_fd.release();  // the directory stream closes it
    const bool files_taken = any_mask_matches(o_.include_dirs, path_.c_str());
    const std::size_t path_length = path_.size();

    while (walk_may_go_on(ctx_)) {
      dirent* entry = readdir(dir.get());
      if (entry == nullptr) break;
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;

      struct stat st;
      bool is_dir;
      if (files_taken || entry->d_type == DT_UNKNOWN) {
        if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        is_dir = S_ISDIR(st.st_mode);
      } else {
        is_dir = entry->d_type == DT_DIR;
      }

      if (is_dir) {
        block.dirs_count.fetch_add(1, std::memory_order_relaxed);
        enter_subdirectory(fd, name);
        path_.resize(path_length);
      } else if (files_taken) {
        examine_file(name, st);
      }
    }
    block.walk_depth.fetch_sub(1, std::memory_order_relaxed);
  }

  void enter_subdirectory(int parent_fd, const char* name) {
    std::size_t name_length = std::strlen(name);
    // Deeper than any path the list can hold: nothing below could be listed.
    if (path_.size() + 1 + name_length > MAX_PATH_LENGTH) return;
    if (path_.size() > 1) path_.push_back('/');
    path_.append(name, name_length);
    if (!should_enter()) return;

    UniqueFd fd(openat(parent_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
      char text[LABEL_TEXT_SIZE];
      std::snprintf(text, sizeof text, "Access Denied to %s", name);
      post_message(ctx_.block, text);
      return;
    }
    walk_open_directory(std::move(fd));
  }

  void examine_file(const char* name, const struct stat& st) {
    if (st.st_size < o_.min_file_size) return;
    if (o_.max_file_size > 0 && st.st_size > o_.max_file_size) return;
    if ((static_cast<std::int32_t>(st.st_mode) & o_.attr_care_mask) != o_.attr_set_mask) return;

    time_t t = chosen_file_time(st, o_.time_kind);
    struct tm local;
    if (localtime_r(&t, &local) == nullptr) return;
    int date = (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
    if (date < o_.min_date || date > o_.max_date) return;

    if (!any_mask_matches(o_.include_file_masks, name)) return;
    if (any_mask_matches(o_.exclude_file_masks, name)) {
      ctx_.block.exfiles_count.fetch_add(1, std::memory_order_relaxed);
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

    ctx_.block.files_count.fetch_add(1, std::memory_order_relaxed);
    insert_file(ctx_, ctx_.key_tree, key_, file_path_, st.st_size, 0);
  }

  ScanContext& ctx_;
  const ScanOptions& o_;
  std::string path_;       // absolute path of the directory in hand
  std::string probe_;      // path_ followed by "/"
  std::string file_path_;  // absolute path of the file in hand
  std::string key_;
};

// A deep tree keeps one directory open per level.
void allow_many_open_directories() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
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

void walk_file_system(ScanContext& ctx) {
  allow_many_open_directories();
  Walker(ctx).walk_root();
}
