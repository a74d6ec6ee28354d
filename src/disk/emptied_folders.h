// The folders a clean-up left empty, and their removal ("Remove Folders
// Left Empty" in the window, --remove-empty-folders headless).
//
// A clean-up tells note_removed() the path of each file it removed (or
// moved to the trash). remove_emptied() then removes the folders of those
// files that hold nothing now, deepest first, and walking upward, a parent
// that the removal of its emptied child left empty too. It never removes:
//  - a folder that no removed file was in, nor a parent that held anything
//    besides the emptied child (so a folder empty before is never touched),
//  - a folder that holds anything now,
//  - a scanned top folder, nor anything that is not inside one,
//  - a name that is not a directory now (one swapped for a symbolic link):
//    its parent is opened through no link in any component (as a file's
//    for its removal), the folder in it without following a link, and it
//    is removed with unlinkat(AT_REMOVEDIR) on that parent, so a folder
//    that gains an entry after the check is not removed either.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct RemovedFolder {
  std::string path;
  mode_t mode = 0755;  // its permission bits, to make it again as it was
};

class EmptiedFolders {
 public:
  // Whether a folder lies in the scan (for a folder below a top folder:
  // whether its parent is scanned). Only a folder whose parent is scanned
  // may be removed, so a top folder never is.
  using Scanned = std::function<bool(const std::string& folder)>;
  explicit EmptiedFolders(Scanned scanned) : scanned_(std::move(scanned)) {}
  // `top_folders`: the scanned folders as plain paths (DIR arguments).
  explicit EmptiedFolders(std::vector<std::string> top_folders);

  void note_removed(const std::string& file_path);
  // Removes the folders left empty; returns them, deepest first.
  std::vector<RemovedFolder> remove_emptied();

 private:
  bool inside_top(const std::string& folder) const;

  Scanned scanned_;
  std::vector<std::string> folders_;
};

// Makes removed folders again, shallowest first, with their modes (for the
// undo of a move to the trash, before the files go back). A folder that is
// there already is left as it is.
void recreate_folders(const std::vector<RemovedFolder>& removed);
