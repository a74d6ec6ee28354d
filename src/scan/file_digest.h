// Reading a file's contents for the CRC pass: the CRC-32 that the list
// shows and, in the same read, a 128-bit XXH3 hash that confirms equal
// contents (two different files can share a CRC-32; they practically never
// share both).
//
// A symbolic link's contents are those of the file it leads to, opened
// through the link (the directory holding the link is still reached without
// following any): a link to a regular file is read as that file, at its size
// of now; a dangling link, or one to anything but a regular file, is
// unreadable and grouped with nothing. Devices, pipes and sockets are never
// opened (opening some devices does things: a tape rewinds, a watchdog
// arms); with the type the walk saw they are not even tried, a link's target
// is looked at before it is opened, and without a type only a regular file
// opened without blocking is read. They count as unreadable.
//
// A file the walk saw is opened by a path that holds no symbolic link (the
// walk never follows one), so no directory swapped for a link since can
// lead the open anywhere else; its type and size are the walk's, so it is
// not looked at again. A file whose size is no longer the one the walk saw
// has changed since and counts as unreadable: it cannot be a copy of the
// others of its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/unique_fd.h"

struct FileDigest {
  bool ok = false;                            // false: the file could not be read to its end
  std::uint32_t crc = 0;                      // CRC-32 (zlib's), 0 for an empty file
  std::int64_t bytes = 0;                     // bytes read
  std::uint64_t hash_high = 0, hash_low = 0;  // XXH3-128, when asked for
};

// What reading a file's beginning found.
struct FileProbe {
  bool readable = false;   // false: the file could not be read
  bool complete = false;   // the file ended within the limit: `whole` is its digest
  std::uint64_t hash = 0;  // equal files give equal hashes
  FileDigest whole;
};

// What the walk saw of a file: its S_IFMT type and its size.
struct FileSeen {
  std::uint32_t type = 0;  // 0: not seen, look at the file once it is open
  std::int64_t size = 0;
};

class FileReader {
 public:
  FileReader();
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Reads the whole file once. `with_hash` adds the XXH3-128. `keep_going`
  // is asked between large reads; when it says no, the digest fails.
  FileDigest digest(const char* path, bool with_hash, bool (*keep_going)(const void*) = nullptr,
                    const void* arg = nullptr, FileSeen seen = {});

  // Reads at most `limit` bytes from the start of the file and hashes them
  // (64-bit). When the file ends within them, the probe holds the complete
  // digest (CRC and 128-bit hash) and its hash is taken from that.
  FileProbe probe(const char* path, std::size_t limit, FileSeen seen = {});

 private:
  static constexpr std::size_t BUFFER_SIZE = 1 << 20;
  bool open_contents(const char* path, FileSeen seen, UniqueFd& fd, std::size_t& length);
  FileDigest digest_of_buffer(std::size_t length);
  std::unique_ptr<unsigned char[]> buffer_;
  struct HashState;
  std::unique_ptr<HashState> hash_;
};
