#include "disk/group_cleanup.h"

namespace {

const char* const CHANGED = "changed since the scan";
const char* const NO_KEPT_COPY = "no kept copy";
const char* const EMPTY_FILE = "empty file";
const char* const ACCESS_DIFFERS = "owner, mode or access list differ from the kept copy";

// Where only sizes are known (a list read back without identities), a copy's
// bytes must be the same now.
bool is_other_copy(FileSystem& files, const std::vector<CleanupMember>& group, std::size_t i,
                   std::size_t j) {
  const CleanupMember& self = group[i];
  const CleanupMember& other = group[j];
  if (j == i || other.gone || !other.seen.known()) return false;
  if (other.seen.is_symlink() && !self.seen.is_symlink()) return false;
  if (other.path == self.path || !files.unchanged(other.path, other.seen) ||
      files.same_file(other.path, self.path)) {
    return false;
  }
  if (self.seen.size_only() || other.seen.size_only()) {
    return files.same_contents(other.path, self.path);
  }
  return true;
}

// Every member naming the file `was` names it as `now`.
void renew(std::vector<CleanupMember>& group, const FileIdentity& was, const FileIdentity& now) {
  for (CleanupMember& m : group) {
    if (is_renewed_by(m.seen, was, now)) m.seen = now;
  }
}

CleanupStep skipped(const std::string& reason) { return {CleanupStep::SKIPPED, reason, ""}; }

const char* const LAST_COPY = "the last copy of its group";

// Whether the command leaves member `m` alone.
bool stays(const CleanupMember& m, Acting acting) {
  switch (acting) {
    case Acting::ONE_FILE:
      return true;
    case Acting::TAGGED:
      return !m.tagged;
    case Acting::UNTAGGED:
      return m.tagged;
  }
  return true;
}

CleanupStep replace(FileSystem& files, std::vector<CleanupMember>& group, std::size_t i,
                    CleanupAction action, bool dry_run) {
  if (group[i].seen.size == 0) return skipped(EMPTY_FILE);
  const long k = kept_copy(files, group, i);
  if (k < 0) return skipped(NO_KEPT_COPY);
  CleanupMember& self = group[i];
  CleanupMember& kept = group[static_cast<std::size_t>(k)];
  if (!self.seen.size_only() && !kept.seen.size_only() && self.seen.device != kept.seen.device) {
    return skipped("different file systems");
  }
  if (dry_run) {
    if (action == CleanupAction::CLONE && files.share_blocks(self.path, kept.path)) {
      return {CleanupStep::SHARED, "", kept.path};
    }
    if (action == CleanupAction::HARD_LINK && !files.same_access(self.path, kept.path)) {
      return skipped(ACCESS_DIFFERS);
    }
    if (!files.same_contents(self.path, kept.path)) return skipped("contents differ");
    return {CleanupStep::DONE, "", kept.path};
  }
  const FileIdentity self_seen = self.seen, kept_seen = kept.seen;
  ReplaceOutcome outcome = files.replace_with_copy(
      self.path, self_seen, kept.path, kept_seen,
      action == CleanupAction::HARD_LINK ? Replacement::HARD_LINK : Replacement::CLONE);
  switch (outcome.kind) {
    case ReplaceOutcome::DONE:
      break;
    case ReplaceOutcome::CHANGED:
      return skipped(CHANGED);
    case ReplaceOutcome::KEPT_CHANGED:
      return skipped(NO_KEPT_COPY);
    case ReplaceOutcome::OTHER_FILE_SYSTEM:
      return skipped("different file systems");
    case ReplaceOutcome::CONTENTS_DIFFER:
      return skipped("contents differ");
    case ReplaceOutcome::EMPTY:
      return skipped(EMPTY_FILE);
    case ReplaceOutcome::ALREADY_SHARED:
      return {CleanupStep::SHARED, "", kept.path};
    case ReplaceOutcome::ACCESS_DIFFERS:
      return skipped(ACCESS_DIFFERS);
    case ReplaceOutcome::ATTRIBUTES_NOT_KEPT:
      return skipped("attributes could not be kept (" + outcome.reason + ")");
    case ReplaceOutcome::NOT_SUPPORTED:
    case ReplaceOutcome::FAILED:
      return skipped(outcome.reason);
  }
  renew(group, self_seen, outcome.replaced_now);
  renew(group, kept_seen, outcome.kept_now);
  self.seen = outcome.now;
  self.tagged = false;
  return {CleanupStep::DONE, "", kept.path};
}

}  // namespace

