#include "scan/file_digest.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <cerrno>
#include <climits>

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

}  // namespace

FileReader::FileReader()
    : buffer_(std::make_unique_for_overwrite<unsigned char[]>(BUFFER_SIZE)),
      hash_(std::make_unique<HashState>()) {}

FileReader::~FileReader() = default;

// A regular file is opened (`fd`, `length` its size: the walk's, else the
// open file's); a symbolic link's text is put into the buffer (`length` its
// length); anything else is unreadable.
FileReader::Contents FileReader::open_contents(const char* path, FileSeen seen, UniqueFd& fd,
                                               std::size_t& length) {
  auto link_text = [&] {
    ssize_t n = readlink(path, reinterpret_cast<char*>(buffer_.get()), PATH_MAX);
    if (n < 0) return Contents::UNREADABLE;
    length = static_cast<std::size_t>(n);
    return Contents::LINK;
  };
  if (seen.type == S_IFLNK) return link_text();
  if (seen.type == S_IFREG) {
    fd.reset(open_walked(path));
    if (!fd || seen.size < 0) return Contents::UNREADABLE;
    length = static_cast<std::size_t>(seen.size);
  } else if (seen.type != 0) {
    return Contents::UNREADABLE;  // never opened
  } else {
    // Not seen by a walk: look at what was opened. O_NONBLOCK: opening a
    // pipe must never wait for a writer.
    fd.reset(open(path, READ_FLAGS));
    if (!fd) return errno == ELOOP ? link_text() : Contents::UNREADABLE;
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return Contents::UNREADABLE;
    length = static_cast<std::size_t>(st.st_size);
  }
  // Larger reads ahead help a long file that is not in the cache yet.
  if (length > BUFFER_SIZE) posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return Contents::FILE;
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
  switch (open_contents(path, seen, fd, length)) {
    case Contents::UNREADABLE:
      return FileDigest{};
    case Contents::LINK:
      return digest_of_buffer(length);
    case Contents::FILE:
      break;
  }

  XXH3_state_t* state = hash_->state;
  if (with_hash) XXH3_128bits_reset(state);
  FileDigest d;
  std::uint32_t crc = 0;
  for (;;) {
    ssize_t n = read_some(fd.get(), buffer_.get(), BUFFER_SIZE);
    if (n < 0 || (keep_going != nullptr && !keep_going(arg))) return FileDigest{false, 0, d.bytes, 0, 0};
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
  switch (open_contents(path, seen, fd, length)) {
    case Contents::UNREADABLE:
      return probe;
    case Contents::LINK:
      got = length;
      at_end = true;  // a link's text is read whole
      break;
    case Contents::FILE:
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
      break;
  }
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
