// What the delete commands do to the disk (look, remove, move to the trash,
// write the log), behind a small interface, so a test can refuse a removal
// or change a file between the scan and the deletion.
//
// The disk's version never acts on a path that has changed since the scan:
// the directory holding the file is opened without following a symbolic
// link in any component, the name is looked at in that directory (not
// following a link either) and must still be the file the scan saw, and the
// removal, or the move to the trash, is done on that same directory. A
// parent directory swapped for a symbolic link after the scan can never
// redirect a deletion.
//
// Nor is a file removed as a copy on the word of the scan alone: its five
// identity values, and what an earlier scan read of it, can all be the same
// while its bytes are not (a write through a shared memory map into a page
// already dirty moves no time stamp; a disk image changed while unmounted
// keeps every value). So at the moment of the removal the file is opened,
// checked against the scan's identity and compared byte for byte with a
// copy of its group that stays, through the very descriptors checked; and
// its name is removed only while it still names the file compared.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/row_texts.h"
#include "core/unique_fd.h"
#include "list_text/deletion_log.h"

// Where move_to_trash put a file: enough to find it there again and put it
// back. The trash's two directories stay open, one descriptor each for all
// the files moved to one trash.
struct TrashedFile {
  std::shared_ptr<UniqueFd> files, info;  // the trash's "files" and "info" directories
  std::string name;                       // in files/; its record is info/NAME.trashinfo
  std::string record;  // the record as written: the original path and the deletion date
};

struct FileOutcome {
  enum Kind {
    DONE,     // removed (or moved to the trash, or put back from it)
    CHANGED,  // gone, or no longer the file the scan saw: nothing was done
    FAILED,   // the system refused: nothing was done
    // Compared byte for byte, the file differs from every copy that stays
    // (`kept` names the first): nothing was done.
    CONTENTS_DIFFER,
    // No copy that stays is still the file the scan saw (nor another file
    // than this one): nothing was done.
    KEPT_CHANGED,
  };
  Kind kind;
  std::string reason;                              // for FAILED: why, in words
  std::shared_ptr<TrashedFile> trashed = nullptr;  // move_to_trash: where the file went
  FileIdentity now{};  // restore_from_trash: the file as it is back in its place
  // CONTENTS_DIFFER: the copy compared; DONE: the copy found to hold the
  // same bytes (empty for the last copy of a group).
  std::string kept{};
  // DONE by remove or move_to_trash: the file as its other names (hard
  // links) see it now, for taking one name away moves its change time;
  // type 0 when that is not known or no name is left.
  FileIdentity remaining{};
};

// A copy that stays when a file of its group goes: its path and the
// identity the scan saw.
struct StayingCopy {
  std::string path;  // bytes
  FileIdentity seen;
};

// What a file is removed (or moved to the trash) against: the copies of its
// group that stay, one of which must hold the same bytes at that moment; or,
// for the last copy of its group that the user chose to let go after its own
// question, nothing (`last_copy`). No copies and not the last copy: the file
// stays (KEPT_CHANGED).
struct StayingCopies {
  std::vector<StayingCopy> copies;
  bool last_copy = false;
};

// Replacing a file by another name of the kept copy (a hard link), or by a
// copy-on-write clone of it.
enum class Replacement { HARD_LINK, CLONE };

