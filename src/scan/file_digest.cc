#include "scan/file_digest.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <xxhash.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

struct FileReader::HashState {
  XXH3_state_t* state = XXH3_createState();
  ~HashState() { XXH3_freeState(state); }
};

namespace {

ssize_t read_some(int fd, unsigned char* buf, std::size_t size) {
  ssize_t n;
  do {
    n = read(fd, buf, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

constexpr int READ_FLAGS = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Opens a path the walk found, refusing any symbolic link on the way.
int open_walked(const char* path) {
  open_how how{};
  how.flags = READ_FLAGS;
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  long fd = syscall(SYS_openat2, AT_FDCWD, path, &how, sizeof how);
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
  return open(path, READ_FLAGS);  // a kernel without openat2
}

// The file a symbolic link leads to, opened for reading when it is a
// regular file; its size in `length`. The directory holding the link is
// reached without following any link, the link itself is followed (its
// contents are its target's). The target is first opened as a path only and
// looked at, so a link to a device or a pipe never opens it.
UniqueFd open_link_target(const char* path, std::size_t& length) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr || slash[1] == '\0') return UniqueFd();
  std::string dir(path, slash == path ? 1 : static_cast<std::size_t>(slash - path));
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  long dir_fd = syscall(SYS_openat2, AT_FDCWD, dir.c_str(), &how, sizeof how);
  if (dir_fd < 0 && (errno == ENOSYS || errno == EPERM)) {
    dir_fd = open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);  // a kernel without openat2
  }
  if (dir_fd < 0) return UniqueFd();
  UniqueFd parent(static_cast<int>(dir_fd));
  UniqueFd target(openat(parent.get(), slash + 1, O_PATH | O_CLOEXEC));
  struct stat st;
  if (!target || fstat(target.get(), &st) != 0 || !S_ISREG(st.st_mode)) return UniqueFd();
  // Reopened for reading as the very file looked at.
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", target.get());
  UniqueFd fd(open(self, READ_FLAGS & ~O_NOFOLLOW));
  struct stat opened;
  if (!fd || fstat(fd.get(), &opened) != 0 || opened.st_dev != st.st_dev ||
      opened.st_ino != st.st_ino) {
    return UniqueFd();
  }
  length = static_cast<std::size_t>(opened.st_size);
  return fd;
}

}  // namespace

FileReader::FileReader()
    : buffer_(std::make_unique_for_overwrite<unsigned char[]>(BUFFER_SIZE)),
      hash_(std::make_unique<HashState>()) {}

FileReader::~FileReader() = default;

// A regular file is opened (`fd`, `length` its size: the walk's, else the
// open file's), and so is the regular file a symbolic link leads to (its
// size as it is now); anything else is unreadable.
bool FileReader::open_contents(const char* path, FileSeen seen, UniqueFd& fd, std::size_t& length) {
  if (seen.type == S_IFLNK) {
    fd = open_link_target(path, length);
    if (!fd) return false;
  } else if (seen.type == S_IFREG) {
    fd.reset(open_walked(path));
    if (!fd || seen.size < 0) return false;
    length = static_cast<std::size_t>(seen.size);
  } else if (seen.type != 0) {
    return false;  // never opened
  } else {
    // Not seen by a walk: look at what was opened. O_NONBLOCK: opening a
    // pipe must never wait for a writer.
    fd.reset(open(path, READ_FLAGS));
    if (!fd && errno == ELOOP) fd = open_link_target(path, length);
    if (!fd) return false;
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    length = static_cast<std::size_t>(st.st_size);
  }
  // Larger reads ahead help a long file that is not in the cache yet.
  if (length > BUFFER_SIZE) posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

FileDigest FileReader::digest_of_buffer(std::size_t length) {
  FileDigest d;
  d.ok = true;
  d.bytes = static_cast<std::int64_t>(length);
  d.crc = libdeflate_crc32(0, buffer_.get(), length);
  XXH128_hash_t h = XXH3_128bits(buffer_.get(), length);
  d.hash_high = h.high64;
  d.hash_low = h.low64;
  return d;
}

FileDigest FileReader::digest(const char* path, bool with_hash, bool (*keep_going)(const void*),
                              const void* arg, FileSeen seen) {
  UniqueFd fd;
  std::size_t length;
  if (!open_contents(path, seen, fd, length)) return FileDigest{};

  XXH3_state_t* state = hash_->state;
  if (with_hash) XXH3_128bits_reset(state);
  FileDigest d;
  std::uint32_t crc = 0;
  for (;;) {
    ssize_t n = read_some(fd.get(), buffer_.get(), BUFFER_SIZE);
    if (n < 0 || (keep_going != nullptr && !keep_going(arg)))
      return FileDigest{false, 0, d.bytes, 0, 0};
    if (n == 0) break;
    crc = libdeflate_crc32(crc, buffer_.get(), static_cast<std::size_t>(n));
    if (with_hash) XXH3_128bits_update(state, buffer_.get(), static_cast<std::size_t>(n));
    d.bytes += n;
    // Longer than its size: it has changed since it was looked at.
    if (static_cast<std::size_t>(d.bytes) > length) return FileDigest{false, 0, d.bytes, 0, 0};
    // A short read that brings the file to its size is its end: no need to
    // ask once more for the empty read that says so.
    if (static_cast<std::size_t>(n) < BUFFER_SIZE && static_cast<std::size_t>(d.bytes) == length) {
      break;
    }
  }
  // Shorter than its size: changed as well.
  if (static_cast<std::size_t>(d.bytes) != length) return FileDigest{false, 0, d.bytes, 0, 0};
  d.ok = true;
  d.crc = crc;
  if (with_hash) {
    XXH128_hash_t h = XXH3_128bits_digest(state);
    d.hash_high = h.high64;
    d.hash_low = h.low64;
  }
  return d;
}

FileProbe FileReader::probe(const char* path, std::size_t limit, FileSeen seen) {
  FileProbe probe;
  if (limit >= BUFFER_SIZE) limit = BUFFER_SIZE - 1;

  UniqueFd fd;
  std::size_t length = 0;
  std::size_t got = 0;
  bool at_end = false;
  if (!open_contents(path, seen, fd, length)) return probe;
  // One byte more than the limit tells whether the file ends within it.
  while (got <= limit) {
    std::size_t want = limit + 1 - got;
    ssize_t n = read_some(fd.get(), buffer_.get() + got, want);
    if (n < 0) return probe;
    got += static_cast<std::size_t>(n);
    // The empty read, or a short one that brings the file to its size.
    if (n == 0 || (static_cast<std::size_t>(n) < want && got >= length)) {
      at_end = true;
      break;
    }
  }
  // Ended elsewhere than at its size, or went on past it: changed.
  if (at_end ? got != length : length <= limit) return probe;
  probe.readable = true;
  if (at_end) {
    // The whole file is in hand: its digest is the probe's answer. A file
    // that ends within the limit never shares contents with one that does
    // not, so the two kinds of probe hash need not be comparable.
    probe.complete = true;
    probe.whole = digest_of_buffer(got);
    probe.hash = probe.whole.hash_low;
  } else {
    probe.hash = XXH3_64bits(buffer_.get(), limit);
  }
  return probe;
}
