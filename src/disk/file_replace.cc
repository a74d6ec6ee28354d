// Replacing a copy by a hard link to the kept copy, or by a copy-on-write
// clone of it, without ever losing the name or the data:
//
//   1. both files are opened through their link-free directories and must
//      be the files the scan saw (device, inode, size, times, type);
//   2. they must lie on one file system (a link or a clone can not cross),
//      and the file must not be empty (nothing would be freed, and empty
//      files that have nothing to do with each other would become one);
//      nor, for a clone, share every block with the kept copy already (a
//      clone made before: nothing would be freed);
//   3. a link gives the name the kept copy's owner, group, mode and access
//      list: it is made only where those are the file's own already, so
//      nobody may read (or write) through the name who could not before;
//   4. their contents are compared byte for byte, through the very
//      descriptors that were checked (never a hash: a user frees space on
//      the word of this comparison);
//   5. the link (or the clone, with the file's owner, extended attributes —
//      its access list among them —, mode and times, or no clone at all) is
//      made under a temporary name in the file's directory, and renamed over
//      the file's name: the name always names a whole file with the same
//      bytes. Any failure removes the temporary name and leaves the file.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "core/hard_links.h"
#include "core/shared_blocks.h"
#include "disk/byte_compare.h"
#include "disk/file_system.h"

