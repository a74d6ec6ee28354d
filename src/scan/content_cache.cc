#include "scan/content_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/unique_fd.h"

namespace {

constexpr char MAGIC[8] = {'P', 'M', 'C', 'C', 'A', 'C', 'H', 'E'};
constexpr std::uint32_t VERSION = 1;
constexpr std::uint32_t BYTE_ORDER_MARK = 0x01020304;
constexpr std::size_t HEADER_SIZE = 32;
constexpr std::size_t ENTRY_SIZE = 84;
constexpr std::size_t CHECKSUM_SIZE = 8;
constexpr std::uint32_t HAS_BEGINNING = 1, HAS_WHOLE = 2;
// A larger file is not a cache of ours (a million files take 84 MB).
constexpr std::size_t MAX_FILE_SIZE = std::size_t{1} << 30;

template <typename T>
void put(std::string& out, T value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
T take(const char*& at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  at += sizeof value;
  return value;
}

bool key_less(std::uint64_t dev_a, std::uint64_t ino_a, std::uint64_t dev_b, std::uint64_t ino_b) {
  return dev_a != dev_b ? dev_a < dev_b : ino_a < ino_b;
}

}  // namespace

ContentCache::ContentCache() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  settled_sec_ = now.tv_sec - SETTLE_SECONDS;
  settled_nsec_ = static_cast<std::int32_t>(now.tv_nsec);
}

ContentCache::Entry ContentCache::entry_of(const FileFacts& f) {
  Entry e;
  e.device = f.device;
  e.inode = f.inode;
  e.size = f.size;
  e.mtime_sec = f.mtime_sec;
  e.mtime_nsec = f.mtime_nsec;
  e.ctime_sec = f.ctime_sec;
  e.ctime_nsec = f.ctime_nsec;
  return e;
}

bool ContentCache::same_identity(const Entry& e, const FileFacts& f) {
  return e.device == f.device && e.inode == f.inode && e.size == f.size &&
         e.mtime_sec == f.mtime_sec && e.mtime_nsec == f.mtime_nsec && e.ctime_sec == f.ctime_sec &&
         e.ctime_nsec == f.ctime_nsec;
}

bool ContentCache::parse(std::string_view bytes) {
  entries_.clear();
  fresh_.clear();
  scan_ = 1;
  if (bytes.size() < HEADER_SIZE + CHECKSUM_SIZE || bytes.size() > MAX_FILE_SIZE) return false;
  const char* at = bytes.data();
  if (std::memcmp(at, MAGIC, sizeof MAGIC) != 0) return false;
  at += sizeof MAGIC;
  if (take<std::uint32_t>(at) != VERSION) return false;
  if (take<std::uint32_t>(at) != BYTE_ORDER_MARK) return false;
  if (take<std::uint32_t>(at) != ENTRY_SIZE) return false;
  const std::uint32_t scan = take<std::uint32_t>(at);
  const std::uint64_t count = take<std::uint64_t>(at);
  const std::size_t body = bytes.size() - HEADER_SIZE - CHECKSUM_SIZE;
  if (count > body / ENTRY_SIZE || count * ENTRY_SIZE != body) return false;
  std::uint64_t stored;
  std::memcpy(&stored, bytes.data() + bytes.size() - CHECKSUM_SIZE, sizeof stored);
  if (XXH3_64bits(bytes.data(), bytes.size() - CHECKSUM_SIZE) != stored) return false;

  std::vector<Entry> entries;
  entries.reserve(count);
  for (std::uint64_t i = 0; i < count; ++i) {
    Entry e;
    e.device = take<std::uint64_t>(at);
    e.inode = take<std::uint64_t>(at);
    e.size = take<std::int64_t>(at);
    e.mtime_sec = take<std::int64_t>(at);
    e.ctime_sec = take<std::int64_t>(at);
    e.contents.beginning_hash = take<std::uint64_t>(at);
    e.contents.hash_high = take<std::uint64_t>(at);
    e.contents.hash_low = take<std::uint64_t>(at);
    e.mtime_nsec = take<std::int32_t>(at);
    e.ctime_nsec = take<std::int32_t>(at);
    e.contents.crc = take<std::uint32_t>(at);
    e.last_scan = take<std::uint32_t>(at);
    const std::uint32_t flags = take<std::uint32_t>(at);
    if (flags == 0 || (flags & ~(HAS_BEGINNING | HAS_WHOLE)) != 0 || e.size < 0 ||
        e.last_scan > scan) {
      return false;
    }
    e.contents.has_beginning = (flags & HAS_BEGINNING) != 0;
    e.contents.has_whole = (flags & HAS_WHOLE) != 0;
    if (!entries.empty() &&
        !key_less(entries.back().device, entries.back().inode, e.device, e.inode)) {
      return false;  // not sorted, or twice
    }
    entries.push_back(e);
  }
  entries_ = std::move(entries);
  scan_ = scan + 1;
  return true;
}

bool ContentCache::load(const std::string& file) {
  entries_.clear();
  fresh_.clear();
  scan_ = 1;
  UniqueFd fd(open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
      static_cast<std::uint64_t>(st.st_size) > MAX_FILE_SIZE) {
    return false;
  }
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    ssize_t n = read(fd.get(), bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return parse(bytes);
}

const ContentCache::Entry* ContentCache::lookup(const FileFacts& facts) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), facts,
                             [](const Entry& e, const FileFacts& f) {
                               return key_less(e.device, e.inode, f.device, f.inode);
                             });
  if (it == entries_.end() || !same_identity(*it, facts)) return nullptr;
  return &*it;
}

