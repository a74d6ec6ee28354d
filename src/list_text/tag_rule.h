// Tag by rule: which copies of each group to tag, so that one copy of each
// stays, chosen by a rule the user sets once for all groups. Pure: the list
// window and the headless command give it their groups and act on its plan.
//
// A rule works on the live members of a group (its file rows not marked
// "D"), in list order. It keeps one of them, chosen by, in this order:
//   1. the preferred folders: a member below an earlier line wins over one
//      below a later line or below none;
//   2. the criterion: the newest or the oldest by the time the row shows,
//      the shortest or the longest path (in bytes), none ("first"), or the
//      original, itself a chain of tests (see KeepBy::ORIGINAL);
//   3. the first listed.
// It tags every other live member, but never a member below a protected
// folder and, unless told otherwise, never another name of the kept file
// (a hard link: deleting it frees nothing). Existing tags of the groups it
// touches are cleared first, unless told to add to them; then the kept
// member is chosen among the untagged ones, so that at least one live member
// of every group stays untagged whatever was tagged before.
//
// Folders are compared as path prefixes on whole components ("/home/a" is
// not below "/home/ab"), on the raw bytes; a line may end with "/" or not;
// "~" or "~/..." stands for the home directory; empty lines are skipped.
// The window and the headless command resolve the folders first
// (resolve_rule_folders): real paths, as the scan lists them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "core/row_texts.h"

// ORIGINAL keeps the copy that looks like the one the others were made from.
// After the preferred folders, each test keeps only the best of the members
// still in the running, and the next breaks the ties among those left:
//   a. the name: when a member's name carries no copy marker and is what
//      another member's name is without its markers ("report.pdf" beside
//      "report (1).pdf"), the members whose names carry a marker drop out;
//   b. the folders: members below no folder named like a backup folder
//      (below the folder the group's paths share) beat the others;
//   c. the oldest time the row shows (a time not known never wins);
//   d. the shortest path;
//   e. the first listed.
enum class KeepBy { NEWEST, OLDEST, SHORTEST_PATH, LONGEST_PATH, FIRST, ORIGINAL };

struct TagRule {
  KeepBy keep = KeepBy::NEWEST;
  std::vector<std::string> preferred;  // folders, best first (as typed: see tag_rule_folders)
  std::vector<std::string> protected_folders;
  bool leave_hard_links = true;  // another name of the kept file stays untagged
  bool untag_first = true;       // the group's existing tags are cleared first
};

// A time not known (a row without a date) sorts as the oldest of all.
inline constexpr std::int64_t UNKNOWN_TIME = std::numeric_limits<std::int64_t>::min();

// Times are compared, never shown: a row's time is kept as a number that
// orders as the local date and time it shows (YYYYMMDDhhmmss).

// One live member of a group, as the rule sees it.
struct RuleMember {
  std::size_t row = 0;               // the caller's index of the row
  std::string path;                  // its bytes
  std::int64_t time = UNKNOWN_TIME;  // the file time the row shows (see shown_time)
  FileIdentity identity;             // tells the same file under another name (see one_file);
                                     // not known(): never one
  std::int64_t size = 0;
  bool tagged = false;  // marked "*" now
};

// Why the rule kept the member it kept: the first step of its chain that
// set the kept member above another member still in the running.
enum class KeepReason {
  PREFERRED_FOLDER,          // below an earlier preferred folder than some other
  OTHERS_LOOK_LIKE_COPIES,   // Original: the others' names carry copy markers
  OTHERS_IN_BACKUP_FOLDERS,  // Original: the others lie below backup folders
  OLDEST,
  NEWEST,
  SHORTEST_PATH,
  LONGEST_PATH,
  FIRST_LISTED,  // nothing else told them apart
};

// What the rule does to one group.
struct GroupPlan {
  enum Outcome {
    TAGGED,         // one member kept, the rule tags at least one other
    ALL_PROTECTED,  // every other member is protected: left alone
    LINKS_ONLY,     // every other member is another name of the kept file: left alone
    SINGLE_MEMBER,  // one live member (or none): nothing to choose from
    ALL_TAGGED,     // adding to the tags, and every other member is tagged already: left alone
    NONE_USABLE,    // no member the caller may keep (not on disk as scanned): left alone
  };
  Outcome outcome = SINGLE_MEMBER;
  std::size_t kept = 0;                          // the row kept, when TAGGED
  KeepReason reason = KeepReason::FIRST_LISTED;  // why it was kept
  std::size_t preferred = 0;       // the index of its preferred folder, for PREFERRED_FOLDER
  std::vector<std::size_t> tag;    // the rows tagged once the rule has run (some may be already)
  std::vector<std::size_t> untag;  // tagged rows whose tags go (untag_first only)
};

