// Two names of one inode have the same contents by definition: they are not
// spare copies, and deleting one frees nothing. A group's rows are walked in
// order and each file row is told whether an earlier row of its group is
// the same file (same device and inode), and which.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "core/row_texts.h"

class HardLinkTracker {
 public:
  // A group header or comment row: the next rows are another group.
  void new_group() { first_names_.clear(); }

  // For a file row: the path of the first earlier row of the group that is
  // this very file, or null. A row without a full identity is never one.
  const std::string* earlier_name(const FileIdentity& id, const std::string& path) {
    if (!id.known() || id.size_only()) return nullptr;
    auto [it, inserted] = first_names_.try_emplace({id.device, id.inode}, path);
    return inserted ? nullptr : &it->second;
  }

 private:
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::string> first_names_;
};
