// The texts of the result rows: file rows, group headers and comment rows.
// The builders are pure: they return a row's seven texts (and a file row's
// identity); sending a row through the scan block is one step beside them.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "core/row_texts.h"
#include "core/scan_block.h"
#include "scan/group_tree.h"

// The seven texts of a row, owned, with the file identity of a file row.
struct BuiltRow {
  std::string col[COLUMN_COUNT];
  FileIdentity identity;  // type 0 unless the row names a file that was examined

  // Views of the texts, valid while this row lives.
  RowTexts texts() const;
};

// Ten characters and a NUL for the mode bits 01000 down to 0001, from the
// template "lrwxrwxrwx" (the first position is the sticky bit, not the type).
void perm_string(char out[11], mode_t mode);

// The file time the settings choose: 2 access time, 1 status-change time,
// anything else the modification time.
time_t chosen_file_time(const struct stat& st, int time_kind);

// What a row needs of a file's lstat record, with the time the settings
// choose.
FileFacts facts_of(const struct stat& st, int time_kind);

// A file row from what the walk found of the file (`facts`), or with empty
// date, time, size and mode when nothing is known (null, or facts the walk
// did not fill): the row never shows another file's values, and then no
// identity is known. The CRC column shows `crc_text` when given, else the
// CRC as eight hex digits.
BuiltRow file_row(const FileFacts* facts, std::uint32_t crc, const char* crc_text,
                  const char* path);
// The same from an lstat record (or null).
BuiltRow file_row(int time_kind, const struct stat* st, std::uint32_t crc, const char* crc_text,
                  const char* path);

// "/*", "Group N ", "(first - last)", "*/".
BuiltRow group_header_row(long group_no, long first_entry, long last_entry);

// "/*", the texts, and "*/" in the column after the last text. A text too
// long for its column is replaced whole by "Error #1".
BuiltRow comment_row(const char* first, const char* second = nullptr, const char* third = nullptr);

// Building and posting in one step (post_row of the scan channel).
bool send_file_row(ScanBlock& block, int time_kind, const struct stat* st, std::uint32_t crc,
                   const char* crc_text, const char* path);
bool send_group_header(ScanBlock& block, long group_no, long first_entry, long last_entry);
bool send_comment_row(ScanBlock& block, const char* first, const char* second = nullptr,
                      const char* third = nullptr);
