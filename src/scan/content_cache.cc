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
#include <memory>
#include <utility>

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
T take(const char*& at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  at += sizeof value;
  return value;
}

bool key_less(std::uint64_t dev_a, std::uint64_t ino_a, std::uint64_t dev_b, std::uint64_t ino_b) {
  return dev_a != dev_b ? dev_a < dev_b : ino_a < ino_b;
}

// Entries and what a scan learns hold the same contents fields: these fill
// one from what a read found, or from the other, flag by flag.
template <typename Record>
void learn(Record& into, const ContentCache::Contents& found) {
  if (found.has_beginning) {
    into.flags |= HAS_BEGINNING;
    into.beginning_hash = found.beginning_hash;
  }
  if (found.has_whole) {
    into.flags |= HAS_WHOLE;
    into.crc = found.crc;
    into.hash_high = found.hash_high;
    into.hash_low = found.hash_low;
  }
}

template <typename Into, typename From>
void take_contents(Into& into, const From& from) {
  if (from.flags & HAS_BEGINNING) into.beginning_hash = from.beginning_hash;
  if (from.flags & HAS_WHOLE) {
    into.crc = from.crc;
    into.hash_high = from.hash_high;
    into.hash_low = from.hash_low;
  }
  into.flags |= from.flags;
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

// The header's fields, checked against the size of what follows it.
bool ContentCache::header_fits(const char* at, std::size_t body_size, std::uint32_t& scan) const {
  if (std::memcmp(at, MAGIC, sizeof MAGIC) != 0) return false;
  at += sizeof MAGIC;
  if (take<std::uint32_t>(at) != VERSION) return false;
  if (take<std::uint32_t>(at) != BYTE_ORDER_MARK) return false;
  if (take<std::uint32_t>(at) != ENTRY_SIZE) return false;
  scan = take<std::uint32_t>(at);
  const std::uint64_t count = take<std::uint64_t>(at);
  return count <= body_size / ENTRY_SIZE && count * ENTRY_SIZE == body_size;
}

// Every entry well formed, sorted and unique, none from a later scan.
bool ContentCache::entries_fit(std::uint32_t scan) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    if (e.flags == 0 || (e.flags & ~(HAS_BEGINNING | HAS_WHOLE)) != 0 || e.size < 0 ||
        e.last_scan > scan) {
      return false;
    }
    if (i > 0 && !key_less(entries_[i - 1].device, entries_[i - 1].inode, e.device, e.inode)) {
      return false;  // not sorted, or twice
    }
  }
  return true;
}

void ContentCache::forget() {
  entries_.clear();
  fresh_.clear();
  copies_.clear();
  scan_ = 1;
}

bool ContentCache::accept_entries(std::uint32_t scan) {
  if (!entries_fit(scan)) {
    std::vector<Entry>().swap(entries_);
    return false;
  }
  scan_ = scan + 1;
  return true;
}

bool ContentCache::parse(std::string_view bytes) {
  forget();
  if (bytes.size() < HEADER_SIZE + CHECKSUM_SIZE || bytes.size() > MAX_FILE_SIZE) return false;
  const std::size_t body = bytes.size() - HEADER_SIZE - CHECKSUM_SIZE;
  std::uint32_t scan = 0;
  if (!header_fits(bytes.data(), body, scan)) return false;
  std::uint64_t stored;
  std::memcpy(&stored, bytes.data() + bytes.size() - CHECKSUM_SIZE, sizeof stored);
  if (XXH3_64bits(bytes.data(), bytes.size() - CHECKSUM_SIZE) != stored) return false;
  entries_.resize(body / ENTRY_SIZE);
  if (body > 0) std::memcpy(static_cast<void*>(entries_.data()), bytes.data() + HEADER_SIZE, body);
  return accept_entries(scan);
}

