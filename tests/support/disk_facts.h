// What a test asks of the disk: a file's identity as the scan takes it,
// whether a name exists, its inode, the names in a directory, whether a
// file system can clone, and a file's extended attributes (an access list
// among them).
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/row_texts.h"
#include "support/temp_dir.h"

namespace test {

inline FileIdentity identity_at(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return identity_of(st);
}

inline bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

inline ino_t inode_of(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_ino;
}

// The names in a directory, sorted; none when it can not be read.
inline std::set<std::string> names_in(const std::string& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(dir, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    names.insert(it->path().filename().string());
  }
  return names;
}

// Whether the file system of `dir` can clone a file (FICLONE).
inline bool can_clone_in(const std::string& dir) {
  const std::string a = dir + "/.probe-a", b = dir + "/.probe-b";
  write_file(a, "probe");
  write_file(b, "");
  int from = open(a.c_str(), O_RDONLY | O_CLOEXEC), to = open(b.c_str(), O_WRONLY | O_CLOEXEC);
  const bool can = from >= 0 && to >= 0 && ioctl(to, FICLONE, from) == 0;
  if (from >= 0) close(from);
  if (to >= 0) close(to);
  unlink(a.c_str());
  unlink(b.c_str());
  return can;
}

// The bytes of an access list as the attribute system.posix_acl_access
// holds them: the permissions (0-7) of the owner, the group and others, and
// of each named user (by uid) in `users`.
inline std::string access_list(unsigned owner, unsigned group, unsigned other,
                               const std::vector<std::pair<std::uint32_t, unsigned>>& users = {}) {
  std::string bytes;
  auto put = [&](std::uint32_t value, int size) {
    for (int k = 0; k < size; ++k) bytes.push_back(static_cast<char>((value >> (8 * k)) & 0xFF));
  };
  auto entry = [&](std::uint16_t tag, unsigned permissions, std::uint32_t id) {
    put(tag, 2);
    put(permissions, 2);
    put(id, 4);
  };
  const std::uint32_t NO_ID = 0xFFFFFFFFu;
  put(2, 4);  // the format's version
  entry(0x01, owner, NO_ID);
  unsigned mask = group;
  for (const auto& [uid, permissions] : users) {
    entry(0x02, permissions, uid);
    mask |= permissions;
  }
  entry(0x04, group, NO_ID);
  if (!users.empty()) entry(0x10, mask, NO_ID);
  entry(0x20, other, NO_ID);
  return bytes;
}

// Every extended attribute of the file `path` (no link followed), by name.
inline std::map<std::string, std::string> attributes_of(const std::string& path) {
  std::map<std::string, std::string> attributes;
  char names[4096];
  const ssize_t size = llistxattr(path.c_str(), names, sizeof names);
  for (ssize_t at = 0; at < size; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    char value[4096];
    const ssize_t n = lgetxattr(path.c_str(), names + at, value, sizeof value);
    attributes[names + at] =
        n < 0 ? "(unreadable)" : std::string(value, static_cast<std::size_t>(n));
  }
  return attributes;
}

// Sets the extended attribute `name` of `path` to `value`; false (errno
// set) when its file system refuses.
inline bool set_attribute(const std::string& path, const std::string& name,
                          const std::string& value) {
  return lsetxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) == 0;
}

}  // namespace test
