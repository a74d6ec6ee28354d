// Freeing the space of the tagged copies while keeping their names: each is
// replaced by a hard link to its group's kept copy, or by a copy-on-write
// clone of it; and putting back what the last delete command moved to the
// trash.
//
// The disk interface does the checking (both files still as scanned, one
// file system, the same bytes compared byte for byte) and the replacing
// (under a temporary name, renamed over the file). Here: which copy is kept,
// the questions, what the user is told, and the rows.
#include <ctime>
#include <string>
#include <unordered_map>

#include "core/row_texts.h"
#include "disk/group_cleanup.h"
#include "list_text/deletion_log.h"
#include "ui/list/command_bodies.h"
#include "ui/list/trash_undo.h"

namespace {

struct LinkWalk {
  Replacement how;
  const char* title;           // of the first question
  const char* question;        // its first line
  const char* per_file_title;  // of the question for each file
  const char* per_file_question;
  const char* not_done;  // title of a notice that a file was left as it was
  const char* changed;   // "File Changed" notice, first line
  const char* logged;    // the log's word
  const char* done;      // the end notice: "N Files <done> (B bytes freed)"
};

const LinkWalk HARD_LINK_WALK = {
    Replacement::HARD_LINK,
    "Hard-Link All Tagged Files",
    "REPLACE ALL TAGGED FILES BY HARD LINKS TO THEIR KEPT COPIES?",
    "HARD-LINK ALL TAGGED",
    "REPLACE THIS FILE BY A HARD LINK?",
    "Not Linked",
    "File Changed Since The Scan, Not Linked",
    LOGGED_LINKED,
    "Linked",
};

const LinkWalk CLONE_WALK = {
    Replacement::CLONE,
    "Clone All Tagged Files (Copy-On-Write)",
    "REPLACE ALL TAGGED FILES BY CLONES OF THEIR KEPT COPIES?",
    "CLONE ALL TAGGED",
    "REPLACE THIS FILE BY A CLONE?",
    "Not Cloned",
    "File Changed Since The Scan, Not Cloned",
    LOGGED_CLONED,
    "Cloned",
};

// The kept copy of the group of row `r` (see kept_copy): its row, or -1.
int kept_copy_row(ListContext& ctx, int r) {
  std::size_t self = 0;
  std::vector<int> rows;
  const std::vector<CleanupMember> members = group_members(ctx.list, r, self, &rows);
  const long k = kept_copy(*ctx.files, members, self);
  return k < 0 ? -1 : rows[static_cast<std::size_t>(k)];
}

// Every row of the group of `row` naming the file `was` now names it as
// `now` (its ctime moves with each link made or taken away).
void renew_identity(ResultList& list, int row, const FileIdentity& was, const FileIdentity& now) {
  int first, last;
  list.group_span(row, first, last);
  for (int j = first; j <= last; ++j) {
    if (is_renewed_by(list.identity(j), was, now)) list.set_identity(j, now);
  }
}

// One tagged row: asked (`mode` 'A': with "Yes To All"; 0: not asked),
// checked and replaced. Returns the answer, or -1 when nothing was asked.
int replace_one_file(ListContext& ctx, const LinkWalk& walk, int r, int mode, WalkSummary& totals) {
  ResultList& list = ctx.list;
  const std::string path = list.path(r);
  const std::string shown_path = list.text(r, COL_PATH);
  int answer = 'Y';
  if (mode == 'A') {
    ShownList shown(list);
    answer = ctx.prompter.ask_yes_no_all(walk.per_file_title, walk.per_file_question,
                                         shown_path.c_str(), 'N');
  }
  if (answer == 'N') totals.count_skipped("Answered No");
  if (answer != 'Y' && answer != 'A') return answer;

  const FileIdentity seen = list.identity(r);
  if (!seen.known() || !ctx.files->unchanged(path, seen)) {
    ctx.prompter.message("File Changed", walk.changed, shown_path.c_str());
    totals.count_skipped("Changed Since The Scan");
    return answer;
  }
  const int kept = kept_copy_row(ctx, r);
  if (kept < 0) {
    ctx.prompter.message(walk.not_done, "No Kept Copy", shown_path.c_str());
    totals.count_skipped("No Kept Copy");
    return answer;
  }
  const FileIdentity kept_seen = list.identity(kept);
  ReplaceOutcome outcome =
      ctx.files->replace_with_copy(path, seen, list.path(kept), kept_seen, walk.how);
  // A file left as it was: its box, and its reason in the walk's summary.
  auto left = [&](const char* title, const std::string& words, const std::string& skipped) {
    ctx.prompter.message(title, words.c_str(), shown_path.c_str());
    totals.count_skipped(skipped);
    return answer;
  };
  switch (outcome.kind) {
    case ReplaceOutcome::DONE:
      break;
    case ReplaceOutcome::CHANGED:
      return left("File Changed", walk.changed, "Changed Since The Scan");
    case ReplaceOutcome::KEPT_CHANGED:
      return left(walk.not_done, "No Kept Copy", "No Kept Copy");
    case ReplaceOutcome::OTHER_FILE_SYSTEM:
      return left(walk.not_done, "Different File Systems", "Different File Systems");
    case ReplaceOutcome::CONTENTS_DIFFER:
      return left(walk.not_done, "Contents Differ", "Contents Differ");
    case ReplaceOutcome::EMPTY:
      return left(walk.not_done, "Empty File", "Empty File");
    case ReplaceOutcome::ALREADY_SHARED:
      // Cloned before: nothing to free, and nothing counted as freed.
      return left(walk.not_done, "Already Shares Its Blocks With The Kept Copy", "Already Shared");
    case ReplaceOutcome::ACCESS_DIFFERS:
      return left(walk.not_done, "Owner, Mode Or Access List Differ From The Kept Copy",
                  "Owner, Mode Or Access List Differ");
    case ReplaceOutcome::ATTRIBUTES_NOT_KEPT:
      return left(walk.not_done, "Attributes Could Not Be Kept (" + outcome.reason + ")",
                  "Attributes Could Not Be Kept");
    case ReplaceOutcome::NOT_SUPPORTED:
    case ReplaceOutcome::FAILED:
      ctx.prompter.error_signal();
      return left(walk.not_done, outcome.reason, outcome.reason);
  }

  const std::int64_t size = list.row_size(r);
  list.untag(r);
  renew_identity(list, r, seen, outcome.replaced_now);
  renew_identity(list, kept, kept_seen, outcome.kept_now);
  list.set_identity(r, outcome.now);
  if (walk.how == Replacement::HARD_LINK) {
    list.show_as_hard_link_of(r, kept);
  } else if (ctx.files->share_blocks(path, list.path(kept))) {
    // (A file small enough to live among the file system's own records is
    // copied by a clone, not shared.)
    list.show_as_sharing_blocks_with(r, kept);
  }
  log_file_action(ctx, size, path, walk.logged);
  totals.count_done(size);
  list.show_totals();
  return answer;
}

void link_walk(ListContext& ctx, const LinkWalk& walk) {
  ResultList& list = ctx.list;
  const std::string second_line = thousands(list.block().tagged_count.load()) + " Tagged Entries";
  if (ctx.prompter.ask_yes_no(walk.title, walk.question, second_line.c_str(), 'N') != 'Y') return;

  WalkSummary totals;
  {
    FrozenList frozen(list);
    int mode = 'A';
    int i = 0;
    for (; i < list.size(); ++i) {
      if (list.classify_row(i) != ROW_TAGGED) continue;
      list.select(i);
      int answer = replace_one_file(ctx, walk, i, mode, totals);
      if (answer == 'A') mode = 0;  // no more questions for the rest of the walk
      if (answer == 'C') break;
    }
    list.select(i);
  }
  const std::string done = walk_done_line(totals, walk.done);
  const std::string skipped = walk_skipped_line(totals);
  ctx.prompter.message(walk.title, done.c_str(), skipped.c_str());
}

}  // namespace