namespace {

bool read_all(int fd, void* into, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    ssize_t n = read(fd, static_cast<char*>(into) + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool ContentCache::load(const std::string& file) {
  forget();
  UniqueFd fd(open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
      static_cast<std::uint64_t>(st.st_size) > MAX_FILE_SIZE ||
      static_cast<std::uint64_t>(st.st_size) < HEADER_SIZE + CHECKSUM_SIZE) {
    return false;
  }
  // The entries are read into the table itself; the checksum is taken as
  // they come.
  const std::size_t body = static_cast<std::size_t>(st.st_size) - HEADER_SIZE - CHECKSUM_SIZE;
  char header[HEADER_SIZE];
  std::uint32_t scan = 0;
  if (!read_all(fd.get(), header, sizeof header) || !header_fits(header, body, scan)) return false;
  entries_.resize(body / ENTRY_SIZE);
  std::uint64_t stored = 0;
  bool whole =
      read_all(fd.get(), entries_.data(), body) && read_all(fd.get(), &stored, sizeof stored);
  char past_end;
  whole = whole && read(fd.get(), &past_end, 1) == 0;  // the file did not grow meanwhile
  if (whole) {
    XXH3_state_t* state = XXH3_createState();
    whole = state != nullptr && XXH3_64bits_reset(state) == XXH_OK &&
            XXH3_64bits_update(state, header, sizeof header) == XXH_OK &&
            XXH3_64bits_update(state, entries_.data(), body) == XXH_OK &&
            XXH3_64bits_digest(state) == stored;
    XXH3_freeState(state);
  }
  if (!whole) {
    std::vector<Entry>().swap(entries_);
    return false;
  }
  return accept_entries(scan);
}

const ContentCache::Entry* ContentCache::lookup(const FileFacts& facts) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), facts,
                             [](const Entry& e, const FileFacts& f) {
                               return key_less(e.device, e.inode, f.device, f.inode);
                             });
  if (it == entries_.end() || !same_identity(*it, facts)) return nullptr;
  return &*it;
}

ContentCache::Entry* ContentCache::lookup(const FileFacts& facts) {
  return const_cast<Entry*>(std::as_const(*this).lookup(facts));
}

bool ContentCache::has(const FileFacts& facts) const {
  return S_ISREG(facts.mode) && lookup(facts) != nullptr;
}

std::optional<ContentCache::Contents> ContentCache::find(const FileFacts& facts) {
  if (!S_ISREG(facts.mode)) return std::nullopt;
  Entry* e = lookup(facts);
  if (e == nullptr) return std::nullopt;
  e->last_scan = scan_;
  Contents c;
  c.has_beginning = (e->flags & HAS_BEGINNING) != 0;
  c.beginning_hash = e->beginning_hash;
  c.has_whole = (e->flags & HAS_WHOLE) != 0;
  c.crc = e->crc;
  c.hash_high = e->hash_high;
  c.hash_low = e->hash_low;
  return c;
}

void ContentCache::remember(const FileFacts& facts, const Contents& contents) {
  add(&copies_.emplace_back(facts), contents);
}

void ContentCache::remember_in_place(const FileFacts& facts, const Contents& contents) {
  add(&facts, contents);
}

void ContentCache::add(const FileFacts* facts, const Contents& contents) {
  const FileFacts& f = *facts;
  if (!S_ISREG(f.mode) || (!contents.has_beginning && !contents.has_whole)) return;
  if (f.ctime_sec > settled_sec_ ||
      (f.ctime_sec == settled_sec_ && f.ctime_nsec >= settled_nsec_)) {
    return;
  }
  if (Entry* e = lookup(f)) {
    e->last_scan = scan_;
    learn(*e, contents);
    return;
  }
  Fresh& fresh = fresh_.emplace_back();
  fresh.device = f.device;
  fresh.inode = f.inode;
  fresh.facts = facts;
  learn(fresh, contents);
}

void ContentCache::settle_fresh() {
  // Stable: of two lessons about one file, the later one is the last.
  std::stable_sort(fresh_.begin(), fresh_.end(), [](const Fresh& a, const Fresh& b) {
    return key_less(a.device, a.inode, b.device, b.inode);
  });
  // Two names of one file (hard links) were each remembered: one entry
  // with what both taught.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < fresh_.size(); ++i) {
    const Fresh& e = fresh_[i];
    if (kept > 0 && fresh_[kept - 1].device == e.device && fresh_[kept - 1].inode == e.inode) {
      take_contents(fresh_[kept - 1], e);
      continue;
    }
    fresh_[kept++] = e;
  }
  fresh_.resize(kept);
}

