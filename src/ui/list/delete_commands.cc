// Deleting files named by the list, with the deletion log.
//
// A deletion can destroy a user's only copy of a file, so beyond the
// questions four things must hold before a file goes: it is still the file
// the scan saw (the disk interface looks, and removes, without following any
// symbolic link); some other listed member of its group, not marked "D",
// is still on disk as scanned, or else the user has said yes to the "LAST
// COPY" question for this very file, even after "Yes To All"; unless it goes
// as the last copy, its bytes are, compared at that moment, those of a copy
// that stays (the disk interface compares, through the descriptors it
// checked); and the row is not already marked "D".
#include <algorithm>
#include <ctime>
#include <memory>

#include "core/row_texts.h"
#include "disk/emptied_folders.h"
#include "list_text/deletion_log.h"
#include "scan/content_cache.h"
#include "scan/match_mask.h"
#include "scan/scan_context.h"
#include "ui/list/command_bodies.h"
#include "ui/list/trash_undo.h"

namespace {

bool move_to_trash_chosen(const SettingsRecord& settings) {
  return (settings.reserved & RESERVED_MOVE_TO_TRASH) != 0;
}

// The words of the questions and notices: with the trash on, every one says
// where the files go; with it off, they say "delete".
struct DeleteWords {
  const char* this_file;       // the question for one file
  const char* last_copy;       // the question for a group's last copy
  const char* changed;         // the "File Changed" notice
  const char* not_done;        // title of a notice that a file stayed
  const char* done;            // the end notice: "N Files <done> (B bytes freed)"
  const char* all_tagged;      // Delete All Tagged's question
  const char* all_non_tagged;  // Delete All NON-Tagged's question
};

const DeleteWords DELETE_WORDS = {
    "DELETE THIS FILE?",
    "THIS IS THE LAST COPY OF THIS GROUP, DELETE IT?",
    "File Changed Since The Scan, Not Deleted",
    "Not Deleted",
    "Deleted",
    "DELETE ALL TAGGED FILES FROM LISTBOX?",
    "DELETE ALL NON-TAGGED FILES FROM LISTBOX?",
};

const DeleteWords TRASH_WORDS = {
    "MOVE THIS FILE TO THE TRASH?",
    "THIS IS THE LAST COPY OF THIS GROUP, MOVE IT TO THE TRASH?",
    "File Changed Since The Scan, Not Moved To Trash",
    "Not Moved To Trash",
    "Moved To Trash",
    "MOVE ALL TAGGED FILES TO THE TRASH?",
    "MOVE ALL NON-TAGGED FILES TO THE TRASH?",
};

const DeleteWords& words_for(const SettingsRecord& settings) {
  return move_to_trash_chosen(settings) ? TRASH_WORDS : DELETE_WORDS;
}

// With "Remove Folders Left Empty" on, one delete command notes the folders
// of the files it removes and, as it ends, removes those it left empty (see
// emptied_folders.h): only below an include directory, never one itself.
// What went with a move to the trash is noted for its undo.
class EmptiedFoldersCommand {
 public:
  explicit EmptiedFoldersCommand(DeleteContext& ctx) : ctx_(ctx) {
    const SettingsRecord& settings = ctx.list.settings();
    if ((settings.reserved & RESERVED_REMOVE_EMPTY_FOLDERS) == 0) return;
    include_dirs_ = scan_options_from(settings).include_dirs;
    folders_ = std::make_unique<EmptiedFolders>([this](const std::string& folder) {
      for (const std::string& mask : include_dirs_)
        if (match_mask(mask.c_str(), folder.c_str()) == MASK_MATCH) return true;
      return false;
    });
    ctx.emptied = folders_.get();
  }
  ~EmptiedFoldersCommand() {
    if (!folders_) return;
    ctx_.emptied = nullptr;
    const std::vector<RemovedFolder> removed = folders_->remove_emptied();
    if (ctx_.trash_undo != nullptr && move_to_trash_chosen(ctx_.list.settings()))
      ctx_.trash_undo->add_folders(removed);
  }
  EmptiedFoldersCommand(const EmptiedFoldersCommand&) = delete;
  EmptiedFoldersCommand& operator=(const EmptiedFoldersCommand&) = delete;

