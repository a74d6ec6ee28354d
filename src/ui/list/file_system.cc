#include "ui/list/file_system.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ui/list/deletion_log.h"
#include "ui/list/desktop_trash.h"

UniqueFd open_parent_directory(const std::string& path, std::string& name, bool use_openat2) {
  std::size_t slash = path.rfind('/');
  if (path.empty() || path[0] != '/' || slash == path.size() - 1) {
    errno = EINVAL;
    return UniqueFd();
  }
  name = path.substr(slash + 1);
  if (name == "." || name == "..") {
    errno = EINVAL;
    return UniqueFd();
  }
  std::string dir = slash == 0 ? "/" : path.substr(0, slash);

  if (use_openat2) {
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd = syscall(SYS_openat2, AT_FDCWD, dir.c_str(), &how, sizeof how);
    if (fd >= 0) return UniqueFd(static_cast<int>(fd));
    // Only a kernel (or a sandbox) without openat2 falls back; a symbolic
    // link on the way (ELOOP) is an answer.
    if (errno != ENOSYS && errno != EPERM) return UniqueFd();
  }

  // With O_PATH and O_NOFOLLOW a symbolic link would open as the link
  // itself; O_DIRECTORY then refuses it (ENOTDIR).
  UniqueFd fd(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  std::size_t start = 1;
  while (fd && start < dir.size()) {
    std::size_t end = dir.find('/', start);
    if (end == std::string::npos) end = dir.size();
    std::string component = dir.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;
    fd.reset(openat(fd.get(), component.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return fd;
}

namespace {

// The outcome of looking for the scanned file: DONE when `name` in `dir`
// is still it.
FileOutcome find_scanned_file(const std::string& path, const FileIdentity& seen, UniqueFd& dir,
                              std::string& name) {
  if (!seen.known()) return {FileOutcome::CHANGED, ""};
  dir = open_parent_directory(path, name);
  struct stat st;
  if (!dir || fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    // A path that leads nowhere now is a change; a refusal is a failure.
    if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return {FileOutcome::CHANGED, ""};
    return {FileOutcome::FAILED, std::strerror(errno)};
  }
  if (!still_the_same(seen, identity_of(st))) return {FileOutcome::CHANGED, ""};
  return {FileOutcome::DONE, ""};
}

}  // namespace

bool DiskFileSystem::unchanged(const std::string& path, const FileIdentity& seen) {
  UniqueFd dir;
  std::string name;
  return find_scanned_file(path, seen, dir, name).kind == FileOutcome::DONE;
}

FileOutcome DiskFileSystem::remove(const std::string& path, const FileIdentity& seen) {
  UniqueFd dir;
  std::string name;
  FileOutcome found = find_scanned_file(path, seen, dir, name);
  if (found.kind != FileOutcome::DONE) return found;
  if (unlinkat(dir.get(), name.c_str(), 0) != 0) {
    if (errno == ENOENT) return {FileOutcome::CHANGED, ""};
    return {FileOutcome::FAILED, std::strerror(errno)};
  }
  return {FileOutcome::DONE, ""};
}

FileOutcome DiskFileSystem::move_to_trash(const std::string& path, const FileIdentity& seen) {
  UniqueFd dir;
  std::string name;
  FileOutcome found = find_scanned_file(path, seen, dir, name);
  if (found.kind != FileOutcome::DONE) return found;
  if (after_trash_check) after_trash_check();
  // Through the directory just checked, never by the path again: the path
  // may lead somewhere else by now.
  return trash_entry(dir.get(), name, path, seen);
}

bool DiskFileSystem::append_to_log(const std::string& log_file, const std::string& line) {
  return append_to_deletion_log(log_file.c_str(), line);
}

bool DiskFileSystem::same_file(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  auto look = [](const std::string& path, struct stat& st) {
    std::string name;
    UniqueFd dir = open_parent_directory(path, name);
    return dir && fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  };
  return look(a, sa) && look(b, sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
