// Grouping tree: one group per distinct duplicate key, each holding its
// files in the order they were met. Keys are visited in descending byte
// order by the emission (with the size first in the key, the largest files
// come first); members keep their insertion order. No order of arrival makes
// insertion slower than a hash lookup.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

// Holds the texts of one tree (keys and paths) in large blocks: one
// allocation per block instead of two per file.
class TextArena {
 public:
  // Copies `text` and a NUL; the copy lives until clear().
  std::string_view store(std::string_view text);
  void clear();

 private:
  static constexpr std::size_t BLOCK_SIZE = 1 << 20;
  std::vector<std::unique_ptr<char[]>> blocks_;
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
  std::int32_t mtime_nsec = 0;
  std::int32_t ctime_nsec = 0;
  std::uint32_t mode = 0;  // type and permission bits; 0: not looked at
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

struct GroupMember {
  static constexpr std::uint32_t NOT_READ_AHEAD = 0xFFFFFFFF;

  const char* path;  // NUL-terminated, owned by the tree's arena
  FileFacts facts;
  std::uint32_t crc;  // 0 in the key tree
  bool readable;      // false: the CRC pass could not read the file
  // Its number with the read-ahead of the walk, when its beginning was
  // given to it to read.
  std::uint32_t read_ahead = NOT_READ_AHEAD;
};

struct GroupNode {
  std::int32_t count = 0;            // members ever inserted
  std::vector<GroupMember> members;  // released once emitted
};

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

class GroupTree {
 public:
  using Entry = std::pair<std::string_view, GroupNode*>;

  // Adds a file under `key`; copies key and path. Returns the group's member
  // count after the insertion (1 for a new key), or 0 when the group already
  // holds this exact path and nothing changed. `group`, when given, gets the
  // group the file went into.
  std::int32_t insert(std::string_view key, std::string_view path, const FileFacts& facts,
                      std::uint32_t crc, bool readable = true, GroupNode** group = nullptr);
  // A file of which only the size is known.
  std::int32_t insert(std::string_view key, std::string_view path, std::int64_t size,
                      std::uint32_t crc, bool readable = true) {
    FileFacts facts;
    facts.size = size;
    return insert(key, path, facts, crc, readable);
  }

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
  // A hash of (key, path) per member: a path offered twice under one key is
  // found without comparing it with every member of a large group.
  HashIndex member_index_;  // -> index into groups_
  std::vector<Entry> order_;
  bool order_valid_ = true;
  TextArena arena_;
};
