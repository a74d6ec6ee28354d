#include "ui/list/tag_rule_commands.h"

#include <algorithm>

#include "list_text/list_rows.h"

std::vector<std::vector<RuleMember>> rule_groups(const ResultList& list, bool selected_group_only) {
  const std::vector<ResultList::RowFacts> rows = list.facts();
  const std::int64_t only = selected_group_only ? list.group_of(list.selected_row()) : 0;
  std::vector<std::vector<RuleMember>> groups;
  std::int64_t current = -1;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const ResultList::RowFacts& f = rows[r];
    if (f.kind != ROW_FILE && f.kind != ROW_TAGGED) continue;  // "D" rows are no live members
    if (selected_group_only && f.group != only) continue;
    if (f.group != current) {
      groups.emplace_back();
      current = f.group;
    }
    RuleMember m;
    m.row = r;
    m.path = f.path;
    m.time = shown_time(f.date, f.time);
    m.identity = f.identity;
    m.size = f.size;
    m.tagged = f.kind == ROW_TAGGED;
    groups.back().push_back(std::move(m));
  }
  return groups;
}

RuleSummary preview_rule(const TagRule& rule, const std::vector<std::vector<RuleMember>>& groups) {
  RuleSummary summary;
  for (const std::vector<RuleMember>& group : groups) summary.add(plan_group(rule, group), group);
  return summary;
}

RulePreview preview_rule_groups(const TagRule& rule,
                                const std::vector<std::vector<RuleMember>>& groups,
                                const std::vector<std::string>& preferred_shown,
                                std::size_t shown_groups) {
  RulePreview preview;
  std::string& text = preview.groups_text;
  std::size_t shown = 0;
  for (const std::vector<RuleMember>& group : groups) {
    const GroupPlan plan = plan_group(rule, group);
    preview.summary.add(plan, group);
    if (shown == shown_groups) continue;
    ++shown;
    if (plan.outcome == GroupPlan::TAGGED) {
      const std::string folder =
          plan.reason == KeepReason::PREFERRED_FOLDER && plan.preferred < preferred_shown.size()
              ? preferred_shown[plan.preferred]
              : std::string();
      for (const RuleMember& m : group) {
        if (m.row != plan.kept) continue;
        text +=
            "keep " + display_text(m.path) + " (" + keep_reason_text(plan.reason, folder) + ")\n";
      }
      for (const RuleMember& m : group) {
        if (std::find(plan.tag.begin(), plan.tag.end(), m.row) != plan.tag.end()) {
          text += "    tag " + display_text(m.path) + "\n";
        } else if (m.row != plan.kept) {
          // Protected, another name of the kept file, or tagged before and
          // left so.
          text += std::string(m.tagged && !rule.untag_first ? "    stays tagged " : "    leave ") +
                  display_text(m.path) + "\n";
        }
      }
    } else {
      text += "left alone: " + left_alone_text(plan.outcome) + "\n";
      for (const RuleMember& m : group) text += "    " + display_text(m.path) + "\n";
    }
  }
  if (groups.size() > shown) {
    const std::size_t more = groups.size() - shown;
    text += "... and " + thousands(static_cast<std::int64_t>(more)) +
            (more == 1 ? " more group\n" : " more groups\n");
  }
  return preview;
}

RuleSummary apply_rule(ListContext& ctx, const TagRule& rule, bool selected_group_only) {
  return apply_rule(ctx, rule, rule_groups(ctx.list, selected_group_only));
}

RuleSummary apply_rule(ListContext& ctx, const TagRule& rule,
                       const std::vector<std::vector<RuleMember>>& groups) {
  ResultList& list = ctx.list;
  RuleSummary summary;
  KeepCheck on_disk = nullptr;
  if (ctx.files != nullptr) {
    on_disk = [&](const RuleMember& m) {
      const int row = static_cast<int>(m.row);
      return ctx.files->unchanged(list.path(row), list.identity(row));
    };
  }
  FrozenList frozen(list);
  std::vector<int> to_tag, to_untag;
  std::vector<std::pair<std::vector<std::size_t>, std::string>> reasons;  // rows tagged, why
  for (const std::vector<RuleMember>& group : groups) {
    GroupPlan plan = plan_group(rule, group, on_disk);
    summary.add(plan, group);
    if (plan.outcome == GroupPlan::TAGGED) {
      const std::string folder = plan.reason == KeepReason::PREFERRED_FOLDER
                                     ? display_text(rule.preferred[plan.preferred])
                                     : std::string();
      reasons.emplace_back(plan.tag, "kept " +
                                         display_text(list.path(static_cast<int>(plan.kept))) +
                                         " (" + keep_reason_text(plan.reason, folder) + ")");
    }
    for (std::size_t row : plan.tag) to_tag.push_back(static_cast<int>(row));
    for (std::size_t row : plan.untag) to_untag.push_back(static_cast<int>(row));
  }
  // Groups come in list order, and so do their rows.
  std::sort(to_tag.begin(), to_tag.end());
  std::sort(to_untag.begin(), to_untag.end());
  list.retag(to_tag, to_untag);
  for (const auto& [rows, why] : reasons) {
    for (std::size_t row : rows) list.set_rule_reason(static_cast<int>(row), why);
  }
  list.show_totals();
  return summary;
}
