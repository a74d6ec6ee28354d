// What a test asks of the disk: a file's identity as the scan takes it,
// whether a name exists, its inode, the names in a directory, and whether a
// file system can clone.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

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

}  // namespace test
