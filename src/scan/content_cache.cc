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
#include <new>
#include <utility>

namespace {

constexpr unsigned START_BITS = 16;
constexpr char MAGIC[8] = {'P', 'M', 'C', 'C', 'A', 'C', 'H', 'E'};
constexpr std::uint32_t VERSION = 1;
constexpr std::uint32_t BYTE_ORDER_MARK = 0x01020304;
constexpr std::size_t HEADER_SIZE = 32;
constexpr std::size_t ENTRY_SIZE = 84;
constexpr std::size_t CHECKSUM_SIZE = 8;
constexpr std::uint32_t HAS_BEGINNING = 1, HAS_WHOLE = 2;
// A larger file is not a cache of ours (a million files take 84 MB).
constexpr std::size_t MAX_FILE_SIZE = std::size_t{1} << 30;
// Entries read at a time.
constexpr std::size_t READ_ENTRIES = 780;  // 65,520 bytes

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

// The five identity values, packed without padding, for the fingerprint.
#pragma pack(push, 4)
struct Identity {
  std::uint64_t device, inode;
  std::int64_t size, mtime_sec, ctime_sec;
  std::int32_t mtime_nsec, ctime_nsec;
};
#pragma pack(pop)
static_assert(sizeof(Identity) == 48);

std::uint64_t fingerprint(const Identity& id) { return XXH3_64bits(&id, sizeof id); }

Identity identity_of(const FileFacts& f) {
  return {f.device, f.inode, f.size, f.mtime_sec, f.ctime_sec, f.mtime_nsec, f.ctime_nsec};
}

bool same_identity(const Identity& a, const Identity& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

bool read_fully(int fd, std::uint64_t offset, void* into, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    ssize_t n =
        pread(fd, static_cast<char*>(into) + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

ContentCache::ContentCache() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  settled_sec_ = now.tv_sec - SETTLE_SECONDS;
  settled_nsec_ = static_cast<std::int32_t>(now.tv_nsec);
}

namespace {

Identity identity_of_entry(const auto& e) {
  return {e.device, e.inode, e.size, e.mtime_sec, e.ctime_sec, e.mtime_nsec, e.ctime_nsec};
}

}  // namespace

ContentCache::Entry ContentCache::entry_for(const FileFacts& f) {
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

void ContentCache::put_contents(Entry& e, const FileContents& c, std::uint32_t crc) {
  if (c.has(FileContents::BEGINNING)) {
    e.flags |= HAS_BEGINNING;
    e.beginning_hash = c.beginning_hash();
  }
  if (c.has(FileContents::WHOLE)) {
    e.flags |= HAS_WHOLE;
    e.crc = crc;
    e.hash_high = c.hash_high();
    e.hash_low = c.hash_low();
  }
}

void ContentCache::take_contents(const Entry& e, FileContents& c, std::uint32_t& crc) {
  c.flags |= FileContents::RECALLED;
  if (e.flags & HAS_BEGINNING) {
    c.flags |= FileContents::BEGINNING | FileContents::RECALLED_BEGINNING;
    c.set_beginning_hash(e.beginning_hash);
  }
  if (e.flags & HAS_WHOLE) {
    c.flags |= FileContents::WHOLE | FileContents::RECALLED_WHOLE;
    c.set_whole_hash(e.hash_high, e.hash_low);
    crc = e.crc;
  }
}

bool ContentCache::read_at(std::uint64_t offset, void* into, std::size_t size) const {
  if (fd_) return read_fully(fd_.get(), offset, into, size);
  if (offset > bytes_.size() || bytes_.size() - offset < size) return false;
  std::memcpy(into, bytes_.data() + offset, size);
  return true;
}

template <typename Visit, typename Ahead>
bool ContentCache::for_each_entry(Visit visit, Ahead ahead) const {
  char header[HEADER_SIZE];
  if (!read_at(0, header, sizeof header)) return false;
  const char* at = header;
  if (std::memcmp(at, MAGIC, sizeof MAGIC) != 0) return false;
  at += sizeof MAGIC;
  if (take<std::uint32_t>(at) != VERSION) return false;
  if (take<std::uint32_t>(at) != BYTE_ORDER_MARK) return false;
  if (take<std::uint32_t>(at) != ENTRY_SIZE) return false;
  const std::uint32_t scan = take<std::uint32_t>(at);
  const std::uint64_t count = take<std::uint64_t>(at);
  if (count != count_ || scan == UINT32_MAX) return false;

  XXH3_state_t* state = XXH3_createState();
  if (state == nullptr) return false;
  std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> owner(state, XXH3_freeState);
  if (XXH3_64bits_reset(state) != XXH_OK ||
      XXH3_64bits_update(state, header, sizeof header) != XXH_OK) {
    return false;
  }
  auto entries = std::make_unique<Entry[]>(READ_ENTRIES);
  std::uint64_t done = 0;
  bool have_last = false;
  std::uint64_t last_device = 0, last_inode = 0;
  while (done < count) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(READ_ENTRIES, count - done));
    if (!read_at(HEADER_SIZE + done * ENTRY_SIZE, entries.get(), n * ENTRY_SIZE) ||
        XXH3_64bits_update(state, entries.get(), n * ENTRY_SIZE) != XXH_OK) {
      return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (i + AHEAD < n) ahead(entries[i + AHEAD], 0);
      if (i + AHEAD / 2 < n) ahead(entries[i + AHEAD / 2], 1);
      const Entry& e = entries[i];
      // Every entry well formed, sorted and unique, none from a later scan.
      if (e.flags == 0 || (e.flags & ~(HAS_BEGINNING | HAS_WHOLE)) != 0 || e.size < 0 ||
          e.last_scan > scan) {
        return false;
      }
      if (have_last && !key_less(last_device, last_inode, e.device, e.inode)) return false;
      have_last = true;
      last_device = e.device;
      last_inode = e.inode;
      visit(e);
    }
    done += n;
  }
  std::uint64_t stored = 0;
  if (!read_at(HEADER_SIZE + count * ENTRY_SIZE, &stored, sizeof stored)) return false;
  if (XXH3_64bits_digest(state) != stored) return false;
  // Nothing past the checksum (the file did not grow meanwhile).
  char past_end;
  return !read_at(HEADER_SIZE + count * ENTRY_SIZE + CHECKSUM_SIZE, &past_end, 1);
}

void ContentCache::forget() {
  fd_.reset();
  std::string().swap(bytes_);
  readable_ = false;
  count_ = 0;
  scan_ = 1;
  std::vector<std::uint64_t>().swap(fingerprints_);
  std::vector<std::uint32_t>().swap(fingerprint_starts_);
  std::vector<std::uint32_t>().swap(compared_);
  recalled_count_ = 0;
  all_met_twice_ = false;
}

bool ContentCache::accept(std::uint64_t file_size) {
  // The entry count and the scan number come from the header; the whole
  // file is then checked by reading it through.
  char header[HEADER_SIZE];
  if (!read_at(0, header, sizeof header)) return false;
  const char* at = header + sizeof MAGIC + 3 * sizeof(std::uint32_t);
  const std::uint32_t scan = take<std::uint32_t>(at);
  count_ = take<std::uint64_t>(at);
  if (count_ > (file_size - HEADER_SIZE - CHECKSUM_SIZE) / ENTRY_SIZE ||
      HEADER_SIZE + count_ * ENTRY_SIZE + CHECKSUM_SIZE != file_size) {
    return false;
  }
  // Sorted by their top bits first, counting how many begin with each value
  // (which also tells has() where each value begins), then within those
  // few: fingerprints are evenly spread, so this is linear.
  std::vector<std::uint64_t> unsorted;
  unsorted.reserve(static_cast<std::size_t>(count_));
  fingerprint_starts_.assign((std::size_t{1} << START_BITS) + 1, 0);
  auto top_of = [](std::uint64_t f) { return static_cast<std::size_t>(f >> (64 - START_BITS)); };
  if (!for_each_entry([&](const Entry& e) {
        unsorted.push_back(fingerprint(identity_of_entry(e)));
        ++fingerprint_starts_[top_of(unsorted.back()) + 1];
      })) {
    return false;
  }
  for (std::size_t top = 1; top < fingerprint_starts_.size(); ++top) {
    fingerprint_starts_[top] += fingerprint_starts_[top - 1];
  }
  fingerprints_.resize(unsorted.size());
  std::vector<std::uint32_t> next(fingerprint_starts_.begin(), fingerprint_starts_.end() - 1);
  for (std::uint64_t f : unsorted) fingerprints_[next[top_of(f)]++] = f;
  for (std::size_t top = 0; top + 1 < fingerprint_starts_.size(); ++top) {
    std::sort(fingerprints_.begin() + fingerprint_starts_[top],
              fingerprints_.begin() + fingerprint_starts_[top + 1]);
  }
  readable_ = true;
  scan_ = scan + 1;
  return true;
}

bool ContentCache::parse(std::string bytes) {
  forget();
  if (bytes.size() < HEADER_SIZE + CHECKSUM_SIZE || bytes.size() > MAX_FILE_SIZE) return false;
  bytes_ = std::move(bytes);
  if (accept(bytes_.size())) return true;
  forget();
  return false;
}

bool ContentCache::load(const std::string& file) {
  forget();
  fd_.reset(open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (fd_ && fstat(fd_.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
      static_cast<std::uint64_t>(st.st_size) <= MAX_FILE_SIZE &&
      static_cast<std::uint64_t>(st.st_size) >= HEADER_SIZE + CHECKSUM_SIZE &&
      accept(static_cast<std::uint64_t>(st.st_size))) {
    return true;
  }
  forget();
  return false;
}

bool ContentCache::has(const FileFacts& facts) const {
  if (!S_ISREG(facts.mode) || fingerprints_.empty()) return false;
  const std::uint64_t wanted = fingerprint(identity_of(facts));
  const std::size_t top = static_cast<std::size_t>(wanted >> (64 - START_BITS));
  return std::binary_search(fingerprints_.begin() + fingerprint_starts_[top],
                            fingerprints_.begin() + fingerprint_starts_[top + 1], wanted);
}

namespace {

// Orders file numbers by their files' keys (device, inode), and the names of
// one file in the order the walk met them.
auto by_key(const FileStore& store) {
  return [&store](std::uint32_t a, std::uint32_t b) {
    const FileFacts& fa = store[a].facts;
    const FileFacts& fb = store[b].facts;
    if (fa.device != fb.device || fa.inode != fb.inode) {
      return key_less(fa.device, fa.inode, fb.device, fb.inode);
    }
    return a < b;
  };
}

}  // namespace

std::size_t ContentCache::recall(FileStore& store, std::vector<std::uint32_t> given) {
  // The fingerprints served the walk; the entries themselves decide now.
  std::vector<std::uint64_t>().swap(fingerprints_);
  std::vector<std::uint32_t>().swap(fingerprint_starts_);
  std::erase_if(given, [&](std::uint32_t n) { return !S_ISREG(store[n].facts.mode); });
  // In walk order: the names of one file then come in the table, and are
  // recalled, in the order the walk met them.
  if (!std::is_sorted(given.begin(), given.end())) std::sort(given.begin(), given.end());
  compared_ = std::move(given);
  recalled_count_ = 0;
  all_met_twice_ = false;
  if (!readable_) return 0;
  std::vector<std::uint32_t>& files = compared_;
  // The files by key in an open-addressing table (a file number a slot, at
  // most half of them used): each entry read finds its files, every name
  // of a file (its hard links) among them, in one or two probes.
  constexpr std::uint32_t NONE = 0xFFFFFFFF;
  std::size_t slots = 16;
  while (slots < files.size() * 2) slots *= 2;
  const std::size_t mask = slots - 1;
  auto slot_of = [&](std::uint64_t device, std::uint64_t inode) {
    return static_cast<std::size_t>(
               (inode ^ (device * 0x9E3779B97F4A7C15ull)) * 0xC2B2AE3D27D4EB4Full >> 20) &
           mask;
  };
  std::vector<std::uint32_t> table(slots, NONE);
  for (std::uint32_t n : files) {
    std::size_t i = slot_of(store[n].facts.device, store[n].facts.inode);
    while (table[i] != NONE) i = (i + 1) & mask;
    table[i] = n;
  }
  // The files are all in the table now: their list is refilled, first with
  // the files recalled, in the entries' order (which is the order the
  // writing wants), then with the others.
  const std::size_t in_table = files.size();
  files.clear();
  std::size_t recalled = 0;
  std::uint64_t entries_met = 0;
  bool all_met_last_time = true;
  const bool whole = for_each_entry(
      [&](const Entry& e) {
        const Identity id = identity_of_entry(e);
        const std::size_t before = recalled;
        all_met_last_time = all_met_last_time && e.last_scan == scan_ - 1;
        for (std::size_t i = slot_of(e.device, e.inode); table[i] != NONE; i = (i + 1) & mask) {
          GroupMember& m = store[table[i]];
          if (m.facts.device != e.device || m.facts.inode != e.inode) continue;
          if (!same_identity(identity_of(m.facts), id)) continue;
          take_contents(e, store.contents_for(table[i]), m.crc);
          files.push_back(table[i]);
          ++recalled;
        }
        if (recalled != before) ++entries_met;
      },
      [&](const Entry& e, int stage) {
        // The table's slot, then the file in it: the visit finds both in the
        // processor's cache instead of waiting on the memory for each.
        const std::uint32_t* slot = &table[slot_of(e.device, e.inode)];
        if (stage == 0) {
          __builtin_prefetch(slot);
        } else if (*slot != NONE) {
          // A member may lie across two cache lines.
          const char* member = reinterpret_cast<const char*>(&store[*slot]);
          __builtin_prefetch(member);
          __builtin_prefetch(member + sizeof(GroupMember) - 1);
          __builtin_prefetch(store.contents(*slot), 1);
        }
      });
  recalled_count_ = whole ? recalled : 0;
  // Every entry met by the last writing and by this scan: unless this scan
  // learns something, writing would only move every entry one scan on.
  all_met_twice_ = whole && all_met_last_time && entries_met == count_;
  if (whole && recalled == in_table) return recalled;  // the files are all listed
  if (!whole) files.clear();  // nothing recalled stands: every file is listed again
  for (std::uint32_t n : table) {
    if (n == NONE) continue;
    FileContents* c = store.contents(n);
    const bool was_recalled = c != nullptr && c->has(FileContents::RECALLED);
    if (!whole && was_recalled) {
      // The file changed under us: nothing it said is taken.
      *c = FileContents{};
      store[n].crc = 0;
    }
    if (!whole || !was_recalled) files.push_back(n);
  }
  if (!whole) {
    readable_ = false;
    return 0;
  }
  return recalled;
}

bool ContentCache::worth_writing(std::uint32_t n, const FileStore& store) const {
  const FileContents* c = store.contents(n);
  if (c == nullptr || c->has(FileContents::UNREADABLE)) return false;
  if (c->has(FileContents::RECALLED)) return true;
  if (!c->has(FileContents::LEARNT)) return false;
  if (!c->has(FileContents::BEGINNING | FileContents::WHOLE)) return false;
  // A file changed too recently is not remembered (see the header); one
  // recalled was settled when an earlier scan read it.
  const FileFacts& f = store[n].facts;
  return f.ctime_sec < settled_sec_ ||
         (f.ctime_sec == settled_sec_ && f.ctime_nsec < settled_nsec_);
}

std::vector<std::uint32_t> ContentCache::files_to_write(const FileStore& store) const {
  // The files recalled come first in compared_, already in key order; only
  // the others (all of them in a first scan, the changed and new files in a
  // later one) need sorting, and the two lists are then merged.
  std::vector<std::uint32_t> files;
  std::size_t recalled = 0;
  for (std::size_t i = 0; i < compared_.size(); ++i) {
    if (!worth_writing(compared_[i], store)) continue;
    files.push_back(compared_[i]);
    if (i < recalled_count_) ++recalled;
  }
  const auto middle = files.begin() + static_cast<std::ptrdiff_t>(recalled);
  std::sort(middle, files.end(), by_key(store));
  std::inplace_merge(files.begin(), middle, files.end(), by_key(store));
  return files;
}

bool ContentCache::would_change(const FileStore& store) const {
  if (!all_met_twice_) return true;
  for (std::size_t i = 0; i < compared_.size(); ++i) {
    const std::uint32_t n = compared_[i];
    if (i >= recalled_count_) {
      if (worth_writing(n, store)) return true;  // something new
      continue;
    }
    // Recalled: still to be written, with what its entry held.
    const FileContents& c = *store.contents(n);
    if (c.has(FileContents::UNREADABLE)) return true;
    const bool had_beginning = c.has(FileContents::RECALLED_BEGINNING);
    const bool had_whole = c.has(FileContents::RECALLED_WHOLE);
    if (c.has(FileContents::BEGINNING) != had_beginning ||
        c.has(FileContents::WHOLE) != had_whole) {
      return true;
    }
  }
  return false;
}

template <typename Visit>
bool ContentCache::for_each_kept(const FileStore& store, const std::vector<std::uint32_t>& files,
                                 Visit visit) const {
  // The entries met by one of the last KEEP_SCANS scans and what this scan
  // learnt, merged in key order; of an old entry and this scan's of one
  // file, this scan's.
  std::size_t next = 0;
  // This scan's entry for the files from `next` on that share a key (hard
  // links): what all of them taught, while they show the same identity;
  // one seen later with another identity was changed meanwhile, and its
  // look is the newer one.
  auto emit_next = [&] {
    Entry e;
    bool started = false;
    Identity id{};
    const FileFacts& first = store[files[next]].facts;
    const std::uint64_t device = first.device, inode = first.inode;
    for (; next < files.size(); ++next) {
      const std::uint32_t n = files[next];
      const FileFacts& f = store[n].facts;
      if (f.device != device || f.inode != inode) break;
      if (!started || !same_identity(identity_of(f), id)) {
        e = entry_for(f);
        id = identity_of(f);
        e.last_scan = scan_ - renumbering();
        started = true;
      }
      put_contents(e, *store.contents(n), store[n].crc);
    }
    visit(e);
  };
  auto key_of = [&](std::size_t i) -> const FileFacts& { return store[files[i]].facts; };
  if (readable_) {
    const bool whole = for_each_entry([&](const Entry& old) {
      while (next < files.size() &&
             key_less(key_of(next).device, key_of(next).inode, old.device, old.inode)) {
        emit_next();
      }
      if (next < files.size() && key_of(next).device == old.device &&
          key_of(next).inode == old.inode) {
        return;  // this scan's entry comes in its place
      }
      if (scan_ - old.last_scan >= KEEP_SCANS) return;
      Entry kept = old;
      kept.last_scan -= renumbering();
      visit(kept);
    });
    if (!whole) return false;
  }
  while (next < files.size()) emit_next();
  return true;
}

template <typename Out>
bool ContentCache::write_out(const FileStore& store, Out out) const {
  const std::vector<std::uint32_t> files = files_to_write(store);
  std::uint64_t count = 0;
  if (!for_each_kept(store, files, [&](const Entry&) { ++count; })) return false;
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
  const std::uint32_t scan = scan_ - renumbering();
  put(&scan, sizeof scan);
  put(&count, sizeof count);
  out(header, sizeof header);
  return for_each_kept(store, files, [&](const Entry& e) { out(&e, ENTRY_SIZE); });
}

std::string ContentCache::serialize(const FileStore& store) const {
  std::string bytes;
  if (!write_out(store, [&](const void* data, std::size_t size) {
        bytes.append(static_cast<const char*>(data), size);
      })) {
    return {};
  }
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

namespace {

// Opens "<file>.new" for a new cache file, made exclusively; `mode` gets the
// mode of the file it is to replace. Invalid when it can not be made.
UniqueFd open_new_cache_file(const std::string& file, const std::string& temporary, mode_t& mode) {
  // The mode of the file replaced; a new one is the user's alone.
  mode = 0600;
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
      return UniqueFd();
    }
    unlink(temporary.c_str());
  }
  return fd;
}

// Writes the new cache file as `ContentCache.new` through `fill`, which
// adds its bytes to the checked writer, and renames it over `file`; false,
// and no file left behind, when any step fails.
template <typename Fill>
bool replace_cache_file(const std::string& file, Fill fill) {
  const std::string temporary = file + ".new";
  mode_t mode = 0600;
  UniqueFd fd = open_new_cache_file(file, temporary, mode);
  if (!fd) return false;
  bool written = false;
  try {
    auto writer = std::make_unique<CheckedWriter>(fd.get());
    written = fill(*writer) && writer->finish() && fchmod(fd.get(), mode) == 0 && fd.close();
  } catch (const std::bad_alloc&) {
    // No memory for the writing: the cache is only ever a saving of time,
    // and the scan it runs beside goes on.
  }
  // rename() replaces whatever is at `file`, a link included, and never
  // writes through it.
  if (!written || rename(temporary.c_str(), file.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool ContentCache::save(const std::string& file, const FileStore& store) const {
  if (!would_change(store)) return true;
  return replace_cache_file(file, [&](CheckedWriter& writer) {
    return write_out(store, [&](const void* data, std::size_t size) { writer.add(data, size); });
  });
}

bool ContentCache::forget_files(const std::string& file, const std::vector<FileIdentity>& files) {
  if (files.empty()) return true;
  ContentCache cache;
  if (!cache.load(file)) return true;
  auto forgotten = [&](const Entry& e) {
    for (const FileIdentity& f : files) {
      if (f.known() && !f.size_only() && e.device == f.device && e.inode == f.inode) return true;
    }
    return false;
  };
  std::uint64_t kept = 0;
  if (!cache.for_each_entry([&](const Entry& e) { kept += forgotten(e) ? 0 : 1; })) return true;
  if (kept == cache.count_) return true;

  return replace_cache_file(file, [&](CheckedWriter& writer) {
    // The header as it was, with the new count; the scan numbers stay.
    char header[HEADER_SIZE];
    if (!cache.read_at(0, header, sizeof header)) return false;
    std::memcpy(header + HEADER_SIZE - sizeof kept, &kept, sizeof kept);
    writer.add(header, sizeof header);
    return cache.for_each_entry([&](const Entry& e) {
      if (!forgotten(e)) writer.add(&e, ENTRY_SIZE);
    });
  });
}

std::string content_cache_file() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return "ContentCache";
  return std::string(home) + "/.PeltoMarvish/ContentCache";
}
