// A file descriptor owned by a scope: closed when the owner goes, so no path
// out of a function can leak it. close() is async-signal-safe, so the owner
// may also be used by the record writer that runs in the shutdown handler.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <utility>

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  explicit operator bool() const { return valid(); }

  // Gives the descriptor up without closing it.
  int release() { return std::exchange(fd_, -1); }

  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

  // Closes now and reports close()'s result (a write may fail only here).
  bool close() { return ::close(release()) == 0; }

 private:
  int fd_ = -1;
};

// Writes all `size` bytes, going on after an interrupted or short write.
// Async-signal-safe. False when the system refused (errno tells why).
inline bool write_all(int fd, const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}