struct ReplaceOutcome {
  enum Kind {
    DONE,
    CHANGED,       // the file is no longer the one the scan saw
    KEPT_CHANGED,  // the kept copy is gone or no longer the one the scan saw
    OTHER_FILE_SYSTEM,
    CONTENTS_DIFFER,      // compared byte for byte, the two differ
    NOT_SUPPORTED,        // the file system can not clone (reason: the system's words)
    EMPTY,                // an empty file: nothing to free, and unrelated empty files would
                          // become one
    ACCESS_DIFFERS,       // a link: owner, group, mode or access list differ from the kept copy's
    ATTRIBUTES_NOT_KEPT,  // a clone: the file's extended attributes could not all be kept
    ALREADY_SHARED,       // a clone: every block of the file is the kept copy's already
    FAILED,               // the system refused (reason: its words)
  };
  Kind kind;
  std::string reason;
  FileIdentity now{};       // DONE: the file at the path now
  FileIdentity kept_now{};  // DONE: the kept copy now (a new link changes its ctime)
  // DONE: the replaced file now, for its other names (one name fewer changes
  // its ctime); type 0 when it has none left.
  FileIdentity replaced_now{};
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Whether `path` still names the file the scan saw (an unknown identity
  // never matches).
  virtual bool unchanged(const std::string& path, const FileIdentity& seen) = 0;
  // Removes the file when it is still that one and, compared byte for byte
  // just now, holds the same bytes as one of the `staying` copies (see
  // StayingCopies). A symbolic link holds no file's bytes: it goes without
  // a comparison.
  virtual FileOutcome remove(const std::string& path, const FileIdentity& seen,
                             const StayingCopies& staying) = 0;
  // The same, moving the file to the desktop trash of its own file system
  // instead; DONE says where it went.
  virtual FileOutcome move_to_trash(const std::string& path, const FileIdentity& seen,
                                    const StayingCopies& staying) = 0;
  // Every check remove makes, the comparison included, without changing
  // anything (a dry run): DONE when the file would go.
  virtual FileOutcome check_removal(const std::string& path, const FileIdentity& seen,
                                    const StayingCopies& staying) = 0;
  // Puts a file move_to_trash moved back at `path`, never over a file that
  // is there now (FAILED, the file stays in the trash), and only when the
  // trash still holds it under its record (CHANGED otherwise).
  virtual FileOutcome restore_from_trash(const TrashedFile& trashed, const std::string& path) = 0;
  // Replaces the file `path` (still the one `seen`) by a hard link to, or a
  // clone of, `kept` (still the one `kept_seen`), once the two are found to
  // hold the same bytes, compared byte for byte. The new name is made under
  // a temporary name in the file's directory and renamed over it, so the
  // name is never missing; on any failure the file is left as it was and no
  // temporary name is left. A clone gets the file's mode, owner (where
  // permitted), times and every extended attribute (its access list among
  // them), or is not made. A link, which gives the name the kept copy's
  // owner, mode and access list, is made only where those are the file's
  // own already. An empty file is neither linked nor cloned, nor is a file
  // cloned that shares all its blocks with the kept copy already.
  virtual ReplaceOutcome replace_with_copy(const std::string& path, const FileIdentity& seen,
                                           const std::string& kept, const FileIdentity& kept_seen,
                                           Replacement how) = 0;
  // Appends a line to the deletion log (see deletion_log.h).
  virtual LogWrite append_to_log(const std::string& log_file, const std::string& line) = 0;
  // Whether both paths name one file now (see one_file: hard links, one
  // file seen through two paths, as a bind mount shows it, or through two
  // mounts, as an overlay shows its lower folder's files).
  virtual bool same_file(const std::string& a, const std::string& b) = 0;
  // Whether both paths name regular files (no symbolic link followed) that
  // share all their blocks now (see shared_blocks.h): a clone of one for the
  // other would free nothing.
  virtual bool share_blocks(const std::string& a, const std::string& b) = 0;
  // Whether both paths name regular files (no symbolic link followed) with
  // one owner, group, mode and access list now: a hard link of one in place
  // of the other would open it to no one new.
  virtual bool same_access(const std::string& a, const std::string& b) = 0;
  // Whether both paths name regular files (no symbolic link followed) whose
  // contents are the same bytes now. For rows whose scan identities are not
  // known: their sizes alone say nothing of their contents.
  virtual bool same_contents(const std::string& a, const std::string& b) = 0;
};

class DiskFileSystem : public FileSystem {
 public:
  bool unchanged(const std::string& path, const FileIdentity& seen) override;
  FileOutcome remove(const std::string& path, const FileIdentity& seen,
                     const StayingCopies& staying) override;
  FileOutcome move_to_trash(const std::string& path, const FileIdentity& seen,
                            const StayingCopies& staying) override;
  FileOutcome check_removal(const std::string& path, const FileIdentity& seen,
                            const StayingCopies& staying) override;
  LogWrite append_to_log(const std::string& log_file, const std::string& line) override;
  bool same_file(const std::string& a, const std::string& b) override;
  bool same_contents(const std::string& a, const std::string& b) override;
  bool share_blocks(const std::string& a, const std::string& b) override;
  bool same_access(const std::string& a, const std::string& b) override;
  FileOutcome restore_from_trash(const TrashedFile& trashed, const std::string& path) override;
  ReplaceOutcome replace_with_copy(const std::string& path, const FileIdentity& seen,
                                   const std::string& kept, const FileIdentity& kept_seen,
                                   Replacement how) override;

  // For tests: when set, move_to_trash runs it after finding the file still
  // the scanned one and before moving it, so a test can change the disk in
  // between.
  std::function<void()> after_trash_check;
  // For tests: when set, remove and move_to_trash run it after the file was
  // found still the scanned one and before its bytes are compared.
  std::function<void()> before_comparing;
  // For tests: when set, replace_with_copy runs it once the new name exists
  // under its temporary name, before the rename; returning false makes the
  // rename fail there.
  std::function<bool()> before_replacing_rename;
};

// The directory that holds the absolute `path`, opened (O_PATH) without
// following a symbolic link in any component; `name` gets the last
// component. Invalid, with errno set, when that is not possible. openat2
// does it in one call; `use_openat2` false (or a kernel without it) walks
// the components one by one with O_NOFOLLOW.
UniqueFd open_parent_directory(const std::string& path, std::string& name, bool use_openat2 = true);
