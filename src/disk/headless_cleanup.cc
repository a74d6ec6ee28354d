#include "disk/headless_cleanup.h"

#include "core/escaped_text.h"
#include "list_text/deletion_log.h"
#include "list_text/list_rows.h"

namespace {

struct ActionWords {
  const char* done;     // "deleted"
  const char* would;    // "would delete"
  const char* logged;   // the log's word
  const char* summary;  // "deleted"
};

ActionWords words_of(CleanupAction action) {
  switch (action) {
    case CleanupAction::DELETE:
      return {"deleted", "would delete", LOGGED_DELETED, "deleted"};
    case CleanupAction::TRASH:
      return {"trashed", "would trash", LOGGED_TRASHED, "moved to the trash"};
    case CleanupAction::HARD_LINK:
      return {"linked", "would link", LOGGED_LINKED, "linked"};
    case CleanupAction::CLONE:
      return {"cloned", "would clone", LOGGED_CLONED, "cloned"};
  }
  return {"", "", "", ""};
}

// A path as the lines show it: escaped as in the list's text, and its ':'
// and '>' with a backslash too, so that the lines' own ": " and " -> "
// end it wherever the name holds them.
std::string shown(const std::string& path) {
  std::string out;
  append_escaped(out, path, "\\:>");
  return out;
}

}  // namespace

HeadlessCleanup::HeadlessCleanup(FileSystem& files, CleanupAction action, bool dry_run,
                                 std::string log_file, Output output)
    : files_(files),
      action_(action),
      dry_run_(dry_run),
      log_file_(std::move(log_file)),
      output_(std::move(output)) {}

void HeadlessCleanup::row(const RowTexts& row) {
  const RowKind kind = classify_texts(row);
  if (kind == ROW_GROUP || kind == ROW_COMMENT) {
    act_on_group();
    return;
  }
  if (kind != ROW_FILE && kind != ROW_TAGGED && kind != ROW_DELETED) return;
  group_.push_back({row.col[COLUMN_COUNT - 1],
                    row.identity != nullptr ? *row.identity : FileIdentity{}, kind == ROW_TAGGED,
                    kind == ROW_DELETED});
  sizes_.push_back(size_from_text(row.col[3]));
}

void HeadlessCleanup::finish() {
  act_on_group();
  if (!emptied_ || dry_run_) return;
  for (const RemovedFolder& folder : emptied_->remove_emptied()) {
    ++folders_removed_;
    output_("removed folder " + shown(folder.path));
  }
}

void HeadlessCleanup::kept(const std::string& path, KeepReason reason, const std::string& folder) {
  kept_line_ = "kept " + shown(path) + ": " + keep_reason_text(reason, shown(folder));
}

void HeadlessCleanup::act_on_group() {
  const ActionWords words = words_of(action_);
  if (!kept_line_.empty()) output_(kept_line_);
  kept_line_.clear();
  for (std::size_t i = 0; i < group_.size(); ++i) {
    if (!group_[i].tagged || group_[i].gone) continue;
    const std::string path = group_[i].path;
    CleanupStep step = clean_up_member(files_, group_, i, action_, dry_run_);
    if (step.kind == CleanupStep::SKIPPED) {
      ++skipped_;
      differing_.insert(differing_.end(), step.differing.begin(), step.differing.end());
      output_("skipped " + shown(path) + ": " + step.reason);
      continue;
    }
    if (step.kind == CleanupStep::SHARED) {
      ++shared_;
      output_("shared " + shown(path) + " -> " + shown(step.kept));
      continue;
    }
    ++done_;
    done_bytes_ += sizes_[i];
    std::string line = std::string(dry_run_ ? words.would : words.done) + " " + shown(path);
    if (!step.kept.empty()) line += " -> " + shown(step.kept);
    output_(line);
    if (dry_run_) continue;
    log(sizes_[i], path);
    if (emptied_ && (action_ == CleanupAction::DELETE || action_ == CleanupAction::TRASH))
      emptied_->note_removed(path);
  }
  group_.clear();
  sizes_.clear();
}

void HeadlessCleanup::log(std::int64_t size, const std::string& path) {
  const std::time_t when = now ? now() : std::time(nullptr);
  const LogWrite wrote = files_.append_to_log(
      log_file_, deletion_log_line(when, size, path, words_of(action_).logged));
  if (wrote == LogWrite::WRITTEN || !log_problem_.empty()) return;
  log_problem_ = wrote == LogWrite::LINK_OUTSIDE
                     ? "the deletion log is a link out of the data directory: " + log_file_
                     : "the deletion log can not be written: " + log_file_;
}

std::string HeadlessCleanup::summary() const {
  const ActionWords words = words_of(action_);
  std::string line = dry_run_ ? "Dry run: " : "";
  line += thousands(done_) + (done_ == 1 ? " file " : " files ") +
          (dry_run_ ? std::string("would be ") : std::string()) + words.summary + " (" +
          thousands(done_bytes_) + " bytes)";
  if (shared_ != 0) line += ", " + thousands(shared_) + " already sharing their blocks";
  if (emptied_ && !dry_run_)
    line += ", " + thousands(folders_removed_) +
            (folders_removed_ == 1 ? " emptied folder removed" : " emptied folders removed");
  line += ", " + thousands(skipped_) + " skipped";
  return line;
}
