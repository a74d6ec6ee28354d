// The deletion log "deleted.log": a five-line header when the file is made,
// then one line per deletion:
//
//   Sun Dec  6 04:08:36 2026         2,048 Bytes Deleted "/home/me/a copy"
//
// One deletion is always one line: a path holding a control byte (a line
// feed, say) is written with C escapes. Every other path is written as it
// is, byte for byte.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// The five header lines and the blank line after them.
std::string deletion_log_header();

// The path as the log writes it: unchanged unless it holds a control byte
// (below 0x20, or 0x7F); then \n, \r, \t, \\, \" and \xHH for the others.
std::string log_path_text(std::string_view path);

// One deletion's line, with its line feed; `trashed` says "Bytes Moved To
// Trash" in place of "Bytes Deleted".
std::string deletion_log_line(std::time_t when, std::int64_t size, std::string_view path,
                              bool trashed);

// Appends `line` to the log `file_name`. The call that creates the file
// writes the header first; no other call ever does. Never waits on a file
// that is not a regular file (a FIFO is refused). False when the line could
// not be written.
bool append_to_deletion_log(const char* file_name, const std::string& line);