template <typename Visit>
void ContentCache::for_each_kept(Visit visit) const {
  // The entries met by one of the last KEEP_SCANS scans and what this scan
  // learnt, merged in key order; of an old entry and a fresh one of one
  // file (the file has changed since), the fresh one.
  std::size_t i = 0, j = 0;
  while (i < entries_.size() || j < fresh_.size()) {
    if (i < entries_.size() && scan_ - entries_[i].last_scan >= KEEP_SCANS) {
      ++i;
    } else if (j == fresh_.size() ||
               (i < entries_.size() && key_less(entries_[i].device, entries_[i].inode,
                                                fresh_[j].device, fresh_[j].inode))) {
      visit(entries_[i++]);
    } else {
      if (i < entries_.size() && entries_[i].device == fresh_[j].device &&
          entries_[i].inode == fresh_[j].inode) {
        ++i;
      }
      const Fresh& f = fresh_[j++];
      Entry e = entry_of(*f.facts);
      take_contents(e, f);
      e.last_scan = scan_;
      visit(e);
    }
  }
}

template <typename Out>
void ContentCache::write_out(Out out) const {
  std::uint64_t count = 0;
  for_each_kept([&](const Entry&) { ++count; });
  char header[HEADER_SIZE];
  char* at = header;
  auto put = [&](const void* value, std::size_t size) {
    std::memcpy(at, value, size);
    at += size;
  };
  const std::uint32_t entry_size = ENTRY_SIZE;
  put(MAGIC, sizeof MAGIC);
  put(&VERSION, sizeof VERSION);
  put(&BYTE_ORDER_MARK, sizeof BYTE_ORDER_MARK);
  put(&entry_size, sizeof entry_size);
  put(&scan_, sizeof scan_);
  put(&count, sizeof count);
  out(header, sizeof header);
  for_each_kept([&](const Entry& e) { out(&e, ENTRY_SIZE); });
}

std::string ContentCache::serialize() {
  settle_fresh();
  std::string bytes;
  write_out([&](const void* data, std::size_t size) {
    bytes.append(static_cast<const char*>(data), size);
  });
  const std::uint64_t sum = XXH3_64bits(bytes.data(), bytes.size());
  bytes.append(reinterpret_cast<const char*>(&sum), sizeof sum);
  return bytes;
}

namespace {

// Writes through a buffer, keeping the checksum of all it was given.
class CheckedWriter {
 public:
  explicit CheckedWriter(int fd) : fd_(fd), state_(XXH3_createState()) {
    ok_ = state_ != nullptr && XXH3_64bits_reset(state_) == XXH_OK;
  }
  ~CheckedWriter() { XXH3_freeState(state_); }
  CheckedWriter(const CheckedWriter&) = delete;
  CheckedWriter& operator=(const CheckedWriter&) = delete;

  void add(const void* data, std::size_t size) {
    if (!ok_) return;
    ok_ = XXH3_64bits_update(state_, data, size) == XXH_OK;
    put(data, size);
  }
  // The checksum, then everything out; false when anything failed.
  bool finish() {
    if (!ok_) return false;
    const std::uint64_t sum = XXH3_64bits_digest(state_);
    put(&sum, sizeof sum);
    flush();
    return ok_;
  }

 private:
  void put(const void* data, std::size_t size) {
    if (used_ + size > sizeof buffer_) flush();
    std::memcpy(buffer_ + used_, data, size);
    used_ += size;
  }
  void flush() {
    std::size_t done = 0;
    while (ok_ && done < used_) {
      ssize_t n = write(fd_, buffer_ + done, used_ - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        ok_ = false;
      else
        done += static_cast<std::size_t>(n);
    }
    used_ = 0;
  }
  int fd_;
  XXH3_state_t* state_;
  bool ok_ = false;
  char buffer_[1 << 16];
  std::size_t used_ = 0;
};

}  // namespace

bool ContentCache::save(const std::string& file) {
  settle_fresh();
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
  auto writer = std::make_unique<CheckedWriter>(fd.get());
  write_out([&](const void* data, std::size_t size) { writer->add(data, size); });
  const bool written = writer->finish() && fchmod(fd.get(), mode) == 0 && fd.close();
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
