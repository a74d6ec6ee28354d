#include "disk/byte_compare.h"

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>

namespace {

// Reads as much of `size` bytes at `offset` as the file has; -1 on an error.
ssize_t read_at(int fd, char* buffer, std::size_t size, off_t offset) {
  std::size_t got = 0;
  while (got < size) {
    ssize_t n = pread(fd, buffer + got, size - got, offset + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

}  // namespace

bool same_bytes(int a, int b, bool& error) {
  // 256 KiB a read: large enough that the system calls cost little beside
  // the reading itself, small enough to stay in the caches.
  constexpr std::size_t BLOCK = 1 << 18;
  std::unique_ptr<char[]> ba(new char[BLOCK]), bb(new char[BLOCK]);
  error = false;
  for (off_t at = 0;; at += static_cast<off_t>(BLOCK)) {
    ssize_t na = read_at(a, ba.get(), BLOCK, at);
    ssize_t nb = read_at(b, bb.get(), BLOCK, at);
    if (na < 0 || nb < 0) {
      error = true;
      return false;
    }
    if (na != nb || std::memcmp(ba.get(), bb.get(), static_cast<std::size_t>(na)) != 0) {
      return false;
    }
    if (na == 0) return true;
  }
}
