#include "settings/record_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/unique_fd.h"
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

}  // namespace

bool read_record_file(const char* name, void* record, std::size_t size) {
  UniqueFd fd(open(name, O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  // Header check: the 22 header characters and their NUL, so at least 23 bytes.
  char header[RECORD_MAGIC_SIZE];
  ssize_t got = read_fully(fd.get(), header, sizeof header);
  if (got < static_cast<ssize_t>(sizeof RECORD_MAGIC) ||
      std::memcmp(header, RECORD_MAGIC, sizeof RECORD_MAGIC) != 0) {
    return false;
  }
  return lseek(fd.get(), 0, SEEK_SET) == 0 &&
         read_fully(fd.get(), static_cast<char*>(record), size) >= 0;
}

bool write_record_file(const char* name, const void* record, std::size_t size) {
  // No snprintf here: this runs inside a signal handler.
  char temp[256];
  std::size_t len = std::strlen(name);
  if (len + 5 > sizeof temp) return false;
  std::memcpy(temp, name, len);
  std::memcpy(temp + len, ".new", 5);

  UniqueFd fd(open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd) return false;
  bool ok = write_all(fd.get(), static_cast<const char*>(record), size);
  ok = fd.close() && ok;
  if (ok) ok = rename(temp, name) == 0;
  if (!ok) {
    int error = errno;  // the reason is the caller's to tell
    unlink(temp);
    errno = error;
  }
  return ok;
}
