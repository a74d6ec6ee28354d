// Grouping tree: one group per distinct duplicate key, each holding its
// files in the order they were met. Keys are visited in descending byte
// order by the emission (with the size first in the key, the largest files
// come first); members keep their insertion order. No order of arrival makes
// insertion slower than a hash lookup.
//
// The files themselves live once in the scan's FileStore; a tree holds their
// numbers, so the CRC pass regroups a file without copying it, and a file
// costs its facts, its name and a few bytes of each tree it is in. The walk
// meets each path once (a directory is entered once, from its parent, and
// its entries' names differ), so a tree does not look for a path twice.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// An open-addressing table from hashes to 32-bit values: the grouping's
// lookups are one hash and, nearly always, one probe, without an allocation
// per entry. A slot keeps 32 bits of the hash, which also place it: a
// caller's `same` decides between entries that share them.
class HashIndex {
 public:
  static constexpr std::uint32_t NONE = 0xFFFFFFFF;

  // Calls `same(value)` for each entry with this hash until it says true;
  // returns that entry's value, or NONE.
  template <typename Same>
  std::uint32_t find(std::uint64_t hash, Same same) const {
    if (slots_.empty()) return NONE;
    const std::uint32_t tag = static_cast<std::uint32_t>(hash);
    for (std::size_t i = tag & mask_;; i = (i + 1) & mask_) {
      const Slot& s = slots_[i];
      if (s.value == NONE) return NONE;
      if (s.tag == tag && same(s.value)) return s.value;
    }
  }

  void add(std::uint64_t hash, std::uint32_t value);
  void clear();

 private:
  struct Slot {
    std::uint32_t tag;
    std::uint32_t value;
  };
  void add_tag(std::uint32_t tag, std::uint32_t value);
  void grow();
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t used_ = 0;
};

// Holds texts (keys, directory paths, names) in large blocks: one
// allocation per block instead of one per text. A text is named by a 32-bit
// reference; the block table never moves, so a reference stored before a
// file is handed to another thread can be read there while more texts are
// added.
class TextArena {
 public:
  TextArena();
  // Copies `text` and a NUL; the copy lives until clear().
  std::uint32_t add(std::string_view text);
  std::string_view store(std::string_view text) { return view(add(text)); }
  const char* at(std::uint32_t ref) const {
    return blocks_[ref >> OFFSET_BITS].get() + (ref & (BLOCK_SIZE - 1));
  }
  std::string_view view(std::uint32_t ref) const { return at(ref); }
  void clear();

 private:
  static constexpr unsigned OFFSET_BITS = 22;
  static constexpr std::size_t BLOCK_SIZE = std::size_t{1} << OFFSET_BITS;  // 4 MiB
  static constexpr std::size_t MAX_BLOCKS = std::size_t{1} << (32 - OFFSET_BITS);
  std::unique_ptr<std::unique_ptr<char[]>[]> blocks_;
  std::size_t block_count_ = 0;
  std::size_t used_ = BLOCK_SIZE;  // in the last block; full means "start a new one"
};

// What the walk's one look at a file (its lstat) found: the row shows it,
// the deletion re-check compares with it, and the CRC pass knows from it
// which files may be opened at all.
struct FileFacts {
  std::int64_t size = 0;
  std::int64_t shown_time = 0;  // the file time the settings choose
  std::int64_t mtime_sec = 0;
  std::int64_t ctime_sec = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int32_t mtime_nsec = 0;
  std::int32_t ctime_nsec = 0;
  std::uint32_t mode = 0;  // type and permission bits; 0: not looked at
};

// One file of the scan. Its path is kept as its directory's path (stored
// once for all the files of the directory) and its name.
struct GroupMember {
  FileFacts facts;
  std::uint32_t dir = 0;             // the directory's path in the store's arena
  std::uint32_t name = 0;            // the name ("" for a path without a '/')
  std::uint32_t crc = 0;             // once its contents were read whole (or remembered)
  std::uint32_t read_ahead : 1 = 0;  // 1: handed to the walk's read-ahead
  std::uint32_t readable : 1 = 1;    // 0: the CRC pass could not read the file
  std::uint32_t with_dir : 1 = 1;    // 0: a bare name (only tests make them)
};

// What reads of a file's contents found, or what an earlier scan
// remembered of it: kept for the files whose contents the scan compares,
// beside their members (the CRC-32 of the whole is the member's `crc`).
struct FileContents {
  enum : std::uint32_t {
    BEGINNING = 1,   // beginning_hash() is the hash of the file's beginning
    WHOLE = 2,       // the whole was read: hash_high(), hash_low() and the member's crc
    UNREADABLE = 4,  // a read failed, or the file changed while it was read
    RECALLED = 8,    // the content cache knew the unchanged file
    LEARNT = 16,     // what was read is to be remembered by the content cache
    // What the content cache's entry held (BEGINNING and WHOLE may grow
    // after it by reads of this scan).
    RECALLED_BEGINNING = 32,
    RECALLED_WHOLE = 64,
  };
  std::uint32_t flags = 0;
  bool has(std::uint32_t flag) const { return (flags & flag) != 0; }

  std::uint64_t beginning_hash() const { return joined(0); }
  std::uint64_t hash_high() const { return joined(2); }  // XXH3-128 of the whole
  std::uint64_t hash_low() const { return joined(4); }
  void set_beginning_hash(std::uint64_t hash) { split(0, hash); }
  void set_whole_hash(std::uint64_t high, std::uint64_t low) {
    split(2, high);
    split(4, low);
  }