 private:
  DeleteContext& ctx_;
  std::vector<std::string> include_dirs_;
  std::unique_ptr<EmptiedFolders> folders_;
};

// A file of a walk left as it was, counted for the walk's end notice.
void count_skipped(DeleteContext& ctx, const char* reason) {
  if (ctx.in_walk) ctx.walk_summary.count_skipped(reason);
}

void tell_file_changed(DeleteContext& ctx, const std::string& shown_path) {
  ctx.prompter.message("File Changed", words_for(ctx.list.settings()).changed, shown_path.c_str());
  count_skipped(ctx, "Changed Since The Scan");
}

// The group of a file row is the one it was listed in, never guessed from
// its neighbours: a group whose header was removed stays a group of its own.
// The copies that stay when row `r` goes: in a walk, the members of the
// other kind (the walk acts on the rows of r's kind); for a single delete,
// every other member.
StayingCopies staying_copies_of(DeleteContext& ctx, int r) {
  std::size_t self = 0;
  const std::vector<CleanupMember> members = group_members(ctx.list, r, self);
  Acting acting = Acting::ONE_FILE;
  if (ctx.in_walk) {
    acting = ctx.list.classify_row(r) == ROW_TAGGED ? Acting::TAGGED : Acting::UNTAGGED;
  }
  return staying_copies(*ctx.files, members, self, acting);
}

// Every row of the group of `r` naming the file `was` names it as `now`:
// taking one of its names away moved its change time.
void renew_group_identities(ResultList& list, int r, const FileIdentity& was,
                            const FileIdentity& now) {
  int first, last;
  list.group_span(r, first, last);
  for (int j = first; j <= last; ++j) {
    if (j != r && is_renewed_by(list.identity(j), was, now)) list.set_identity(j, now);
  }
}

// A file that could not go, in a walk: the same failure three files in a
// row asks once whether to go on without a box for it. True when the walk
// is to stop.
bool tell_failure(DeleteContext& ctx, const char* title, const std::string& reason,
                  const std::string& shown_path) {
  ctx.prompter.error_signal();
  if (!ctx.in_walk) {
    if (title != nullptr) ctx.prompter.message(title, reason.c_str(), shown_path.c_str());
    return false;
  }
  const auto& quiet = ctx.quiet_failures;
  if (std::find(quiet.begin(), quiet.end(), reason) != quiet.end()) return false;
  if (reason == ctx.walk_failure) {
    ++ctx.walk_failures_in_a_row;
  } else {
    ctx.walk_failure = reason;
    ctx.walk_failures_in_a_row = 1;
  }
  if (ctx.walk_failures_in_a_row >= 3) {
    ShownList shown(ctx.list);
    const int go_on = ctx.prompter.ask_yes_no(
        "Same Error Three Times", "GO ON WITHOUT MORE BOXES FOR THIS ERROR?", reason.c_str(), 'N');
    if (go_on != 'Y') return true;
    ctx.quiet_failures.push_back(reason);
    return false;
  }
  if (title != nullptr) ctx.prompter.message(title, reason.c_str(), shown_path.c_str());
  return false;
}

// Delete All Tagged and Delete All NON-Tagged are one walk.
struct DeleteWalk {
  const char* title;
  bool tagged;  // the tagged entries (the question counts them), or the others  // the question's
                // second line counts the tagged entries
  RowKind acts_on;
  const char* per_file_title;
};

void delete_walk(DeleteContext& ctx, const DeleteWalk& walk) {
  ResultList& list = ctx.list;
  const DeleteWords& words = words_for(list.settings());
  std::string second_line =
      walk.tagged ? thousands(list.block().tagged_count.load()) + " Tagged Entries" : "";
  const char* question = walk.tagged ? words.all_tagged : words.all_non_tagged;
  if (ctx.prompter.ask_yes_no(walk.title, question, second_line.c_str(), 'N') != 'Y') return;

  TrashUndoCommand undo(ctx.trash_undo, list);
  EmptiedFoldersCommand folders(ctx);  // ends before the undo's record
  {
    FrozenList frozen(list);
    ctx.in_walk = true;
    ctx.keep_every_last_copy = false;
    ctx.walk_failure.clear();
    ctx.walk_failures_in_a_row = 0;
    ctx.quiet_failures.clear();
    ctx.walk_summary = WalkSummary{};
    int mode = 'A';
    int i = 0;
    while (i < list.size()) {
      int removed = 0;
      if (list.classify_row(i) == walk.acts_on) {
        list.select(i);
        int answer = delete_one_file(ctx, walk.per_file_title, mode, &removed);
        if (answer == 'A') mode = 0;  // no more questions for the rest of the walk
        if (answer == 'C') break;
      }
      // On with the row that followed the one just looked at.
      i = i + 1 + removed;
    }
    ctx.in_walk = false;
    list.select(i);
  }
  const std::string done = walk_done_line(ctx.walk_summary, words.done);
  const std::string skipped = walk_skipped_line(ctx.walk_summary);
  ctx.prompter.message(walk.title, done.c_str(), skipped.c_str());
}

}  // namespace

