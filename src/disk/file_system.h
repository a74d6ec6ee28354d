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
#pragma once

#include <functional>
#include <string>

#include "core/row_texts.h"
#include "core/unique_fd.h"
#include "list_text/deletion_log.h"

struct FileOutcome {
  enum Kind {
    DONE,     // removed (or moved to the trash)
    CHANGED,  // gone, or no longer the file the scan saw: nothing was done
    FAILED,   // the system refused: nothing was done
  };
  Kind kind;
  std::string reason;  // for FAILED: why, in words
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Whether `path` still names the file the scan saw (an unknown identity
  // never matches).
  virtual bool unchanged(const std::string& path, const FileIdentity& seen) = 0;
  // Removes the file when it is still that one.
  virtual FileOutcome remove(const std::string& path, const FileIdentity& seen) = 0;
  // Moves the file to the desktop trash of its own file system when it is
  // still that one.
  virtual FileOutcome move_to_trash(const std::string& path, const FileIdentity& seen) = 0;
  // Appends a line to the deletion log (see deletion_log.h).
  virtual LogWrite append_to_log(const std::string& log_file, const std::string& line) = 0;
  // Whether both paths name one file now (one device and inode: hard links,
  // or one file seen through two paths, as a bind mount shows it).
  virtual bool same_file(const std::string& a, const std::string& b) = 0;
  // Whether both paths name regular files (no symbolic link followed) whose
  // contents are the same bytes now. For rows whose scan identities are not
  // known: their sizes alone say nothing of their contents.
  virtual bool same_contents(const std::string& a, const std::string& b) = 0;
};

class DiskFileSystem : public FileSystem {
 public:
  bool unchanged(const std::string& path, const FileIdentity& seen) override;
  FileOutcome remove(const std::string& path, const FileIdentity& seen) override;
  FileOutcome move_to_trash(const std::string& path, const FileIdentity& seen) override;
  LogWrite append_to_log(const std::string& log_file, const std::string& line) override;
  bool same_file(const std::string& a, const std::string& b) override;
  bool same_contents(const std::string& a, const std::string& b) override;

  // For tests: when set, move_to_trash runs it after finding the file still
  // the scanned one and before moving it, so a test can change the disk in
  // between.
  std::function<void()> after_trash_check;
};

// The directory that holds the absolute `path`, opened (O_PATH) without
// following a symbolic link in any component; `name` gets the last
// component. Invalid, with errno set, when that is not possible. openat2
// does it in one call; `use_openat2` false (or a kernel without it) walks
// the components one by one with O_NOFOLLOW.
UniqueFd open_parent_directory(const std::string& path, std::string& name, bool use_openat2 = true);
