#include "core/hard_links.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/unique_fd.h"

const std::string* HardLinkTracker::earlier_sharer(const FileIdentity& id,
                                                   const std::string& path) {
  if (!id.known() || id.type != S_IFREG || id.size == 0) return nullptr;
  // The first file of each device tells whether its file system can share
  // blocks at all; elsewhere no file is opened.
  auto known = device_shares_.find(id.device);
  if (known == device_shares_.end()) {
    known = device_shares_.emplace(id.device, can_share_blocks_at(path.c_str())).first;
  }
  if (!known->second) return nullptr;
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (!fd || fstat(fd.get(), &st) != 0 || !still_the_same(id, identity_of(st))) return nullptr;
  BlockMap blocks = block_map_of(fd.get());
  if (!blocks.known || !blocks.all_shared) return nullptr;  // shared with no one
  for (const Sharer& s : sharers_) {
    if (s.id.device == id.device && s.id.size == id.size && share_all_blocks(s.blocks, blocks)) {
      return &s.path;
    }
  }
  sharers_.push_back({id, std::move(blocks), path});
  return nullptr;
}
