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
// KEEP_SCANS scans are dropped when the file is written. Only the scans'
// distances matter, so once the numbers pass RENUMBER_AT a writing numbers
// them again from KEEP_SCANS: the count can never run out.
//
// The entries are never held in memory all at once: a million files make an
// 84 MB file. Loading checks the file from end to end and keeps only a 64-bit
// fingerprint of each entry's identity (what the walk's read-ahead asks);
// once the walk is over, the files the scan compares are sorted by their key
// and the file is read once more beside them, every unchanged file taking
// its entry's contents into its contents record; writing reads it a last
// time, merging the entries kept with what this scan learnt. Each reading
// checks the whole file again, so one changed meanwhile is never believed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/row_texts.h"
#include "core/unique_fd.h"
#include "scan/group_tree.h"

class ContentCache {
 public:
  static constexpr std::uint32_t KEEP_SCANS = 10;
  static constexpr std::int64_t SETTLE_SECONDS = 2;
  static constexpr std::uint32_t RENUMBER_AT = std::uint32_t{1} << 31;

  // Remembers only files changed SETTLE_SECONDS before now.
  ContentCache();

  // Reads the cache file `file` through: false (and an empty cache) when
  // there is none or it is not to be trusted. Never follows a link, never
  // waits on a file that is not a regular file. The file stays open for
  // recall() and save().
  bool load(const std::string& file);
  // The same from a file's bytes (kept for the later readings).
  bool parse(std::string bytes);

  // Whether the unchanged file the walk saw as `facts` has an entry, as far
  // as its identity's fingerprint tells: the read-ahead leaves such a file
  // to the cache. (One in 2^64 a changed file is told yes: it is then read
  // by the CRC pass instead of ahead.)
  bool has(const FileFacts& facts) const;

  // Takes the files the scan compares (numbers in `store`; the regular
  // ones count) and gives each whose five identity values match an entry
  // that entry's contents: its contents record gets them and RECALLED, its
  // member the CRC-32. Returns how many files were recalled; none when the
  // file is no longer what load() read. Once called, has() knows nothing.
  std::size_t recall(FileStore& store, std::vector<std::uint32_t> files);

  // The file's bytes: the entries met by this scan or by one of the last
  // KEEP_SCANS, with what the files given to recall() taught (contents
  // records with LEARNT, or RECALLED) as this scan's entries. Empty when
  // the file read before is no longer what it was.
  std::string serialize(const FileStore& store) const;
  // Writes the file (through "<file>.new" and a rename, never through a
  // link planted at either name, the mode kept); false when it could not.
  // A scan that met every entry, as the scan before it did, and learnt
  // nothing new leaves the file as it is: writing it would only number
  // every entry one scan on, which changes no entry's age.
  // The bytes go out as they are made: nothing the size of the file is
  // held.
  bool save(const std::string& file, const FileStore& store) const;

  // The entries of the file read.
  std::size_t size() const { return count_; }

  // Drops from the cache file `file` every entry of the files (device and
  // inode) in `files`, so that the next scan reads them again: a clean-up
  // found their bytes other than a copy's the scan took them to hold. The
  // file is written as save() writes it, and left as it is when it holds
  // none of them. True when it holds none of them now (so also when there
  // is no file, or one not to be trusted, which no scan believes).
  static bool forget_files(const std::string& file, const std::vector<FileIdentity>& files);

 private:
  // An entry of the file, byte for byte.
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

  // An entry with the identity of the file seen as `f`, nothing else.
  static Entry entry_for(const FileFacts& f);
  // What a contents record (and the member's CRC-32) holds, into an entry.
  static void put_contents(Entry& e, const FileContents& c, std::uint32_t crc);
  // What an entry holds, into a file's contents record (as recalled) and
  // its member's CRC-32.
  static void take_contents(const Entry& e, FileContents& c, std::uint32_t& crc);
  // Reads the file's bytes at `offset`; false when they are not all there.
  bool read_at(std::uint64_t offset, void* into, std::size_t size) const;
  // Reads the file from its start, checking everything, and calls
  // visit(entry) for each entry in order. False when anything fails to
  // check (what was visited is then to be forgotten). `ahead(entry, 0)` is
  // told of an entry AHEAD entries before its visit, `ahead(entry, 1)` half
  // as many (not yet checked: for fetching what its visit will touch).
  static constexpr std::size_t AHEAD = 16;
  struct NothingAhead {
    void operator()(const Entry&, int) const {}
  };
  template <typename Visit, typename Ahead = NothingAhead>
  bool for_each_entry(Visit visit, Ahead ahead = {}) const;
  // Whether compared file `n` is to have an entry in the file written.
  bool worth_writing(std::uint32_t n, const FileStore& store) const;
  // The compared files whose contents are to be written, in key order.
  std::vector<std::uint32_t> files_to_write(const FileStore& store) const;
  // Whether the file written would say anything the file read does not.
  bool would_change(const FileStore& store) const;
  // Calls visit(entry) for each entry the file is to hold, in order; false
  // when the file read before failed its checks.
  template <typename Visit>
  bool for_each_kept(const FileStore& store, const std::vector<std::uint32_t>& files,
                     Visit visit) const;
  // Hands the file's bytes but the checksum to `out(data, size)` in order.
  template <typename Out>
  bool write_out(const FileStore& store, Out out) const;
  // What a writing takes from every scan number (nonzero once they grew
  // past RENUMBER_AT); the oldest entry kept is still newer than it.
  std::uint32_t renumbering() const { return scan_ >= RENUMBER_AT ? scan_ - KEEP_SCANS : 0; }
  // Empties the cache (a new one: scan 1).
  void forget();
  // Checks the file (of `file_size` bytes) from its start and keeps its
  // fingerprints.
  bool accept(std::uint64_t file_size);

  UniqueFd fd_;                              // the file read by load()
  std::string bytes_;                        // or the bytes given to parse()
  bool readable_ = false;                    // either holds a file that passed the checks
  std::uint64_t count_ = 0;                  // its entries
  std::uint32_t scan_ = 1;                   // this scan's number
  std::vector<std::uint64_t> fingerprints_;  // of its entries' identities, sorted
  // fingerprints_[starts[t]] is the first whose top bits are t or more.
  std::vector<std::uint32_t> fingerprint_starts_;
  // The files the scan compares (see recall()): once recalled, the first
  // recalled_count_ are those recalled, in key order.
  std::vector<std::uint32_t> compared_;
  std::size_t recalled_count_ = 0;
  // Every entry was met by the scan that wrote the file and by this one.
  bool all_met_twice_ = false;
  // Files whose change time is before this are remembered.
  std::int64_t settled_sec_ = 0;
  std::int32_t settled_nsec_ = 0;
};

// Where the cache file is: ~/.PeltoMarvish/ContentCache ("ContentCache" in
// the working directory when HOME is not set).
std::string content_cache_file();
