// What one list row is, as plain data shared by the scanner (which makes
// rows), the interface (which lists them) and the headless command (which
// prints them), and the pure number formatting both sides use.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr int COLUMN_COUNT = 7;

// The file a row names, as the scan saw it. A deletion goes ahead only when
// the file on disk is still this one: same device and inode, same size, same
// modification and change times to the nanosecond and same type. The change
// time (ctime) is there because a tool can put a modification time back
// after rewriting a file, never its change time.
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
  std::int64_t ctime_sec = 0;
  std::int32_t ctime_nsec = 0;

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
// file could not be examined). `group` is the group a file row was saved in
// (a list read back from a file); 0 for a row that belongs to the group its
// header opened, as every row of a scan does.
struct RowTexts {
  const char* col[COLUMN_COUNT];
  const FileIdentity* identity = nullptr;
  std::int64_t group = 0;
};

// What kind a row is, from its texts: the one rule every reader of rows
// (the list, the outputs, the contents file) goes by.
enum RowKind {
  ROW_NONE = 0,     // outside the list, or none of the shapes below
  ROW_COMMENT = 1,  // "/*" and a message
  ROW_GROUP = 2,    // "/*" "Group N " "(first - last)" "*/"
  ROW_FILE = 3,     // " " and a path
  ROW_TAGGED = 4,   // "*" and a path
  ROW_DELETED = 5,  // "D" and a path
};

// The kind of a row from its mark (column 0), first text (column 1) and
// path (column 6). A group header is recognised before a comment row.
RowKind classify_texts(std::string_view mark, std::string_view first, std::string_view path);

// The kind of a row from its texts.
inline RowKind classify_texts(const RowTexts& row) {
  return classify_texts(row.col[0], row.col[1], row.col[COLUMN_COUNT - 1]);
}

// Whether a row of that kind is a group header or a comment row: a row
// that names no file and ends the group before it.
inline bool is_marker_kind(RowKind kind) { return kind == ROW_GROUP || kind == ROW_COMMENT; }

// Whether a row of that kind names a file (plain, tagged or deleted).
inline bool is_file_kind(RowKind kind) {
  return kind == ROW_FILE || kind == ROW_TAGGED || kind == ROW_DELETED;
}

// Decimal text of n with "," between groups of three digits ("-1,000").
// `buf` must hold THOUSANDS_BUFFER bytes. Returns buf.
inline constexpr std::size_t THOUSANDS_BUFFER = 27;
char* format_thousands(char* buf, std::int64_t n);
std::string thousands(std::int64_t n);

// "2 Files Tagged (1,048,576 bytes), 0 Files Deleted (0 bytes)": the totals
// of the list (one file says "File"); with the trash on, "... Files Moved To
// Trash (...)".
std::string totals_line(std::int32_t tagged_count, std::int64_t tagged_bytes,
                        std::int32_t deleted_count, std::int64_t deleted_bytes,
                        bool to_trash = false);
