// What one list row is, as plain data shared by the scanner (which makes
// rows), the interface (which lists them) and the headless command (which
// prints them), and the pure number formatting both sides use.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr int COLUMN_COUNT = 7;

// The file a row names, as the scan saw it. A deletion goes ahead only when
// the file on disk is still this one: same device and inode, same size, same
// modification time to the nanosecond and same type.
//
// A list restored from a contents file without identities knows only each
// file's size: type SIZE_ONLY, and only the size is compared.
struct FileIdentity {
  static constexpr std::uint32_t SIZE_ONLY = 1;  // never S_IFMT bits

  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t mtime_sec = 0;
  std::int32_t mtime_nsec = 0;
  std::uint32_t type = 0;  // S_IFMT bits of the mode; 0: nothing is known

  bool known() const { return type != 0; }
  bool size_only() const { return type == SIZE_ONLY; }
  bool is_symlink() const { return type == S_IFLNK; }
  bool operator==(const FileIdentity&) const = default;
};

FileIdentity identity_of(const struct stat& st);

// Whether the file now described by `now` (a fresh lstat) is the one `seen`
// describes: every field, or for a size-only identity the size of a file
// that is not a directory.
bool still_the_same(const FileIdentity& seen, const FileIdentity& now);

// The seven column texts of one list row, in column order, and for a file
// row the identity of its file (null for headers, comments and rows whose
// file could not be examined).
struct RowTexts {
  const char* col[COLUMN_COUNT];
  const FileIdentity* identity = nullptr;
};

// Decimal text of n with "," between groups of three digits ("-1,000").
// `buf` must hold THOUSANDS_BUFFER bytes. Returns buf.
inline constexpr std::size_t THOUSANDS_BUFFER = 27;
char* format_thousands(char* buf, std::int64_t n);
std::string thousands(std::int64_t n);

// "2 Files Tagged (1,048,576 bytes), 0 Files Deleted (0 bytes)": the totals
// of the list (one file says "File").
std::string totals_line(std::int32_t tagged_count, std::int64_t tagged_bytes,
                        std::int32_t deleted_count, std::int64_t deleted_bytes);