bool is_renewed_by(const FileIdentity& seen, const FileIdentity& was, const FileIdentity& now) {
  return was.known() && !was.size_only() && now.known() && seen.known() &&
         seen.device == was.device && seen.inode == was.inode;
}

bool another_copy_remains(FileSystem& files, const std::vector<CleanupMember>& group,
                          std::size_t i) {
  for (std::size_t j = 0; j < group.size(); ++j) {
    if (is_other_copy(files, group, i, j)) return true;
  }
  return false;
}

StayingCopies staying_copies(FileSystem& files, const std::vector<CleanupMember>& group,
                             std::size_t i, Acting acting) {
  StayingCopies staying, acted_on;
  for (std::size_t j = 0; j < group.size(); ++j) {
    if (!is_other_copy(files, group, i, j)) continue;
    (stays(group[j], acting) ? staying : acted_on).copies.push_back({group[j].path, group[j].seen});
  }
  return staying.copies.empty() ? acted_on : staying;
}

long kept_copy(FileSystem& files, const std::vector<CleanupMember>& group, std::size_t i) {
  for (std::size_t j = 0; j < group.size(); ++j) {
    const CleanupMember& m = group[j];
    if (j == i || m.tagged || m.gone || !m.seen.known() || m.seen.is_symlink()) continue;
    if (m.path == group[i].path || !files.unchanged(m.path, m.seen) ||
        files.same_file(m.path, group[i].path)) {
      continue;
    }
    return static_cast<long>(j);
  }
  return -1;
}

bool cleanup_action_from_name(const std::string& name, CleanupAction& action) {
  if (name == "delete") {
    action = CleanupAction::DELETE;
  } else if (name == "trash") {
    action = CleanupAction::TRASH;
  } else if (name == "hardlink") {
    action = CleanupAction::HARD_LINK;
  } else if (name == "clone") {
    action = CleanupAction::CLONE;
  } else {
    return false;
  }
  return true;
}

CleanupStep clean_up_member(FileSystem& files, std::vector<CleanupMember>& group, std::size_t i,
                            CleanupAction action, bool dry_run) {
  CleanupMember& self = group[i];
  if (!self.seen.known()) return skipped("not examined by the scan");
  if (!files.unchanged(self.path, self.seen)) return skipped(CHANGED);
  if (action == CleanupAction::HARD_LINK || action == CleanupAction::CLONE) {
    return replace(files, group, i, action, dry_run);
  }

  const StayingCopies staying = staying_copies(files, group, i, Acting::TAGGED);
  if (staying.copies.empty()) return skipped(LAST_COPY);
  const FileIdentity self_seen = self.seen;
  FileOutcome outcome = dry_run ? files.check_removal(self.path, self_seen, staying)
                        : action == CleanupAction::TRASH
                            ? files.move_to_trash(self.path, self_seen, staying)
                            : files.remove(self.path, self_seen, staying);
  switch (outcome.kind) {
    case FileOutcome::DONE:
      break;
    case FileOutcome::CHANGED:
      return skipped(CHANGED);
    case FileOutcome::KEPT_CHANGED:
      return skipped(LAST_COPY);
    case FileOutcome::CONTENTS_DIFFER: {
      CleanupStep step = skipped(CONTENTS_DIFFER_FROM_KEPT);
      step.kept = outcome.kept;
      step.differing.push_back(self_seen);
      for (const StayingCopy& copy : staying.copies) {
        if (copy.path == outcome.kept) step.differing.push_back(copy.seen);
      }
      return step;
    }
    case FileOutcome::FAILED:
      return skipped(outcome.reason);
  }
  if (dry_run) return {CleanupStep::DONE, "", ""};
  self.gone = true;
  // Its other names (hard links) in the group saw their change time move.
  renew(group, self_seen, outcome.remaining);
  return {CleanupStep::DONE, "", ""};
}
