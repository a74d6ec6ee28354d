// Files that already share their blocks. On a file system that can clone
// (btrfs, XFS), two files with the same bytes may already be one set of
// blocks on disk: cloning one again frees nothing. FIEMAP tells, for each
// extent of a file, where it lies on the device and whether it is shared;
// a file whose every extent is shared and lies where the other file's
// extents lie needs no clone, and its bytes are no spare copy.
//
// Only file systems that can share blocks are asked (by their statfs
// magic): on ext4 or tmpfs nothing is ever shared, and the scan pays
// nothing there.
#pragma once

#include <cstdint>
#include <vector>

struct FileExtent {
  std::uint64_t logical = 0;   // where in the file
  std::uint64_t physical = 0;  // where on the device
  std::uint64_t length = 0;
  bool operator==(const FileExtent&) const = default;
};

// Where an open file's bytes lie. `known` false when the file system can
// not say (or could not share blocks at all); `all_shared` when every
// extent is marked shared and none is still to be placed.
struct BlockMap {
  bool known = false;
  bool all_shared = false;
  std::vector<FileExtent> extents;
};

// Whether the open file lies on a file system that can share blocks
// between files (btrfs, XFS, bcachefs).
bool can_share_blocks(int fd);
// The same for the file system that holds `path`.
bool can_share_blocks_at(const char* path);

// The extents of the open file. Data not yet written out has no place on
// the device and is shared with nothing: such a file is never all shared.
// Not known on a file system that can not share blocks, for a file with no
// data on the device, or when FIEMAP fails.
BlockMap block_map_of(int fd);

// Whether the two files (on one file system) already share all their
// blocks: both maps known, every extent of both shared, and the same
// extents at the same places.
bool share_all_blocks(const BlockMap& a, const BlockMap& b);
