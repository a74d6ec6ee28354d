// The clean-up of one group's tagged files without a window (the headless
// command's --apply): each tagged file is deleted, moved to the trash, or
// replaced by a hard link to (or a clone of) the group's kept copy, with the
// checks the window's commands make — the file still the one the scan saw,
// reached without following a link; never the last copy of its group; its
// bytes, compared byte for byte at that moment, those of a copy that stays
// (for a delete or a move to the trash, an untagged copy still as scanned;
// for a link or a clone, the kept copy, also on the same file system).
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
  // SKIPPED because the file's bytes differ from the kept copy's now: the
  // two files, as the scan saw them (what an earlier scan read of them is
  // not to be believed any more).
  std::vector<FileIdentity> differing = {};
};

// The reason a file is skipped when its bytes differ from the copy that
// stays.
inline constexpr const char* CONTENTS_DIFFER_FROM_KEPT = "contents differ from the kept copy";

// Which members a command acts on: those that are not acted on stay.
enum class Acting {
  ONE_FILE,  // a single file (Delete File, the Info box's Delete)
  TAGGED,    // the tagged ones (Delete All Tagged, the headless clean-up)
  UNTAGGED,  // the untagged ones (Delete All NON-Tagged)
};

// Whether a member other than `i` is a copy of it on disk now: another file
// (not a name of the same one) still as the scan saw it, not gone.
bool another_copy_remains(FileSystem& files, const std::vector<CleanupMember>& group,
                          std::size_t i);
// The copies of member `i` that stay when it goes: the members the command
// does not act on that are copies of it on disk now (see
// another_copy_remains). In a group the command takes whole, those are the
// other members still on disk: each of them is compared in its turn, and the
// last one is the last copy of its group. None: `i` is the last copy.
StayingCopies staying_copies(FileSystem& files, const std::vector<CleanupMember>& group,
                             std::size_t i, Acting acting);
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