std::vector<CleanupMember> group_members(const ResultList& list, int r, std::size_t& self,
                                         std::vector<int>* rows) {
  std::vector<CleanupMember> members;
  int first, last;
  list.group_span(r, first, last);
  for (int j = first; j <= last; ++j) {
    const RowKind kind = list.classify_row(j);
    if (kind != ROW_FILE && kind != ROW_TAGGED && kind != ROW_DELETED) continue;
    if (j == r) self = members.size();
    members.push_back({list.path(j), list.identity(j), kind == ROW_TAGGED, kind == ROW_DELETED});
    if (rows != nullptr) rows->push_back(j);
  }
  return members;
}

void log_file_action(DeleteContext& ctx, std::int64_t size, const std::string& path,
                     const char* what) {
  std::time_t when = ctx.now != nullptr ? ctx.now() : std::time(nullptr);
  switch (ctx.files->append_to_log(ctx.log_file, deletion_log_line(when, size, path, what))) {
    case LogWrite::WRITTEN:
      break;
    case LogWrite::FAILED:
      ctx.prompter.error_signal();
      ctx.prompter.message("Can Not Log Deletion Of File", "Warning", "");
      break;
    case LogWrite::LINK_OUTSIDE:
      if (ctx.log_link_told == nullptr || !*ctx.log_link_told) {
        ctx.prompter.message("Deletions Are Not Logged",
                             "The Deletion Log Is A Link Out Of The Data Directory",
                             display_text(ctx.log_file).c_str());
        if (ctx.log_link_told != nullptr) *ctx.log_link_told = true;
      }
      break;
  }
}

