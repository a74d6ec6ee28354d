// What the last delete command that moved files to the trash did, so that
// "Undo Last Move To Trash" can put the files back and the list as it was.
//
// Each delete command (a walk or a single delete) is bracketed by begin and
// end. The first file it moves to the trash starts a new record, which
// forgets the one before: the list as it was before the command (taken then,
// when nothing of the command has changed a row yet) and each file moved
// (where it went and where it came from). The record can be undone as long
// as the list has not changed since the command ended: the rows it puts back
// are then exactly the rows it took.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "disk/emptied_folders.h"
#include "disk/file_system.h"
#include "ui/list/result_list.h"

class TrashUndo {
 public:
  struct Moved {
    std::shared_ptr<TrashedFile> trashed;
    std::string path;   // where it came from (bytes)
    std::int64_t size;  // as its row said
  };

  // A delete command starts.
  void begin();
  // A file of it went to the trash; called before its row changes.
  void add(const ResultList& list, Moved moved);
  // Folders the command removed once its files were gone (deepest first);
  // undone before the files go back.
  void add_folders(const std::vector<RemovedFolder>& folders);
  // The command is over.
  void end(const ResultList& list);

  // Whether there is something to undo on the list as it is now.
  bool available(const ResultList& list) const;
  const std::vector<Moved>& moved() const { return moved_; }
  const std::vector<RemovedFolder>& folders() const { return folders_; }
  const std::vector<ResultList::SavedRow>& rows_before() const { return rows_before_; }
  // Done (or given up): nothing to undo any more.
  void clear();

  // Told whenever `available` may have changed (the menu entry greys).
  std::function<void()> changed;

 private:
  std::vector<ResultList::SavedRow> rows_before_;
  std::vector<Moved> moved_;
  std::vector<RemovedFolder> folders_;
  std::uint64_t generation_ = 0;  // of the list when the recorded command ended
  bool open_ = false;             // between begin and end
  bool added_in_command_ = false;
};

// Brackets one delete command for the list's TrashUndo, if it has one.
class TrashUndoCommand {
 public:
  explicit TrashUndoCommand(TrashUndo* undo, const ResultList& list) : undo_(undo), list_(list) {
    if (undo_ != nullptr) undo_->begin();
  }
  ~TrashUndoCommand() {
    if (undo_ != nullptr) undo_->end(list_);
  }
  TrashUndoCommand(const TrashUndoCommand&) = delete;
  TrashUndoCommand& operator=(const TrashUndoCommand&) = delete;

 private:
  TrashUndo* undo_;
  const ResultList& list_;
};