bool ContentCache::has(const FileFacts& facts) const {
  return S_ISREG(facts.mode) && lookup(facts) != nullptr;
}

const ContentCache::Contents* ContentCache::find(const FileFacts& facts) {
  if (!S_ISREG(facts.mode)) return nullptr;
  const Entry* found = lookup(facts);
  if (found == nullptr) return nullptr;
  Entry& e = entries_[static_cast<std::size_t>(found - entries_.data())];
  e.last_scan = scan_;
  return &e.contents;
}

void ContentCache::remember(const FileFacts& facts, const Contents& contents) {
  if (!S_ISREG(facts.mode) || (!contents.has_beginning && !contents.has_whole)) return;
  if (facts.ctime_sec > settled_sec_ ||
      (facts.ctime_sec == settled_sec_ && facts.ctime_nsec >= settled_nsec_)) {
    return;
  }
  Entry* e = nullptr;
  if (const Entry* found = lookup(facts)) {
    e = &entries_[static_cast<std::size_t>(found - entries_.data())];
  } else {
    e = &fresh_.emplace_back(entry_of(facts));
  }
  e->last_scan = scan_;
  if (contents.has_beginning) {
    e->contents.has_beginning = true;
    e->contents.beginning_hash = contents.beginning_hash;
  }
  if (contents.has_whole) {
    e->contents.has_whole = true;
    e->contents.crc = contents.crc;
    e->contents.hash_high = contents.hash_high;
    e->contents.hash_low = contents.hash_low;
  }
}

std::string ContentCache::serialize() const {
  std::vector<const Entry*> kept;
  kept.reserve(entries_.size() + fresh_.size());
  for (const Entry& e : entries_) {
    if (scan_ - e.last_scan < KEEP_SCANS) kept.push_back(&e);
  }
  for (const Entry& e : fresh_) kept.push_back(&e);
  // By key; of two entries of one file, the one met last (this scan's
  // learning over an older entry of a file that has changed since).
  std::stable_sort(kept.begin(), kept.end(), [](const Entry* a, const Entry* b) {
    return key_less(a->device, a->inode, b->device, b->inode);
  });
  std::vector<const Entry*> unique;
  unique.reserve(kept.size());
  for (const Entry* e : kept) {
    if (!unique.empty() && unique.back()->device == e->device && unique.back()->inode == e->inode) {
      if (e->last_scan >= unique.back()->last_scan) unique.back() = e;
      continue;
    }
    unique.push_back(e);
  }

  std::string out;
  out.reserve(HEADER_SIZE + unique.size() * ENTRY_SIZE + CHECKSUM_SIZE);
  out.append(MAGIC, sizeof MAGIC);
  put<std::uint32_t>(out, VERSION);
  put<std::uint32_t>(out, BYTE_ORDER_MARK);
  put<std::uint32_t>(out, ENTRY_SIZE);
  put<std::uint32_t>(out, scan_);
  put<std::uint64_t>(out, unique.size());
  for (const Entry* e : unique) {
    put(out, e->device);
    put(out, e->inode);
    put(out, e->size);
    put(out, e->mtime_sec);
    put(out, e->ctime_sec);
    put(out, e->contents.beginning_hash);
    put(out, e->contents.hash_high);
    put(out, e->contents.hash_low);
    put(out, e->mtime_nsec);
    put(out, e->ctime_nsec);
    put(out, e->contents.crc);
    put(out, e->last_scan);
    put<std::uint32_t>(out, (e->contents.has_beginning ? HAS_BEGINNING : 0) |
                                (e->contents.has_whole ? HAS_WHOLE : 0));
  }
  put<std::uint64_t>(out, XXH3_64bits(out.data(), out.size()));
  return out;
}

bool ContentCache::save(const std::string& file) const {
  const std::string bytes = serialize();
  const std::string temporary = file + ".new";
  // The mode of the file replaced; a new one is the user's alone.
  mode_t mode = 0600;
  struct stat st;
  if (lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  // The data directory, made as the window makes it, for a headless scan
  // before the window ever ran.
  const std::size_t slash = file.rfind('/');
  if (slash != std::string::npos && slash > 0) mkdir(file.substr(0, slash).c_str(), 0744);
  UniqueFd fd;
  for (int attempt = 0; attempt < 2 && !fd; ++attempt) {
    fd.reset(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd || errno != EEXIST) break;
    // Another program is writing it now — or one that ended midway left it:
    // a temporary file untouched for a minute is that one's, and goes.
    struct stat left;
    if (lstat(temporary.c_str(), &left) != 0 || !S_ISREG(left.st_mode) ||
        std::time(nullptr) - left.st_mtime < 60) {
      return false;
    }
    unlink(temporary.c_str());
  }
  if (!fd) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const bool written = done == bytes.size() && fchmod(fd.get(), mode) == 0 && fd.close();
  // rename() replaces whatever is at `file`, a link included, and never
  // writes through it.
  if (!written || rename(temporary.c_str(), file.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::string content_cache_file() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return "ContentCache";
  return std::string(home) + "/.PeltoMarvish/ContentCache";
}
