// The texts of the result rows: file rows, group headers and comment rows,
// each seven column texts handed to the list through the scan block.
#pragma once

#include <sys/stat.h>

#include <cstdint>

#include "core/scan_block.h"

// Decimal text of n with "," between groups of three digits ("-1,000").
// `buf` must hold 27 bytes. Returns buf.
char* format_thousands(char* buf, std::int64_t n);
inline constexpr std::size_t THOUSANDS_BUFFER = 27;

// Ten characters and a NUL for the mode bits 01000 down to 0001, from the
// template "lrwxrwxrwx" (the first position is the sticky bit, not the type).
void perm_string(char out[11], mode_t mode);

// The file time the settings choose: 2 access time, 1 status-change time,
// anything else the modification time.
time_t chosen_file_time(const struct stat& st, int time_kind);

// Sends a file row. `st` is a fresh lstat record of the file, or null when
// the file could not be examined again (date, time, size and mode then stay
// empty, so the row never shows another file's values). The CRC column
// shows `crc_text` when given, else the CRC as eight hex digits.
bool send_file_row(ScanBlock& block, int time_kind, const struct stat* st, std::uint32_t crc,
                   const char* crc_text, const char* path);

// "/*", "Group N ", "(first - last)", "*/".
bool send_group_header(ScanBlock& block, long group_no, long first_entry, long last_entry);

// "/*", the texts, and "*/" in the column after the last text. A text too
// long for its column is replaced whole by "Error #1".
bool send_comment_row(ScanBlock& block, const char* first, const char* second = nullptr,
                      const char* third = nullptr);
