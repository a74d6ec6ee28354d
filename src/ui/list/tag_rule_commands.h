// "Tag Copies By Rule": the rule of list_text/tag_rule.h applied to the
// result list (the window ui/windows/tag_rule_window.* gathers the choices).
#pragma once

#include <string>
#include <vector>

#include "list_text/tag_rule.h"
#include "ui/list/list_commands.h"

// The groups of the list as the rule sees them: for every group (or only
// the selected row's), its live members (file rows not marked "D") in list
// order; RuleMember::row is the list row.
std::vector<std::vector<RuleMember>> rule_groups(const ResultList& list, bool selected_group_only);

// What the rule would do to those groups (no disk is looked at).
RuleSummary preview_rule(const TagRule& rule, const std::vector<std::vector<RuleMember>>& groups);

// The preview of the window: what the rule would do to those groups, and,
// for the first `shown_groups` of them, a text of a few lines each: the copy
// kept and why, the copies it tags; or that the group is left alone, why,
// and its copies. `preferred_shown`: the rule's preferred folders as the
// window shows them (for "in preferred folder ..."). Groups past those shown
// are only counted ("... and 1,234 more groups").
struct RulePreview {
  RuleSummary summary;
  std::string groups_text;
};
RulePreview preview_rule_groups(const TagRule& rule,
                                const std::vector<std::vector<RuleMember>>& groups,
                                const std::vector<std::string>& preferred_shown,
                                std::size_t shown_groups = 200);

// Tags by the rule: in each group it touches, clears the tags it is to
// clear and tags the spare copies. The copy kept must still be on disk as
// the scan saw it (the disk of `ctx`), else the next best one is kept.
// Returns what it did. The caller holds the busy word.
RuleSummary apply_rule(ListContext& ctx, const TagRule& rule, bool selected_group_only);
// The same on groups read before (rule_groups) from a list that has not
// changed since (a modal window's).
RuleSummary apply_rule(ListContext& ctx, const TagRule& rule,
                       const std::vector<std::vector<RuleMember>>& groups);
