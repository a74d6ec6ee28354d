// Reading a file's contents for the CRC pass: the CRC-32 that the list
// shows and, in the same read, a 128-bit XXH3 hash that confirms equal
// contents (two different files can share a CRC-32; they practically never
// share both).
//
// A symbolic link is never followed: its contents are its link text, which
// agrees with its lstat size. Devices, pipes and sockets are never opened
// (opening some devices does things: a tape rewinds, a watchdog arms); with
// the type the walk saw they are not even tried, and without it only a
// regular file opened without blocking is read. They count as unreadable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/unique_fd.h"

struct FileDigest {
  bool ok = false;          // false: the file could not be read to its end
  std::uint32_t crc = 0;    // CRC-32 (zlib's), 0 for an empty file
  std::int64_t bytes = 0;   // bytes read
  std::uint64_t hash_high = 0, hash_low = 0;  // XXH3-128, when asked for
};

class FileReader {
 public:
  FileReader();
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Reads the whole file once. `with_hash` adds the XXH3-128. `keep_going`
  // is asked between large reads; when it says no, the digest fails.
  // `known_type` is the S_IFMT type the walk saw (0: not known).
  FileDigest digest(const char* path, bool with_hash, bool (*keep_going)(const void*) = nullptr,
                    const void* arg = nullptr, std::uint32_t known_type = 0);

  // Reads at most `limit` bytes from the start of the file and hashes them
  // (64-bit). When the file ends within them, `whole` gets the complete
  // digest (CRC and 128-bit hash), `complete` is set and the probe hash is
  // taken from the whole digest. Equal files give equal probe hashes. False
  // when the file cannot be read.
  bool probe(const char* path, std::size_t limit, std::uint64_t& probe_hash, FileDigest& whole,
             bool& complete, std::uint32_t known_type = 0);

 private:
  static constexpr std::size_t BUFFER_SIZE = 1 << 20;
  enum class Contents { UNREADABLE, FILE, LINK };
  Contents open_contents(const char* path, std::uint32_t known_type, UniqueFd& fd,
                         std::size_t& length);
  FileDigest digest_of_buffer(std::size_t length);
  std::unique_ptr<unsigned char[]> buffer_;
  struct HashState;
  std::unique_ptr<HashState> hash_;
};
