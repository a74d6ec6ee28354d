#include "core/shared_blocks.h"

#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// bcachefs has no constant in every kernel's headers.
constexpr unsigned long BCACHEFS_MAGIC = 0xca451a4eUL;

// Extents asked for per call: a file in more pieces takes more calls.
constexpr unsigned EXTENTS_PER_CALL = 256;

bool can_share(const struct statfs& sf) {
  const auto magic = static_cast<unsigned long>(sf.f_type);
  return magic == BTRFS_SUPER_MAGIC || magic == XFS_SUPER_MAGIC || magic == BCACHEFS_MAGIC;
}

}  // namespace

bool can_share_blocks(int fd) {
  struct statfs sf;
  return fstatfs(fd, &sf) == 0 && can_share(sf);
}

bool can_share_blocks_at(const char* path) {
  struct statfs sf;
  return statfs(path, &sf) == 0 && can_share(sf);
}

BlockMap block_map_of(int fd) {
  BlockMap map;
  if (!can_share_blocks(fd)) return map;
  const std::size_t bytes = sizeof(struct fiemap) + EXTENTS_PER_CALL * sizeof(struct fiemap_extent);
  std::unique_ptr<char[]> buffer(new char[bytes]);
  auto* fm = reinterpret_cast<struct fiemap*>(buffer.get());
  bool all_shared = true;
  std::uint64_t start = 0;
  for (;;) {
    std::memset(fm, 0, bytes);
    fm->fm_start = start;
    fm->fm_length = FIEMAP_MAX_OFFSET - start;
    fm->fm_extent_count = EXTENTS_PER_CALL;
    if (ioctl(fd, FS_IOC_FIEMAP, fm) != 0) return BlockMap{};
    if (fm->fm_mapped_extents == 0) break;
    bool last = false;
    for (std::uint32_t i = 0; i < fm->fm_mapped_extents; ++i) {
      const struct fiemap_extent& e = fm->fm_extents[i];
      if ((e.fe_flags &
           (FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_DATA_INLINE)) != 0 ||
          (e.fe_flags & FIEMAP_EXTENT_SHARED) == 0) {
        all_shared = false;
      }
      map.extents.push_back({e.fe_logical, e.fe_physical, e.fe_length});
      start = e.fe_logical + e.fe_length;
      if ((e.fe_flags & FIEMAP_EXTENT_LAST) != 0) last = true;
    }
    if (last || fm->fm_mapped_extents < EXTENTS_PER_CALL) break;
  }
  if (map.extents.empty()) return BlockMap{};  // nothing written: nothing to share
  map.known = true;
  map.all_shared = all_shared;
  return map;
}

bool share_all_blocks(const BlockMap& a, const BlockMap& b) {
  return a.known && b.known && a.all_shared && b.all_shared && a.extents == b.extents;
}
