#include "ui/list/trash_undo.h"

void TrashUndo::begin() {
  open_ = true;
  added_in_command_ = false;
}

void TrashUndo::add(const ResultList& list, Moved moved) {
  if (!added_in_command_) {
    rows_before_ = list.save_rows();
    moved_.clear();
    folders_.clear();
    added_in_command_ = true;
  }
  moved_.push_back(std::move(moved));
}

void TrashUndo::add_folders(const std::vector<RemovedFolder>& folders) {
  if (!added_in_command_) return;  // no file of this command is in the trash
  folders_.insert(folders_.end(), folders.begin(), folders.end());
}

void TrashUndo::end(const ResultList& list) {
  open_ = false;
  if (added_in_command_) generation_ = list.generation();
  added_in_command_ = false;
  if (changed) changed();
}

bool TrashUndo::available(const ResultList& list) const {
  return !open_ && !moved_.empty() && list.generation() == generation_;
}

void TrashUndo::clear() {
  rows_before_.clear();
  moved_.clear();
  folders_.clear();
  open_ = false;
  added_in_command_ = false;
  if (changed) changed();
}
