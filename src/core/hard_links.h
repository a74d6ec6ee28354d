// Which names are one file. Two names of one inode have the same contents
// by definition: they are not spare copies, and deleting one frees nothing.
// The same holds for one file seen through two mounts: an overlay shows the
// files of its lower folder on a device of its own, with their own inode
// numbers, sizes and times; deleting the lower name deletes what the upper
// one shows too.
//
// one_file() is the one rule for "the same file" (the list, the outputs,
// the rule engine and every action go by it), and a group's rows are walked
// in order and each file row is told whether an earlier row of its group is
// the same file, and which; or, short of that, another file whose blocks it
// all shares already (a clone of it: see shared_blocks.h), which frees no
// more space than a hard link would.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <string>

#include "core/row_texts.h"
#include "core/shared_blocks.h"

// Whether `a` and `b` name one file: one device and inode (two hard links,
// or one file under a bind mount), or, on two devices, one inode number,
// size and modification time to the nanosecond (one file seen through two
// mounts). Two files that only happen to agree in all three are taken for
// one: the safe side, as one is then never removed, linked or cloned for
// the other. Identities that are not known, or know only a size, never
// name one file.
inline bool one_file(const FileIdentity& a, const FileIdentity& b) {
  if (!a.known() || !b.known() || a.size_only() || b.size_only()) return false;
  if (a.inode != b.inode || a.type != b.type) return false;
  if (a.device == b.device) return true;
  return a.size == b.size && a.mtime_sec == b.mtime_sec && a.mtime_nsec == b.mtime_nsec;
}

class HardLinkTracker {
 public:
  // A group header or comment row: the next rows are another group.
  void new_group() {
    first_names_.clear();
    sharers_.clear();
  }

  // For a file row: the path of the first earlier row of the group that is
  // this very file (see one_file), or null. A row without a full identity
  // is never one.
  const std::string* earlier_name(const FileIdentity& id, const std::string& path) {
    if (!id.known() || id.size_only()) return nullptr;
    std::list<Seen>& same_inode = first_names_[id.inode];
    for (const Seen& s : same_inode) {
      if (one_file(s.id, id)) return &s.path;
    }
    same_inode.push_back({id, path});
    return nullptr;
  }

  // For a file row that is no other name of an earlier row's file: the
  // path of the first earlier row of the group (asked here too) that is
  // another file whose blocks this one all shares, or null. Only a regular
  // file on a file system that can share blocks is opened and asked where
  // its blocks lie (one statfs per device tells): elsewhere this costs
  // nothing.
  const std::string* earlier_sharer(const FileIdentity& id, const std::string& path);

 private:
  struct Sharer {
    FileIdentity id;
    BlockMap blocks;
    std::string path;
  };
  std::list<Sharer> sharers_;                    // the group's files whose every block is shared
  std::map<std::uint64_t, bool> device_shares_;  // by device: whether it can share blocks
  struct Seen {
    FileIdentity id;
    std::string path;
  };
  // By inode number: the files seen, each with its first name (in a list:
  // a name handed out stays where it is while others are added).
  std::map<std::uint64_t, std::list<Seen>> first_names_;
};
