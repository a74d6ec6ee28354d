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

// The step of write_record_file that failed, so that a message can name
// the file that failed:
//   TARGET     the record file itself: its name leads nowhere (a loop of
//              links, a name too long) or the user may not write it;
//   TEMPORARY  "<target>.new" could not be made or written (something that
//              is not a link stands at that name, the disk is full);
//   RENAME     the temporary file could not be renamed over the record
//              file (a directory stands there, say).
// NONE when the write succeeded.
enum class RecordWriteStep { NONE, TARGET, TEMPORARY, RENAME };

// Writes `size` bytes of `record` to the file `name`, replacing it whole:
// the bytes go to "<target>.new" first, which is then renamed over the
// target, so a write cut short never leaves a damaged record file behind.
// The target is `name`, or, when `name` is a symbolic link, the file it
// leads to (record_file_target; the link stays). The temporary file is made
// exclusively, never through a link planted at its name; a replaced file
// keeps its mode, a new one gets 0666 less the umask; a file the user may not
// write is left alone (false, errno EACCES).
// Uses only async-signal-safe calls and allocates nothing: the shutdown
// sequence calls it from a signal handler. Returns false, with errno telling
// why and `*failed` (when given) the step that failed, when the file could
// not be written.
bool write_record_file(const char* name, const void* record, std::size_t size,
                       RecordWriteStep* failed = nullptr);

// The file write_record_file replaces for `name` into `out` (`out_size`
// bytes): `name` with its symbolic links followed (at most 8), relative to
// where `name` is when a link is relative. False, with errno, when the path
// does not fit or the links loop. Async-signal-safe.
bool record_file_target(const char* name, char* out, std::size_t out_size);
