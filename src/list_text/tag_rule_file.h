// The file "Rules" in the data directory: the choices of the window "Tag By
// Rule", remembered across runs. A text key file:
//
//   [Tag By Rule]
//   keep=original          (newest, oldest, shortest-path, longest-path, first)
//   prefer=/home/me/Photos;/mnt/keep;   (the folder boxes' lines, as typed)
//   protect=/mnt/backup;
//   leave-hard-links=true
//   selected-group-only=false
//   untag-first=true
//
// The folder lines are stored as typed and resolved each time they are
// used, so "~" and links keep their meaning when the home or a link moves,
// and the window shows the user's own lines again.
// A missing, damaged or unreadable file gives the defaults, never an error.
// It is written through "Rules.new" and a rename, as the record files are.
#pragma once

#include <string>
#include <vector>

#include "list_text/tag_rule.h"

// The choices of the window, as the user left them.
struct TagRuleChoices {
  KeepBy keep = KeepBy::ORIGINAL;
  std::string preferred_text;  // the box's text, one folder a line
  std::string protected_text;
  bool leave_hard_links = true;
  bool selected_group_only = false;
  bool untag_first = true;
  // The rule the file named when that is no rule's name (the default rule
  // stands in for it); empty otherwise.
  std::string unknown_keep;
};

inline constexpr const char* TAG_RULE_FILE_NAME = "Rules";

// The choices stored in `file`, or the defaults.
TagRuleChoices load_tag_rule_choices(const std::string& file);
// False, with errno telling why, when the file could not be written.
bool save_tag_rule_choices(const std::string& file, const TagRuleChoices& choices);

// The rule the choices make; `home` stands for "~" in the folder lines,
// which are taken as typed.
TagRule tag_rule_of(const TagRuleChoices& choices, const std::string& home);

// The rule the choices make with its folders resolved as the scanned
// folders are (resolve_rule_folders; a relative line from the home
// directory `home`, the one directory a user of the window thinks from), and
// what is wrong with them: one line per folder that is no folder ("no such
// folder: X"). A rule with problems must not be used: a folder that is
// missing would protect nothing.
struct ResolvedRule {
  TagRule rule;
  std::vector<std::string> problems;
  std::vector<RuleFolder> folders;  // every folder line, preferred first
};
ResolvedRule resolved_tag_rule_of(const TagRuleChoices& choices, const std::string& home);

// "newest", "oldest", "shortest-path", "longest-path", "first", "original",
// and back (false for any other word).
const char* keep_by_name(KeepBy keep);
// Every rule's name, for a message: "newest, oldest, ... or original".
std::string keep_by_names();
bool keep_by_from_name(const std::string& name, KeepBy& keep);
