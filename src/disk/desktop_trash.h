// Moving one file to the desktop trash, the freedesktop.org way, through a
// directory the caller has already opened and checked.
//
// The file is never named by its path again: the trash is chosen from the
// directory's own file system (found by climbing ".." from it), and the file
// is renamed out of that very directory. Each trash directory is opened
// without following a symbolic link, and nothing in the trash is ever
// replaced.
//
// The trash is the home trash ($XDG_DATA_HOME/Trash) when its "files"
// directory is on the file's device; otherwise the trash of the top
// directory of the file's file system: $topdir/.Trash/$uid when
// $topdir/.Trash is a real directory with the sticky bit set, else
// $topdir/.Trash-$uid, which must be a directory of this user that no one
// else may enter. Anything else is refused, and the file stays.
#pragma once

#include <string>

#include "core/row_texts.h"
#include "disk/file_system.h"

// How many names ("name", "name.2", ... ) are tried for a file in the trash
// before giving up.
inline constexpr int TRASH_NAME_TRIES = 1000;

// Moves `name` in the directory `dir_fd` (any descriptor of a directory,
// O_PATH will do) to the trash. `path` is the file's absolute path as the
// list shows it, written to the trash's record of where the file came from.
// `seen` is the file the caller checked: a different file found in the trash
// after the move is put back (never over anything) and the answer is
// CHANGED. The file stays where it is on any failure, and no record is left.
// DONE says where the file went (FileOutcome::trashed).
FileOutcome trash_entry(int dir_fd, const std::string& name, const std::string& path,
                        const FileIdentity& seen);

// Puts a trashed file back as `name` in the directory `dir_fd`: only when
// the trash still holds it under the very record trash_entry wrote (the
// same original path and deletion date; CHANGED otherwise), and never over
// a file that is there now (FAILED, it stays in the trash). Its record goes
// once it is back. DONE gives the file as it is now.
FileOutcome restore_entry(const TrashedFile& trashed, int dir_fd, const std::string& name);
