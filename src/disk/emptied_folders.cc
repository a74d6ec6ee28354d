#include "disk/emptied_folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/unique_fd.h"
#include "disk/file_system.h"

namespace {

std::string without_trailing_slashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string parent_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

constexpr int DIR_FLAGS = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Whether the directory open at `fd` holds no entry.
bool holds_nothing(Fd& fd) {
  DIR* dir = fdopendir(fd.get());
  if (dir == nullptr) return false;
  fd.release();
  bool empty = true;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  closedir(dir);
  return empty;
}

// Removes `folder` when it is a directory (not a link) holding nothing;
// its mode in `mode`.
bool remove_if_empty(const std::string& folder, mode_t& mode) {
  // The parent as the delete commands reach a file's: through no symbolic
  // link in any component.
  std::string name;
  const UniqueFd parent_fd = open_parent_directory(folder, name);
  if (!parent_fd.valid() || name.empty()) return false;
  Fd fd(openat(parent_fd.get(), name.c_str(), DIR_FLAGS));
  if (fd.get() < 0) return false;  // gone, or not a directory now (a link)
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  mode = st.st_mode & 07777;
  if (!holds_nothing(fd)) return false;
  // AT_REMOVEDIR removes only an empty directory, never a link, so what
  // changed since the check is refused here.
  return unlinkat(parent_fd.get(), name.c_str(), AT_REMOVEDIR) == 0;
}

}  // namespace

EmptiedFolders::EmptiedFolders(std::vector<std::string> top_folders) {
  std::vector<std::string> tops;
  for (auto& top : top_folders)
    if (!top.empty()) tops.push_back(without_trailing_slashes(std::move(top)));
  scanned_ = [tops = std::move(tops)](const std::string& folder) {
    for (const auto& top : tops) {
      if (folder == top) return true;
      if (folder.size() <= top.size() || folder.compare(0, top.size(), top) != 0) continue;
      if (top == "/" || folder[top.size()] == '/') return true;
    }
    return false;
  };
}

void EmptiedFolders::note_removed(const std::string& file_path) {
  const std::string folder = parent_of(without_trailing_slashes(file_path));
  if (folder.empty() || !inside_top(folder)) return;
  if (std::find(folders_.begin(), folders_.end(), folder) == folders_.end())
    folders_.push_back(folder);
}

bool EmptiedFolders::inside_top(const std::string& folder) const {
  const std::string parent = parent_of(folder);
  return !parent.empty() && parent != folder && scanned_ && scanned_(parent);
}

std::vector<RemovedFolder> EmptiedFolders::remove_emptied() {
  std::vector<RemovedFolder> removed;
  std::vector<std::string> pending = std::move(folders_);
  folders_.clear();
  while (!pending.empty()) {
    // Deepest first, so that a parent is looked at after its children.
    std::sort(pending.begin(), pending.end(), [](const std::string& a, const std::string& b) {
      const auto depth = [](const std::string& s) { return std::count(s.begin(), s.end(), '/'); };
      return depth(a) != depth(b) ? depth(a) > depth(b) : a < b;
    });
    const std::string folder = pending.front();
    pending.erase(pending.begin());
    if (!inside_top(folder)) continue;
    mode_t mode = 0;
    if (!remove_if_empty(folder, mode)) continue;
    removed.push_back({folder, mode});
    const std::string parent = parent_of(folder);
    if (inside_top(parent) && std::find(pending.begin(), pending.end(), parent) == pending.end())
      pending.push_back(parent);
  }
  return removed;
}

void recreate_folders(const std::vector<RemovedFolder>& removed) {
  for (auto it = removed.rbegin(); it != removed.rend(); ++it) {
    if (mkdir(it->path.c_str(), 0700) != 0) continue;
    // Its mode through the folder just made, never through a link put in
    // its place since.
    Fd fd(open(it->path.c_str(), DIR_FLAGS));
    if (fd.get() >= 0) fchmod(fd.get(), it->mode);
  }
}
