// Reading and writing the program's fixed-size record files ("Settings",
// "State"): raw byte images whose only check is the header text.
#pragma once

#include <cstddef>

// Reads the file `name` into `record` when it begins with the record header
// (the 22 header characters and the NUL after them; byte 23 is not looked at).
// A file shorter than `size` replaces only the leading bytes it holds.
// Returns false, leaving `record` untouched, when the file cannot be opened
// (errno tells why), is not a regular file (errno EINVAL: a FIFO is never
// waited on) or its header differs (errno 0).
bool read_record_file(const char* name, void* record, std::size_t size);

// Writes `size` bytes of `record` to the file `name`, replacing it whole:
// the bytes go to "<name>.new" first, which is then renamed over `name`, so
// a write cut short never leaves a damaged record file behind. The
// temporary file is made exclusively, never through a link planted at its
// name; when `name` is a symbolic link, the file it leads to is replaced
// (the link stays); a replaced file keeps its mode; a file the user may not
// write is left alone (false, errno EACCES).
// Uses only async-signal-safe calls: the shutdown sequence calls it from a
// signal handler. Returns false, with errno telling why, when the file could
// not be written.
bool write_record_file(const char* name, const void* record, std::size_t size);
