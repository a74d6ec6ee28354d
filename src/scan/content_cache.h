// What earlier scans read of files' contents, so that a scan of an unchanged
// file reads nothing of it: the file "ContentCache" of the data directory.
//
// An entry is keyed by the file's identity as the walk sees it — device,
// inode, size, modification time and change time, both to the nanosecond —
// and holds the hash of the file's beginning (what the CRC pass compares
// first) and, once the file was read whole, its CRC-32 and its 128-bit
// content hash. A file is taken from the cache only when all five identity
// values match: a tool can put a file's modification time back after
// changing it, never its change time. Only regular files that were read to
// their end without error are remembered.
//
// Nor is a file changed just before the scan began. A file system stamps
// times at a clock tick (a few milliseconds; two seconds on FAT): a file
// written again within the tick in which the scan read it keeps all five
// values, and an entry made then would describe contents it no longer has.
// A file whose change time lies more than SETTLE_SECONDS before the cache
// was made (the scan's start) cannot be changed within that tick any more;
// a younger one is simply read again by the next scan.
//
// The file's format (native byte order, told by a mark in the header):
//
//   header   8 bytes "PMCCACHE", u32 version (1), u32 byte-order mark
//            0x01020304, u32 entry size (84), u32 the number of this scan,
//            u64 entry count
//   entries  sorted by (device, inode), no two alike; each: u64 device,
//            u64 inode, i64 size, i64 mtime seconds, i64 ctime seconds, u64
//            beginning hash, u64 and u64 the content hash, i32 mtime and i32
//            ctime nanoseconds, u32 CRC-32, u32 the scan that last met it,
//            u32 flags (1: beginning hash, 2: whole contents)
//   checksum u64 XXH3-64 of everything before it
//
// A file that is missing, damaged, cut short, foreign, of another byte order
// or of a newer version is not trusted: the scan starts with an empty cache
// and writes a new file. Entries of files no scan has met for the last
// KEEP_SCANS scans are dropped when the file is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/group_tree.h"

class ContentCache {
 public:
  static constexpr std::uint32_t KEEP_SCANS = 10;
  static constexpr std::int64_t SETTLE_SECONDS = 2;

  // Remembers only files changed SETTLE_SECONDS before now.
  ContentCache();

  struct Contents {
    bool has_beginning = false;
    std::uint64_t beginning_hash = 0;
    bool has_whole = false;
    std::uint32_t crc = 0;
    std::uint64_t hash_high = 0, hash_low = 0;
  };

  // Reads the cache file `file`: false (and an empty cache) when there is
  // none or it is not to be trusted. Never follows a link, never waits on
  // a file that is not a regular file.
  bool load(const std::string& file);
  // The same from the file's bytes (the reader's whole check).
  bool parse(std::string_view bytes);

  // What is remembered of the file the walk saw as `facts`, when every
  // identity value matches; nothing otherwise. Marks the entry as met.
  std::optional<Contents> find(const FileFacts& facts);
  // Whether there is anything for it, without marking it (the walk's
  // threads may ask while nothing is written).
  bool has(const FileFacts& facts) const;

  // What a read of the file found; merged with what is already known.
  // Nothing of a file changed too recently (see above). Keeps a copy of
  // `facts`.
  void remember(const FileFacts& facts, const Contents& contents);
  // The same for facts that stay where they are, unchanged, until the cache
  // is written (a scan's file store keeps them): what is learnt then costs
  // the cache 56 bytes a file instead of a whole entry.
  void remember_in_place(const FileFacts& facts, const Contents& contents);

  // The file's bytes: the entries met by this scan or by one of the last
  // KEEP_SCANS, with this scan's number. Sorts what this scan learnt.
  std::string serialize();
  // Writes the file (through "<file>.new" and a rename, never through a
  // link planted at either name, the mode kept); false when it could not.
  // The bytes go out as they are made: nothing the size of the file is
  // held besides the entries.
  bool save(const std::string& file);

  std::size_t size() const { return entries_.size() + fresh_.size(); }

 private:
  // An entry in memory is an entry of the file, byte for byte: the file is
  // read straight into the table and written straight out of it, and a
  // million files take 84 MB, not more.
#pragma pack(push, 4)
  struct Entry {
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, mtime_sec = 0, ctime_sec = 0;
    std::uint64_t beginning_hash = 0, hash_high = 0, hash_low = 0;
    std::int32_t mtime_nsec = 0, ctime_nsec = 0;
    std::uint32_t crc = 0, last_scan = 0, flags = 0;
  };
#pragma pack(pop)
  static_assert(sizeof(Entry) == 84);
  static Entry entry_of(const FileFacts& facts);
  static bool same_identity(const Entry& e, const FileFacts& facts);
  Entry* lookup(const FileFacts& facts);
  const Entry* lookup(const FileFacts& facts) const;
  bool header_fits(const char* header, std::size_t body_size, std::uint32_t& scan) const;
  bool entries_fit(std::uint32_t scan) const;
  // Empties the cache (a new one: scan 1).
  void forget();
  // Keeps the table just read when its entries fit (see entries_fit) and
  // takes the scan number after `scan`; else the cache stays empty.
  bool accept_entries(std::uint32_t scan);
  // What this scan learnt of a file the cache had no entry for: its key and
  // contents, the rest of its identity where the caller keeps it.
#pragma pack(push, 4)
  struct Fresh {
    std::uint64_t device = 0, inode = 0;
    const FileFacts* facts = nullptr;
    std::uint64_t beginning_hash = 0, hash_high = 0, hash_low = 0;
    std::uint32_t crc = 0, flags = 0;
  };
#pragma pack(pop)
  void add(const FileFacts* facts, const Contents& contents);
  // Sorts fresh_ and folds its entries of one file into one.
  void settle_fresh();
  // Calls visit(entry) for each entry the file is to hold, in order.
  template <typename Visit>
  void for_each_kept(Visit visit) const;
  // Hands the file's bytes but the checksum to `out(data, size)` in order.
  template <typename Out>
  void write_out(Out out) const;

  std::vector<Entry> entries_;  // from the file, sorted by (device, inode)
  // Learnt by this scan; in blocks, so that it grows without ever holding
  // its entries twice.
  std::deque<Fresh> fresh_;
  std::deque<FileFacts> copies_;  // the facts remember() was given
  std::uint32_t scan_ = 1;        // this scan's number
  // Files whose change time is before this are remembered.
  std::int64_t settled_sec_ = 0;
  std::int32_t settled_nsec_ = 0;
};

// Where the cache file is: ~/.PeltoMarvish/ContentCache ("ContentCache" in
// the working directory when HOME is not set).
std::string content_cache_file();