int delete_one_file(DeleteContext& ctx, const char* title, int mode, int* removed) {
  ResultList& list = ctx.list;
  const SettingsRecord& settings = list.settings();
  if (removed != nullptr) *removed = 0;
  const int r = list.selected_row();
  if (r <= 0) return -1;
  const std::string path = list.path(r);
  if (path.empty()) return -1;
  const std::string mark = list.text(r, COL_MARK);
  const std::int64_t size = list.row_size(r);
  if (!mark.empty() && mark[0] == 'D') {
    ctx.prompter.error_signal();
    return -1;
  }

  const std::string shown_path = list.text(r, COL_PATH);
  const DeleteWords& words = words_for(settings);
  int answer = 'Y';
  if (mode == 'A') {
    ShownList shown(list);
    answer = ctx.prompter.ask_yes_no_all(title, words.this_file, shown_path.c_str(), 'N');
  } else if (mode != 0 && settings.confirm_delete != 0) {
    ShownList shown(list);
    answer = ctx.prompter.ask_yes_no("DELETE", words.this_file, shown_path.c_str(), 'N');
  }
  if (answer == 'N') count_skipped(ctx, "Answered No");
  if (answer != 'Y' && answer != 'A') return answer;

  const FileIdentity seen = list.identity(r);
  if (!ctx.files->unchanged(path, seen)) {
    tell_file_changed(ctx, shown_path);
    return answer;
  }
  StayingCopies staying = staying_copies_of(ctx, r);
  if (staying.copies.empty()) {
    if (ctx.keep_every_last_copy) {  // "No To All" said so for this walk
      count_skipped(ctx, "Last Copy Kept");
      return answer;
    }
    ShownList shown(list);
    const char* const question = words.last_copy;
    int last = ctx.in_walk
                   ? ctx.prompter.ask_yes_no_none("LAST COPY", question, shown_path.c_str(), 'N')
                   : ctx.prompter.ask_yes_no("LAST COPY", question, shown_path.c_str(), 'N');
    if (last == 'X') ctx.keep_every_last_copy = true;
    if (last != 'Y') {
      count_skipped(ctx, "Last Copy Kept");
      return answer;
    }
    staying.last_copy = true;
  }

  const bool to_trash = move_to_trash_chosen(settings);
  const char* const not_done = words.not_done;
  FileOutcome outcome = to_trash ? ctx.files->move_to_trash(path, seen, staying)
                                 : ctx.files->remove(path, seen, staying);
  if (outcome.kind != FileOutcome::FAILED) {
    ctx.walk_failure.clear();  // the failures in a row end here
    ctx.walk_failures_in_a_row = 0;
  }
  switch (outcome.kind) {
    case FileOutcome::DONE:
      break;
    case FileOutcome::CHANGED:
      tell_file_changed(ctx, shown_path);
      return answer;
    case FileOutcome::CONTENTS_DIFFER: {
      // What the scans read of the two files is not to be believed again.
      std::vector<FileIdentity> differing{seen};
      for (const StayingCopy& copy : staying.copies) {
        if (copy.path == outcome.kept) differing.push_back(copy.seen);
      }
      ContentCache::forget_files(
          ctx.content_cache.empty() ? content_cache_file() : ctx.content_cache, differing);
      ctx.prompter.error_signal();
      const std::string both = shown_path + "\n" + display_text(outcome.kept);
      ctx.prompter.message(not_done, "Contents Differ From The Kept Copy", both.c_str());
      count_skipped(ctx, "Contents Differ");
      return answer;
    }
    case FileOutcome::KEPT_CHANGED:
      ctx.prompter.message(not_done, "No Copy That Stays Is Still As Scanned", shown_path.c_str());
      count_skipped(ctx, "No Copy That Stays");
      return answer;
    case FileOutcome::FAILED:
      // (A removal the system refuses has only ever beeped.)
      count_skipped(ctx, outcome.reason.c_str());
      if (tell_failure(ctx, to_trash ? not_done : nullptr, outcome.reason, shown_path)) return 'C';
      return answer;
  }

  if (to_trash && ctx.trash_undo != nullptr)
    ctx.trash_undo->add(list, {outcome.trashed, path, size});
  renew_group_identities(list, r, seen, outcome.remaining);
  if (mark[0] == '*') list.lower_tagged_totals(r);
  if (settings.deleted_mode == DELETED_REMOVE) {
    list.remove_row(r);
    if (removed != nullptr) --*removed;
    list.select(r);  // the row that followed
    if (list.remove_header_of_empty_group(r) && removed != nullptr) --*removed;
  } else {
    list.set_mark(r, "D");  // the colours stay
  }

  log_file_action(ctx, size, path, to_trash ? LOGGED_TRASHED : LOGGED_DELETED);
  if (ctx.emptied != nullptr) ctx.emptied->note_removed(path);
  list.count_deletion(size);
  if (ctx.in_walk) ctx.walk_summary.count_done(size);
  list.show_totals();
  return answer;
}

namespace body {

void delete_selected(ListContext& ctx) {
  TrashUndoCommand undo(ctx.trash_undo, ctx.list);
  EmptiedFoldersCommand folders(ctx);
  delete_one_file(ctx, "DELETE", 'Y');
}

void delete_all_tagged(ListContext& ctx) {
  delete_walk(ctx, {"Delete All Tagged Entries", true, ROW_TAGGED, "DELETE ALL TAGGED"});
}

void delete_all_non_tagged(ListContext& ctx) {
  delete_walk(ctx, {"Delete All NON-Tagged Entries", false, ROW_FILE, "DELETE ALL NON-TAGGED"});
}

}  // namespace body
