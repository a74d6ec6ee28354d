#include "settings/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "settings/settings_record.h"

namespace {

// Reads until `size` bytes or end of file; returns the count read, -1 on error.
ssize_t read_fully(int fd, char* buf, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = read(fd, buf + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

// Follows symbolic links from `name` (at most 8) into `out`: the file the
// record really lives in, so a link the user made keeps pointing at it.
// Async-signal-safe: readlink and string copies only.
bool resolve_links(const char* name, char* out, std::size_t out_size) {
  std::size_t len = std::strlen(name);
  if (len + 1 > out_size) return false;
  std::memcpy(out, name, len + 1);
  for (int hops = 0; hops < 8; ++hops) {
    char target[PATH_MAX];
    ssize_t n = readlink(out, target, sizeof target - 1);
    if (n < 0) return true;  // not a link (or not there): this is the file
    target[n] = '\0';
    if (target[0] == '/') {
      if (static_cast<std::size_t>(n) + 1 > out_size) return false;
      std::memcpy(out, target, static_cast<std::size_t>(n) + 1);
    } else {
      // Relative to the link's own directory.
      char* slash = std::strrchr(out, '/');
      std::size_t dir = slash ? static_cast<std::size_t>(slash - out) + 1 : 0;
      if (dir + static_cast<std::size_t>(n) + 1 > out_size) return false;
      std::memcpy(out + dir, target, static_cast<std::size_t>(n) + 1);
    }
  }
  errno = ELOOP;
  return false;
}

}  // namespace

namespace {

// The record from the open file `fd`; errno tells why not.
bool read_open_record(int fd, void* record, std::size_t size) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return false;
  }
  // Header check: the 22 header characters and their NUL, so at least 23 bytes.
  char header[RECORD_MAGIC_SIZE];
  ssize_t got = read_fully(fd, header, sizeof header);
  if (got < static_cast<ssize_t>(sizeof RECORD_MAGIC) ||
      std::memcmp(header, RECORD_MAGIC, sizeof RECORD_MAGIC) != 0) {
    errno = 0;  // there, but not ours
    return false;
  }
  return lseek(fd, 0, SEEK_SET) == 0 && read_fully(fd, static_cast<char*>(record), size) >= 0;
}

// Writes all `size` bytes, going on after an interrupted or short write.
bool write_fully(int fd, const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool read_record_file(const char* name, void* record, std::size_t size) {
  // O_NONBLOCK: a FIFO at the name must never hold the program up; anything
  // but a regular file counts as no file.
  int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = read_open_record(fd, record, size);
  int error = errno;
  close(fd);
  errno = error;
  return ok;
}

bool record_file_target(const char* name, char* out, std::size_t out_size) {
  return resolve_links(name, out, out_size);
}

bool write_record_file(const char* name, const void* record, std::size_t size,
                       RecordWriteStep* failed) {
  // No snprintf here: this runs inside a signal handler.
  RecordWriteStep ignored;
  RecordWriteStep& step = failed != nullptr ? *failed : ignored;
  step = RecordWriteStep::TARGET;
  char target[PATH_MAX];
  if (!resolve_links(name, target, sizeof target - 4)) return false;

  // A file the user cannot write is left alone, as the plain open for
  // writing would leave it; a replaced file keeps its mode. A new file is
  // made as any program's new file is: 0666 with the umask taken off by the
  // kernel (the umask cannot be read without changing it, which is no
  // business of a signal handler's).
  bool replaced = false;
  mode_t mode = 0;
  struct stat st;
  if (lstat(target, &st) == 0) {
    if (access(target, W_OK) != 0) return false;
    if (S_ISREG(st.st_mode)) {
      replaced = true;
      mode = st.st_mode & 07777;
    }
  }
  step = RecordWriteStep::TEMPORARY;

  char temp[PATH_MAX + 4];
  std::size_t len = std::strlen(target);
  std::memcpy(temp, target, len);
  std::memcpy(temp + len, ".new", 5);
  // Made afresh, never through whatever stands at that name (a link planted
  // there is removed, not followed).
  unlink(temp);
  // The bytes of a replaced file stay as private as they were while they
  // are written: its copy starts at 0600 and takes the old mode at the end.
  int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, replaced ? 0600 : 0666);
  if (fd < 0) return false;
  bool ok = write_fully(fd, static_cast<const char*>(record), size) &&
            (!replaced || fchmod(fd, mode) == 0);
  if (!ok) {
    int error = errno;
    close(fd);
    errno = error;
  } else {
    ok = close(fd) == 0;
  }
  if (ok) {
    step = RecordWriteStep::RENAME;
    ok = rename(temp, target) == 0;
  }
  if (ok) {
    step = RecordWriteStep::NONE;
  } else {
    int error = errno;  // the reason is the caller's to tell
    unlink(temp);
    errno = error;
  }
  return ok;
}