// Whether the caller may keep a member (for example: still on disk as the
// scan saw it). Null: every member may be kept.
using KeepCheck = std::function<bool(const RuleMember&)>;

// The folders of a text box, one per line: empty lines skipped, "~" made
// the home directory `home`, a trailing "/" dropped (but "/" itself stays).
std::vector<std::string> tag_rule_folders(std::string_view text, std::string_view home);

// Whether `path` lies below `folder` (a folder as tag_rule_folders gives it).
bool is_below(std::string_view path, std::string_view folder);

// A folder of a rule, read as a scanned folder is read: the rule compares
// it with the paths the scan listed, which are real paths, so the folder
// must be one too.
struct RuleFolder {
  enum Status { FOLDER, MISSING, NOT_A_FOLDER };
  std::string typed;  // as given (the line of a box: blanks around it trimmed)
  std::string path;   // its real path, for a FOLDER; "" otherwise
  Status status = MISSING;
  int error = 0;  // why not, for MISSING (errno: ENOENT, EACCES, ELOOP ...)
};

// One folder: "~" or "~/..." from the home directory `home`, a relative
// one from the directory `base`, then symbolic links, ".", "..", doubled and
// trailing "/" resolved on the disk (realpath). A name that leads nowhere is
// MISSING; a file, or a name below a file, is NOT_A_FOLDER.
RuleFolder resolve_rule_folder(std::string_view folder, std::string_view home,
                               std::string_view base);

// The folders of a text box, one per line, each resolved (empty lines
// skipped, blanks around a line trimmed).
std::vector<RuleFolder> resolve_rule_folders(std::string_view text, std::string_view home,
                                             std::string_view base);

// What keeps a folder out of a rule: "no such folder: X", "not a folder: X",
// "cannot read folder X: Permission denied"; "" for a FOLDER.
std::string rule_folder_problem(const RuleFolder& folder);

// The plan for one group (its live members in list order). The rule's
// folders must be as tag_rule_folders gives them.
GroupPlan plan_group(const TagRule& rule, const std::vector<RuleMember>& members,
                     const KeepCheck& may_keep = nullptr);

// Why a member was kept, as the preview and the clean-up say it: "in
// preferred folder FOLDER" (`folder` as the caller shows it), "the others
// look like copies", "the others are in backup folders", "oldest", "newest",
// "shortest path", "longest path", "first listed".
std::string keep_reason_text(KeepReason reason, std::string_view folder = {});

// Why a group is left alone (an outcome other than TAGGED): "every other
// copy protected", "only hard links of the kept file", "a single copy left",
// "every copy tagged already", "no copy on disk as scanned"; "" for TAGGED.
std::string left_alone_text(GroupPlan::Outcome outcome);

// The plans of many groups, and what the preview says of them.
struct RuleSummary {
  std::size_t files = 0;   // rows the rule tags
  std::size_t groups = 0;  // groups where it tags any
  std::int64_t bytes = 0;  // their sizes
  std::size_t all_protected = 0, links_only = 0, single_member = 0, all_tagged = 0, none_usable = 0;

  void add(const GroupPlan& plan, const std::vector<RuleMember>& members);
  // "Will tag 12,345 files in 4,321 groups (3,210,987,654 bytes)".
  std::string preview_line() const;
  // How many groups are left alone and why; empty when none is.
  std::string left_alone_line() const;
};

// A file name (the last component of a path, bytes) without the copy
// markers that programs and people add to a copy's name: " (2)", "Copy of ",
// " - Copy", " copy 3", "~", ".bak" ... (the table is in tag_rule.cc),
// removed again and again until none is left; the name itself when it
// carries none. Never empty when `name` is not.
std::string name_without_copy_markers(std::string_view name);

// Whether a folder name (one path component) is named like a backup folder:
// "Backup", "backups", "Backup 2", "backup-3", "Copy", "Old", "Archive" ...
// (the table is in tag_rule.cc), whatever the case of its ASCII letters.
bool is_backup_folder_name(std::string_view component);

// The folder all of `paths` lie below, as the longest run of whole leading
// components they share ("/" at least, for absolute paths).
std::string common_folder(const std::vector<std::string_view>& paths);

// Whether `path` lies below a folder named like a backup folder, counting
// only the folders below `root` (a folder the path lies below).
bool below_backup_folder(std::string_view path, std::string_view root);

// The time a row shows ("Mon-Dec 25,2000", "12:34:56AM") as a number that
// orders as that local date and time (20001225003456); UNKNOWN_TIME when
// the texts are not a date and a time.
std::int64_t shown_time(std::string_view date, std::string_view time_of_day);