namespace {

// A regular file `name` of the directory `dir`, opened for reading without
// following a link, and what it is.
UniqueFd open_file_in(int dir, const std::string& name, struct stat& st) {
  UniqueFd fd(openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return UniqueFd();
  return fd;
}

// Whether a file's size and modification time are still those seen.
bool same_data_times(const FileIdentity& seen, const FileIdentity& now) {
  if (seen.size_only()) return now.size == seen.size;
  return now.size == seen.size && now.mtime_sec == seen.mtime_sec &&
         now.mtime_nsec == seen.mtime_nsec;
}

// Whether a file system answered that it keeps no extended attributes (or
// none of that name).
bool no_such_attribute(int error) { return error == ENODATA || error == ENOTSUP; }

// The extended attribute `name` of the open file into `value`; `present`
// false when the file has none of that name. False when it can not be read.
bool attribute_of(int fd, const char* name, std::string& value, bool& present) {
  present = false;
  value.clear();
  for (int tries = 0; tries < 8; ++tries) {
    ssize_t size = fgetxattr(fd, name, nullptr, 0);
    if (size < 0) return no_such_attribute(errno);
    value.resize(static_cast<std::size_t>(size));
    size = fgetxattr(fd, name, value.data(), value.size());
    if (size >= 0) {
      value.resize(static_cast<std::size_t>(size));
      present = true;
      return true;
    }
    if (errno != ERANGE) return no_such_attribute(errno);  // grown since: ask again
  }
  return false;
}

// The names of the open file's extended attributes, sorted; false when they
// can not be listed.
bool attribute_names(int fd, std::vector<std::string>& names) {
  names.clear();
  std::string list;
  for (int tries = 0;; ++tries) {
    ssize_t size = flistxattr(fd, nullptr, 0);
    if (size < 0) return errno == ENOTSUP;
    list.resize(static_cast<std::size_t>(size));
    size = flistxattr(fd, list.data(), list.size());
    if (size >= 0) {
      list.resize(static_cast<std::size_t>(size));
      break;
    }
    if (errno != ERANGE || tries == 8) return false;
  }
  for (std::size_t at = 0; at < list.size();) {
    const std::size_t end = list.find('\0', at);
    const std::size_t stop = end == std::string::npos ? list.size() : end;
    if (stop > at) names.push_back(list.substr(at, stop - at));
    at = stop + 1;
  }
  std::sort(names.begin(), names.end());
  return true;
}

const char* const ACCESS_LIST = "system.posix_acl_access";

// Whether a name of the open file `b` would let the same people read and
// write as a name of `a` does: one owner, group, mode and access list.
bool same_access_of(int a, const struct stat& sa, int b, const struct stat& sb) {
  if (sa.st_uid != sb.st_uid || sa.st_gid != sb.st_gid ||
      (sa.st_mode & 07777) != (sb.st_mode & 07777)) {
    return false;
  }
  std::string list_a, list_b;
  bool has_a = false, has_b = false;
  return attribute_of(a, ACCESS_LIST, list_a, has_a) &&
         attribute_of(b, ACCESS_LIST, list_b, has_b) && has_a == has_b && list_a == list_b;
}

// Gives the open file `to` exactly the extended attributes of the open file
// `from`: each of `from`'s copied, and any `to` got by itself (an access
// list inherited from its directory) taken away. False, with errno set,
// when one of them can not be.
bool copy_attributes(int from, int to) {
  std::vector<std::string> names, had;
  if (!attribute_names(from, names) || !attribute_names(to, had)) {
    if (errno == 0) errno = EIO;
    return false;
  }
  for (const std::string& name : had) {
    if (std::binary_search(names.begin(), names.end(), name)) continue;
    if (fremovexattr(to, name.c_str()) != 0) return false;
  }
  for (const std::string& name : names) {
    std::string value;
    bool present = false;
    if (!attribute_of(from, name.c_str(), value, present)) return false;
    if (!present) continue;  // taken away since the listing
    if (fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0) return false;
  }
  return true;
}

// A name for the new link or clone beside the file, not taken now.
std::string temporary_name(std::mt19937_64& random) {
  char name[64];
  std::snprintf(name, sizeof name, ".pm-replace-%016llx~",
                static_cast<unsigned long long>(random()));
  return name;
}

}  // namespace

bool DiskFileSystem::same_access(const std::string& a, const std::string& b) {
  std::string name_a, name_b;
  UniqueFd dir_a = open_parent_directory(a, name_a);
  UniqueFd dir_b = open_parent_directory(b, name_b);
  if (!dir_a || !dir_b) return false;
  struct stat sa, sb;
  UniqueFd fa = open_file_in(dir_a.get(), name_a, sa);
  UniqueFd fb = open_file_in(dir_b.get(), name_b, sb);
  return fa && fb && same_access_of(fa.get(), sa, fb.get(), sb);
}

ReplaceOutcome DiskFileSystem::replace_with_copy(const std::string& path, const FileIdentity& seen,
                                                 const std::string& kept,
                                                 const FileIdentity& kept_seen, Replacement how) {
  // 1. Both files, as the scan saw them, through link-free directories.
  std::string name, kept_name;
  UniqueFd dir = open_parent_directory(path, name);
  if (!dir) return {ReplaceOutcome::CHANGED, ""};
  UniqueFd kept_dir = open_parent_directory(kept, kept_name);
  if (!kept_dir) return {ReplaceOutcome::KEPT_CHANGED, ""};
  struct stat st, kept_st;
  UniqueFd file = open_file_in(dir.get(), name, st);
  if (!file || !still_the_same(seen, identity_of(st))) return {ReplaceOutcome::CHANGED, ""};
  UniqueFd kept_file = open_file_in(kept_dir.get(), kept_name, kept_st);
  if (!kept_file || !still_the_same(kept_seen, identity_of(kept_st))) {
    return {ReplaceOutcome::KEPT_CHANGED, ""};
  }
  if (one_file(identity_of(st), identity_of(kept_st))) {
    return {ReplaceOutcome::FAILED, "Already The Same File"};
  }

  // 2. One file system, and something to free.
  if (st.st_dev != kept_st.st_dev) return {ReplaceOutcome::OTHER_FILE_SYSTEM, ""};
  if (st.st_size == 0) return {ReplaceOutcome::EMPTY, ""};
  if (how == Replacement::CLONE &&
      share_all_blocks(block_map_of(file.get()), block_map_of(kept_file.get()))) {
    return {ReplaceOutcome::ALREADY_SHARED, ""};  // cloned before: nothing left to free
  }

  // 3. A link may not open the file to anyone new.
  if (how == Replacement::HARD_LINK && !same_access_of(file.get(), st, kept_file.get(), kept_st)) {
    return {ReplaceOutcome::ACCESS_DIFFERS, ""};
  }

  // 4. The same bytes.
  bool read_error = false;
  if (st.st_size != kept_st.st_size || !same_bytes(file.get(), kept_file.get(), read_error)) {
    if (read_error) return {ReplaceOutcome::FAILED, std::strerror(errno)};
    return {ReplaceOutcome::CONTENTS_DIFFER, ""};
  }

  // 5. The new name beside the file, then over it.
  std::mt19937_64 random(std::random_device{}());
  std::string temp;
  if (how == Replacement::HARD_LINK) {
    // The link is made to the very file checked: through its descriptor.
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", kept_file.get());
    const bool proc = access("/proc/self/fd", X_OK) == 0;
    for (int tries = 0;; ++tries) {
      temp = temporary_name(random);
      if (proc) {
        if (linkat(AT_FDCWD, self, dir.get(), temp.c_str(), AT_SYMLINK_FOLLOW) == 0) break;
      } else {
        // Without /proc: by its name in its checked directory, checked again.
        struct stat again;
        if (fstatat(kept_dir.get(), kept_name.c_str(), &again, AT_SYMLINK_NOFOLLOW) != 0 ||
            !still_the_same(kept_seen, identity_of(again))) {
          return {ReplaceOutcome::KEPT_CHANGED, ""};
        }
        if (linkat(kept_dir.get(), kept_name.c_str(), dir.get(), temp.c_str(), 0) == 0) break;
      }
      if (errno == EEXIST && tries < 16) continue;
      if (errno == EXDEV) return {ReplaceOutcome::OTHER_FILE_SYSTEM, ""};
      return {ReplaceOutcome::FAILED, std::strerror(errno)};
    }
  } else {
    UniqueFd clone;
    for (int tries = 0;; ++tries) {
      temp = temporary_name(random);
      clone.reset(openat(dir.get(), temp.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
      if (clone) break;
      if (errno == EEXIST && tries < 16) continue;
      return {ReplaceOutcome::FAILED, std::strerror(errno)};
    }
    auto drop = [&](ReplaceOutcome::Kind kind, int error) {
      unlinkat(dir.get(), temp.c_str(), 0);
      return ReplaceOutcome{kind, std::strerror(error)};
    };
    if (ioctl(clone.get(), FICLONE, kept_file.get()) != 0) {
      int error = errno;
      bool unsupported = error == EOPNOTSUPP || error == ENOTTY || error == EINVAL ||
                         error == EXDEV || error == ENOSYS;
      return drop(unsupported ? ReplaceOutcome::NOT_SUPPORTED : ReplaceOutcome::FAILED, error);
    }
    // The file's own owner, attributes, mode and times: in this order, as a
    // new owner takes away a file's capabilities and set-id bits, and an
    // access list written sets the mode's group bits. A clone that could
    // not keep who may read it is not made.
    if (fchown(clone.get(), st.st_uid, st.st_gid) != 0) {
      return drop(errno == EPERM ? ReplaceOutcome::ATTRIBUTES_NOT_KEPT : ReplaceOutcome::FAILED,
                  errno);
    }
    if (!copy_attributes(file.get(), clone.get())) {
      return drop(ReplaceOutcome::ATTRIBUTES_NOT_KEPT, errno);
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (fchmod(clone.get(), st.st_mode & 07777) != 0 || futimens(clone.get(), times) != 0) {
      return drop(ReplaceOutcome::FAILED, errno);
    }
    if (!clone.close()) return drop(ReplaceOutcome::FAILED, errno);
  }

  // The name must still be the file compared, and the kept copy unchanged
  // (a write to it since the comparison changes its times), up to the
  // moment the name is replaced; and the rename itself may fail.
  struct stat now;
  // (A new link of the kept copy changes its ctime: for a link its size
  // and modification time tell.)
  if (fstat(kept_file.get(), &kept_st) != 0 || kept_st.st_nlink == 0 ||
      (how == Replacement::CLONE ? !still_the_same(kept_seen, identity_of(kept_st))
                                 : !same_data_times(kept_seen, identity_of(kept_st)))) {
    unlinkat(dir.get(), temp.c_str(), 0);
    return {ReplaceOutcome::KEPT_CHANGED, ""};
  }
  bool test_allows = !before_replacing_rename || before_replacing_rename();
  if (fstatat(dir.get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
      !still_the_same(seen, identity_of(now))) {
    unlinkat(dir.get(), temp.c_str(), 0);
    return {ReplaceOutcome::CHANGED, ""};
  }
  if (!test_allows || renameat(dir.get(), temp.c_str(), dir.get(), name.c_str()) != 0) {
    int error = test_allows ? errno : EIO;
    unlinkat(dir.get(), temp.c_str(), 0);
    return {ReplaceOutcome::FAILED, std::strerror(error)};
  }

  ReplaceOutcome done{ReplaceOutcome::DONE, ""};
  if (fstatat(dir.get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0) done.now = identity_of(now);
  if (fstat(kept_file.get(), &kept_st) == 0) done.kept_now = identity_of(kept_st);
  if (fstat(file.get(), &st) == 0 && st.st_nlink > 0) done.replaced_now = identity_of(st);
  return done;
}
