// The headless command's clean-up (--apply, --dry-run): the rows of a scan
// tagged by a rule come in group by group; at the end of each group its
// tagged files are acted on (see group_cleanup.h) and one line per file is
// written:
//
//   deleted PATH               trashed PATH
//   linked PATH -> KEPT        cloned PATH -> KEPT
//   skipped PATH: REASON       shared PATH -> KEPT
//
// Before the files of a group the rule tagged in, the copy it keeps and why:
//
//   kept PATH: REASON          (for example "kept /h/a.pdf: oldest")
//
// "shared": a clone was asked for, and the file shares all its blocks with
// the kept copy already (a clone made before). Nothing is done and nothing
// is freed, but nothing is left to do either: it is neither counted as
// cloned nor as skipped, and does not make the exit status 1.
//
// A file is deleted or trashed only once its bytes were compared, just
// then, with a copy of its group that stays (see FileSystem::remove); one
// that differs is skipped "contents differ from the kept copy".
//
// A dry run checks what can be checked without changing anything and says
// "would delete PATH", "would link PATH -> KEPT", ... instead. Paths are
// written as TSV fields are (control bytes and backslashes escaped), so one
// file is always one line, and their ':' and '>' are escaped too, so the
// lines' own ": " and " -> " always end the path. Every file acted on gets
// its line in the deletion log.
//
// Given the folders to watch (remove_emptied_folders, for delete and
// trash), finish() then removes the folders the clean-up left empty (see
// emptied_folders.h), one line each, after the files' lines:
//
//   removed folder PATH
//
// A dry run removes none and says nothing of them: which folders would be
// left empty is known only once the files are gone.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/row_texts.h"
#include "disk/emptied_folders.h"
#include "disk/file_system.h"
#include "disk/group_cleanup.h"
#include "list_text/tag_rule.h"

class HeadlessCleanup {
 public:
  using Output = std::function<void(const std::string& line)>;

  HeadlessCleanup(FileSystem& files, CleanupAction action, bool dry_run, std::string log_file,
                  Output output);

  // Removes the folders this clean-up leaves empty, once it is done.
  void remove_emptied_folders(std::unique_ptr<EmptiedFolders> folders) {
    emptied_ = std::move(folders);
  }

  void row(const RowTexts& row);
  // The copy the rule keeps in the group whose rows come next, and why
  // (`folder`: the preferred folder, for KeepReason::PREFERRED_FOLDER).
  void kept(const std::string& path, KeepReason reason, const std::string& folder);
  // Acts on the group still held.
  void finish();

  int done() const { return done_; }
  std::int64_t done_bytes() const { return done_bytes_; }
  int skipped() const { return skipped_; }
  int shared() const { return shared_; }
  int folders_removed() const { return folders_removed_; }
  // The summary line for standard error.
  std::string summary() const;
  // Set when the deletion log could not be written (once), with why.
  const std::string& log_problem() const { return log_problem_; }
  // The files (as the scan saw them) skipped because their bytes differ
  // from their kept copy's, with those kept copies: what the content cache
  // holds of them is to be forgotten, so the next scan reads them again.
  const std::vector<FileIdentity>& differing() const { return differing_; }

  // For tests: the clock of the log lines.
  std::function<std::time_t()> now;

 private:
  void act_on_group();
  void log(std::int64_t size, const std::string& path);

  FileSystem& files_;
  CleanupAction action_;
  bool dry_run_;
  std::string log_file_;
  Output output_;
  std::vector<CleanupMember> group_;
  std::string kept_line_;  // the group's "kept" line, written before its files
  std::vector<std::int64_t> sizes_;
  int done_ = 0;
  std::int64_t done_bytes_ = 0;
  int skipped_ = 0;
  int shared_ = 0;
  int folders_removed_ = 0;
  std::unique_ptr<EmptiedFolders> emptied_;
  std::string log_problem_;
  std::vector<FileIdentity> differing_;
};
