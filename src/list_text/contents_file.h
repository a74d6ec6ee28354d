// The contents file "Contents": the whole result list with its marks, the
// selected row, the scan counters and the totals, saved by "Save Contents"
// and read back by "Restore Contents".
//
//   N\n                      the number of rows
//   N row lines              the seven column texts, each ended by BEL, coded:
//                            the pairs "/*" "*/" "19" "  " "**" ".c" "ho" as
//                            one byte each (0xE0 0xE1 0xE2 0xF2 0xF3 0xF4 0xF5),
//                            every code XOR CONTENTS_SCRAMBLE, then a line feed
//   12 counter lines         selected row, dirs, files, exfiles, exdirs, the two
//                            spare counts, duplicates, tagged count and bytes,
//                            deleted count and bytes
//   ###checksum###\n         12345678 + every code of every row + the counters
//   (identity section)       optional: for each file row the group it was
//                            listed in and what its file was at the scan, for
//                            the checks before a deletion
//
// Every byte 1..255 of a text survives: with CONTENTS_SCRAMBLE = 0x0A only a
// NUL could come out as the line feed, and a text byte that equals a pair
// code, the escape code or BEL is written as the escape code and the byte.
// A list of plain ASCII texts gives exactly the file without escapes. The
// identity section comes after the checksum line, where a reader of the
// plain format stops; a file without it restores all the same.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/row_texts.h"

inline constexpr unsigned char CONTENTS_SCRAMBLE = 0x0A;
inline constexpr unsigned char CONTENTS_ESCAPE = 0xF6;
inline constexpr std::int32_t CONTENTS_CHECKSUM_START = 12345678;
inline constexpr int CONTENTS_COUNTERS = 12;
// More rows than any list holds: a larger count is a damaged file.
inline constexpr std::int64_t CONTENTS_MAX_ROWS = 1000000;

struct ContentsRow {
  std::string col[COLUMN_COUNT];
  FileIdentity identity;   // type 0 when none was saved
  std::int64_t group = 0;  // the group a file row was listed in; 0 when not saved
};

struct Contents {
  std::vector<ContentsRow> rows;
  // The selected row, then the counters in file order.
  std::array<std::int64_t, CONTENTS_COUNTERS> counters{};
  bool identities = false;  // the file carried a good identity section
};

// The whole file for these rows and counters.
std::string encode_contents(const Contents& contents);

// Appends one coded row line (with its line feed) and adds its codes to
// the checksum.
void encode_row_line(const std::string (&col)[COLUMN_COUNT], std::string& out,
                     std::uint32_t& checksum);

// Reads a file's bytes. False for a damaged file of any shape (cut short,
// changed bytes, a wrong checksum, a row count or a row longer than any
// list has, a counter that is not a number); `out` is then unspecified. A
// damaged identity section is dropped, the rows kept.
bool decode_contents(std::string_view bytes, Contents& out);

// The same from an open file, read in pieces (never more than the file
// holds is kept in memory).
bool decode_contents_file(int fd, Contents& out);
