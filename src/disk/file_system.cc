#include "disk/file_system.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "core/hard_links.h"
#include "core/shared_blocks.h"
#include "disk/byte_compare.h"
#include "disk/desktop_trash.h"
#include "list_text/deletion_log.h"

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

namespace {

// A file about to go: its checked directory, its name there, and the file
// itself opened (for reading when it is to be compared, else O_PATH, which
// also opens a symbolic link itself) and checked against the scan.
struct CheckedFile {
  UniqueFd dir;
  std::string name;
  UniqueFd fd;
  struct stat st {};
};

FileOutcome open_checked_file(const std::string& path, const FileIdentity& seen, bool for_reading,
                              CheckedFile& file) {
  FileOutcome found = find_scanned_file(path, seen, file.dir, file.name);
  if (found.kind != FileOutcome::DONE) return found;
  const int flags = for_reading ? O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC
                                : O_PATH | O_NOFOLLOW | O_CLOEXEC;
  file.fd.reset(openat(file.dir.get(), file.name.c_str(), flags));
  if (!file.fd) {
    if (errno == ENOENT || errno == ELOOP) return {FileOutcome::CHANGED, ""};
    return {FileOutcome::FAILED, std::strerror(errno)};
  }
  if (fstat(file.fd.get(), &file.st) != 0) return {FileOutcome::FAILED, std::strerror(errno)};
  if (!still_the_same(seen, identity_of(file.st))) return {FileOutcome::CHANGED, ""};
  return {FileOutcome::DONE, ""};
}

// Compares the checked file with the copies that stay, one after another,
// until one holds the same bytes: DONE (`kept` names it), CONTENTS_DIFFER
// when every copy that could be compared differs, KEPT_CHANGED when none is
// still the file the scan saw. A copy is opened through its link-free
// directory and checked against its scan identity like the file itself;
// another name of the file itself is no copy.
FileOutcome compare_with_staying(const CheckedFile& file, const FileIdentity& seen,
                                 const StayingCopies& staying) {
  if (staying.last_copy || seen.is_symlink()) return {FileOutcome::DONE, ""};
  std::string differs_from, read_failure;
  for (const StayingCopy& copy : staying.copies) {
    std::string name;
    UniqueFd dir = open_parent_directory(copy.path, name);
    if (!dir) continue;
    UniqueFd fd(openat(dir.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        !still_the_same(copy.seen, identity_of(st))) {
      continue;
    }
    if (one_file(identity_of(st), identity_of(file.st))) continue;  // another name of itself
    bool error = false;
    const bool same = st.st_size == file.st.st_size && same_bytes(file.fd.get(), fd.get(), error);
    if (error) {
      if (read_failure.empty()) read_failure = std::strerror(errno);
      continue;
    }
    // A copy written to while it was read is not the one the scan saw.
    if (fstat(fd.get(), &st) != 0 || !still_the_same(copy.seen, identity_of(st))) continue;
    if (same) {
      FileOutcome done{FileOutcome::DONE, ""};
      done.kept = copy.path;
      return done;
    }
    if (differs_from.empty()) differs_from = copy.path;
  }
  if (!differs_from.empty()) {
    FileOutcome differ{FileOutcome::CONTENTS_DIFFER, ""};
    differ.kept = differs_from;
    return differ;
  }
  if (!read_failure.empty()) return {FileOutcome::FAILED, read_failure};
  return {FileOutcome::KEPT_CHANGED, ""};
}

// Everything before a removal: the file still the scanned one, its bytes
// compared with a copy that stays, and then the file and its name still
// the ones compared (a write during the comparison moves its times).
FileOutcome check_file_to_remove(const std::string& path, const FileIdentity& seen,
                                 const StayingCopies& staying, CheckedFile& file,
                                 const std::function<void()>& before_comparing) {
  const bool compare = !staying.last_copy && !seen.is_symlink();
  FileOutcome checked = open_checked_file(path, seen, compare, file);
  if (checked.kind != FileOutcome::DONE) return checked;
  if (before_comparing) before_comparing();
  FileOutcome compared = compare_with_staying(file, seen, staying);
  if (compared.kind != FileOutcome::DONE) return compared;
  struct stat now;
  if (fstat(file.fd.get(), &now) != 0 || !still_the_same(seen, identity_of(now)) ||
      fstatat(file.dir.get(), file.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
      now.st_dev != file.st.st_dev || now.st_ino != file.st.st_ino) {
    return {FileOutcome::CHANGED, ""};
  }
  return compared;
}

// The file as its other names see it once one name went.
FileIdentity remaining_names(const CheckedFile& file) {
  struct stat st;
  if (fstat(file.fd.get(), &st) != 0 || st.st_nlink == 0) return {};
  return identity_of(st);
}

}  // namespace

FileOutcome DiskFileSystem::check_removal(const std::string& path, const FileIdentity& seen,
                                          const StayingCopies& staying) {
  CheckedFile file;
  return check_file_to_remove(path, seen, staying, file, before_comparing);
}

FileOutcome DiskFileSystem::remove(const std::string& path, const FileIdentity& seen,
                                   const StayingCopies& staying) {
  CheckedFile file;
  FileOutcome checked = check_file_to_remove(path, seen, staying, file, before_comparing);
  if (checked.kind != FileOutcome::DONE) return checked;
  if (unlinkat(file.dir.get(), file.name.c_str(), 0) != 0) {
    if (errno == ENOENT) return {FileOutcome::CHANGED, ""};
    return {FileOutcome::FAILED, std::strerror(errno)};
  }
  checked.remaining = remaining_names(file);
  return checked;
}

FileOutcome DiskFileSystem::move_to_trash(const std::string& path, const FileIdentity& seen,
                                          const StayingCopies& staying) {
  CheckedFile file;
  FileOutcome checked = check_file_to_remove(path, seen, staying, file, before_comparing);
  if (checked.kind != FileOutcome::DONE) return checked;
  if (after_trash_check) after_trash_check();
  // Through the directory just checked, never by the path again: the path
  // may lead somewhere else by now.
  FileOutcome moved = trash_entry(file.dir.get(), file.name, path, seen);
  if (moved.kind != FileOutcome::DONE) return moved;
  moved.kept = checked.kept;
  moved.remaining = remaining_names(file);
  return moved;
}

FileOutcome DiskFileSystem::restore_from_trash(const TrashedFile& trashed,
                                               const std::string& path) {
  std::string name;
  UniqueFd dir = open_parent_directory(path, name);
  if (!dir) return {FileOutcome::FAILED, std::strerror(errno)};
  return restore_entry(trashed, dir.get(), name);
}

LogWrite DiskFileSystem::append_to_log(const std::string& log_file, const std::string& line) {
  return append_to_deletion_log(log_file.c_str(), line);
}

namespace {

// A regular file opened for reading by a path that holds no symbolic link.
UniqueFd open_regular_file(const std::string& path, struct stat& st) {
  std::string name;
  UniqueFd dir = open_parent_directory(path, name);
  if (!dir) return UniqueFd();
  UniqueFd fd(openat(dir.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return UniqueFd();
  return fd;
}

}  // namespace

bool DiskFileSystem::share_blocks(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  UniqueFd fa = open_regular_file(a, sa);
  UniqueFd fb = open_regular_file(b, sb);
  return fa && fb && sa.st_dev == sb.st_dev && sa.st_size == sb.st_size &&
         share_all_blocks(block_map_of(fa.get()), block_map_of(fb.get()));
}

bool DiskFileSystem::same_contents(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  UniqueFd fa = open_regular_file(a, sa);
  UniqueFd fb = open_regular_file(b, sb);
  bool error = false;
  return fa && fb && sa.st_size == sb.st_size && same_bytes(fa.get(), fb.get(), error);
}

bool DiskFileSystem::same_file(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  auto look = [](const std::string& path, struct stat& st) {
    std::string name;
    UniqueFd dir = open_parent_directory(path, name);
    return dir && fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  };
  return look(a, sa) && look(b, sb) && one_file(identity_of(sa), identity_of(sb));
}
