// The deletion log "deleted.log": a five-line header when the file is made,
// then one line per deletion:
//
//   Sun Dec  6 04:08:36 2026         2,048 Bytes Deleted "/home/me/a copy"
//
// One deletion is always one line, and each line reads back to exactly one
// path: control bytes are written as C escapes (\n, \t, \xHH, ...), and a
// backslash or a double quote with a backslash before it. A path without any
// of those is written as it is, byte for byte.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// The five header lines and the blank line after them.
std::string deletion_log_header();

// The path as the log writes it: control bytes (below 0x20, and 0x7F) as
// \n, \r, \t or \xHH, a backslash as \\ and a double quote as \"; every
// other byte as it is.
std::string log_path_text(std::string_view path);

// What a log line says was done to the file: "Bytes Deleted", and for the
// other ways of freeing space (and of undoing one) their own words.
inline constexpr const char* LOGGED_DELETED = "Deleted";
inline constexpr const char* LOGGED_TRASHED = "Moved To Trash";
inline constexpr const char* LOGGED_LINKED = "Linked";
inline constexpr const char* LOGGED_CLONED = "Cloned";
inline constexpr const char* LOGGED_RESTORED = "Restored";

// One line, with its line feed: "DATE SIZE Bytes <what> "PATH"".
std::string deletion_log_line(std::time_t when, std::int64_t size, std::string_view path,
                              const char* what = LOGGED_DELETED);

enum class LogWrite {
  WRITTEN,
  FAILED,        // the line could not be written
  LINK_OUTSIDE,  // the log is a symbolic link that leads out of its directory: not written
};

// Appends `line` to the log `file_name`. A log that is empty (made now, or
// left empty by a write that failed) gets the header first; the file is
// locked meanwhile, so two programs never both write it. Never waits on a
// file that is not a regular file (a FIFO is refused). A log that is a
// symbolic link is followed only when it leads to a file in the log's own
// directory (the data directory), one link deep; any other link is left
// alone and nothing is written.
LogWrite append_to_deletion_log(const char* file_name, const std::string& line);