 private:
  // The hashes as 32-bit halves: a record needs no 8-byte alignment, so a
  // million of them take 28 MB, not 32.
  std::uint32_t words_[6] = {};
  std::uint64_t joined(int at) const { return std::uint64_t{words_[at]} << 32 | words_[at + 1]; }
  void split(int at, std::uint64_t value) {
    words_[at] = static_cast<std::uint32_t>(value >> 32);
    words_[at + 1] = static_cast<std::uint32_t>(value);
  }
};
static_assert(sizeof(FileContents) == 28);

// Every file one scan found, each once, until the scan ends: the grouping
// trees hold their numbers. Numbers and members never move, so a member
// handed to a reader thread stays where it is while the walk adds more.
class FileStore {
 public:
  FileStore();
  // Adds the file at `path` (absolute, or a bare name) and returns its number.
  std::uint32_t add(std::string_view path, const FileFacts& facts);
  GroupMember& operator[](std::uint32_t n) { return chunks_[n >> CHUNK_BITS][n & (CHUNK - 1)]; }
  const GroupMember& operator[](std::uint32_t n) const {
    return chunks_[n >> CHUNK_BITS][n & (CHUNK - 1)];
  }
  // The file's contents record, made (empty) on first use. Made on the
  // thread that adds files, before the file is handed to another thread:
  // a record never moves once made.
  FileContents& contents_for(std::uint32_t n);
  // The record, or null when none was made.
  const FileContents* contents(std::uint32_t n) const;
  FileContents* contents(std::uint32_t n) {
    return const_cast<FileContents*>(std::as_const(*this).contents(n));
  }
  // The member's whole path, into `out` (replacing what it held).
  void path_of(const GroupMember& m, std::string& out) const;
  std::string path_of(const GroupMember& m) const {
    std::string out;
    path_of(m, out);
    return out;
  }
  std::size_t size() const { return count_; }
  void clear();

 private:
  // 131,072 members of 80 bytes: a chunk is exactly five 2 MB pages.
  static constexpr unsigned CHUNK_BITS = 17;
  static constexpr std::size_t CHUNK = std::size_t{1} << CHUNK_BITS;
  // 2^28 files (268 million, far more than memory could hold at once).
  static constexpr std::size_t MAX_CHUNKS = std::size_t{1} << (28 - CHUNK_BITS);
  std::uint32_t directory(std::string_view dir);

  // A chunk's members are made one by one as files come, so a chunk costs
  // memory only as far as it is filled (a scan of a few files does not
  // touch the several megabytes of its first chunk). Chunks are mapped on
  // 2 MB pages where the system has them: a million files' members then
  // cost forty page faults instead of twenty thousand.
  static constexpr std::size_t LARGE_PAGE = std::size_t{2} << 20;
  static void* map_chunk(std::size_t bytes);
  static void unmap_chunk(void* chunk, std::size_t bytes);
  // Unmaps a chunk of COUNT values of T.
  template <typename T, std::size_t COUNT>
  struct Unmap {
    void operator()(T* chunk) const { unmap_chunk(chunk, COUNT * sizeof(T)); }
  };
  using Chunk = std::unique_ptr<GroupMember[], Unmap<GroupMember, CHUNK>>;
  static_assert(CHUNK * sizeof(GroupMember) % LARGE_PAGE == 0,
                "a chunk of members fills its large pages");
  static_assert(std::is_trivially_destructible_v<GroupMember>);
  std::unique_ptr<Chunk[]> chunks_;
  // Contents records, in chunks of their own, made only for chunks with a
  // file whose contents are compared (zeroed by the system: a record costs
  // memory once it is written). Also on large pages: 524,288 records of 28
  // bytes fill exactly seven, so even written in no order a full chunk
  // wastes none.
  static constexpr unsigned RECORD_CHUNK_BITS = 19;
  static constexpr std::size_t RECORD_CHUNK = std::size_t{1} << RECORD_CHUNK_BITS;
  static constexpr std::size_t MAX_RECORD_CHUNKS = std::size_t{1} << (28 - RECORD_CHUNK_BITS);
  using RecordChunk = std::unique_ptr<FileContents[], Unmap<FileContents, RECORD_CHUNK>>;
  static_assert(RECORD_CHUNK * sizeof(FileContents) % LARGE_PAGE == 0,
                "a chunk of records fills its large pages");
  static_assert(std::is_trivially_copyable_v<FileContents>);
  std::unique_ptr<RecordChunk[]> records_;
  std::size_t count_ = 0;
  TextArena texts_;
  // Directories by hash of their path; the last one is tried first, since
  // the walk gives a directory's files one after another.
  HashIndex dirs_;
  std::uint32_t last_dir_ = 0;
  bool have_last_dir_ = false;
  // Where a directory's text lies: index -> reference (dirs_ holds indexes).
  std::vector<std::uint32_t> dir_refs_;
};

struct GroupNode {
  std::int32_t count = 0;              // members ever inserted
  std::vector<std::uint32_t> members;  // file numbers; released once emitted
};

class GroupTree {
 public:
  using Entry = std::pair<std::string_view, GroupNode*>;

  // Adds file number `file` under `key` (copied). Returns the group's member
  // count after the insertion (1 for a new key); `group`, when given, gets
  // the group the file went into.
  std::int32_t insert(std::string_view key, std::uint32_t file, GroupNode** group = nullptr);

  void clear();
  bool empty() const { return groups_.empty(); }
  std::size_t group_count() const { return groups_.size(); }

  // The groups in descending byte order of their keys, as the emission visits
  // them. Sorted on first use after an insertion.
  const std::vector<Entry>& descending();

 private:
  struct Group {
    std::string_view key;
    GroupNode node;
  };
  // Keys are found by hash while the walk fills the tree and put in order
  // once, when the groups are visited.
  std::deque<Group> groups_;
  HashIndex key_index_;  // key hash -> index into groups_
  std::vector<Entry> order_;
  bool order_valid_ = true;
  TextArena arena_;
};
