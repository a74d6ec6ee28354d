// The clean-up of one group's tagged files without a window (the headless
// command's --apply): each tagged file is deleted, moved to the trash, or
// replaced by a hard link to (or a clone of) the group's kept copy, with the
// checks the window's commands make — the file still the one the scan saw,
// reached without following a link; never the last copy of its group; for a
// link or a clone, a kept copy still as scanned, on the same file system,
// holding the same bytes, compared byte for byte.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/row_texts.h"
#include "disk/file_system.h"

enum class CleanupAction { DELETE, TRASH, HARD_LINK, CLONE };

// "delete", "trash", "hardlink", "clone".
bool cleanup_action_from_name(const std::string& name, CleanupAction& action);

struct CleanupMember {
  std::string path;  // bytes
  FileIdentity seen;
  bool tagged = false;
  bool gone = false;  // deleted or moved to the trash by this clean-up
};

struct CleanupStep {
  enum Kind {
    DONE,
    SKIPPED,
    SHARED,  // a clone: the file shares all its blocks with the kept copy already
  } kind;
  std::string reason;  // SKIPPED: why, in a few words
  std::string kept;    // a link or a clone: the kept copy's path
};

// Whether a member other than `i` is a copy of it on disk now: another file
// (not a name of the same one) still as the scan saw it, not gone.
bool another_copy_remains(FileSystem& files, const std::vector<CleanupMember>& group,
                          std::size_t i);
// The kept copy for a link or clone of member `i`: the first untagged member
// that is a regular file still as scanned and not a name of `i`'s own file;
// -1 when there is none.
long kept_copy(FileSystem& files, const std::vector<CleanupMember>& group, std::size_t i);

// A link made or taken away moves a file's change time: the file the scan
// saw as `was` is now `now`. True when `seen` names that file and is to
// become `now` (never for a list that knows only sizes).
bool is_renewed_by(const FileIdentity& seen, const FileIdentity& was, const FileIdentity& now);

// Acts on the tagged member `i` of `group` (or, with `dry_run`, checks
// everything that can be checked without changing anything). The group's
// members are updated as the disk now is: gone, or their new identities.
CleanupStep clean_up_member(FileSystem& files, std::vector<CleanupMember>& group, std::size_t i,
                            CleanupAction action, bool dry_run);