namespace body {

void hard_link_all_tagged(ListContext& ctx) { link_walk(ctx, HARD_LINK_WALK); }

void clone_all_tagged(ListContext& ctx) { link_walk(ctx, CLONE_WALK); }

void undo_last_move_to_trash(ListContext& ctx) {
  ResultList& list = ctx.list;
  TrashUndo& undo = *ctx.trash_undo;
  const std::vector<TrashUndo::Moved> moved = undo.moved();
  const std::vector<ResultList::SavedRow> rows_before = undo.rows_before();
  const std::vector<RemovedFolder> folders = undo.folders();
  undo.clear();

  // The folders the command left empty and removed come back first, as
  // they were, so that the files have their places again.
  recreate_folders(folders);

  // The files first; then the list as it was, with what could not come back
  // marked as deleted again.
  struct Back {
    std::string path;
    FileIdentity now;
    bool restored;
  };
  std::vector<Back> back;
  for (const TrashUndo::Moved& m : moved) {
    FileOutcome outcome = ctx.files->restore_from_trash(*m.trashed, m.path);
    const bool restored = outcome.kind == FileOutcome::DONE;
    back.push_back({m.path, outcome.now, restored});
    if (!restored) {
      ctx.prompter.error_signal();
      const char* why =
          outcome.kind == FileOutcome::CHANGED ? "No Longer In The Trash" : outcome.reason.c_str();
      ctx.prompter.message("Not Restored", why, display_text(m.path).c_str());
      continue;
    }
    log_file_action(ctx, m.size, m.path, LOGGED_RESTORED);
    list.block().deleted_count.fetch_sub(1);
    list.block().deleted_bytes.fetch_sub(m.size);
  }

  FrozenList frozen(list);
  list.restore_rows(rows_before);
  std::unordered_map<std::string, int> row_of_path;
  for (int r = list.size() - 1; r >= 0; --r) {
    if (list.classify_row(r) != ROW_NONE) row_of_path[list.path(r)] = r;  // the first row wins
  }
  for (const Back& b : back) {
    const auto found = row_of_path.find(b.path);
    if (found == row_of_path.end()) continue;
    const int r = found->second;
    if (b.restored) {
      list.set_identity(r, b.now);
    } else {
      if (list.classify_row(r) == ROW_TAGGED) list.lower_tagged_totals(r);
      list.set_mark(r, "D");
    }
  }
  list.show_totals();
}

}  // namespace body
