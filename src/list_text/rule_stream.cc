#include "list_text/rule_stream.h"

#include <algorithm>

#include "list_text/list_rows.h"

RuleStream::RuleStream(TagRule rule, Sink sink, KeepCheck may_keep)
    : rule_(std::move(rule)), sink_(std::move(sink)), may_keep_(std::move(may_keep)) {}

void RuleStream::row(const RowTexts& row) {
  const RowKind kind = classify_texts(row);
  if (!is_file_kind(kind)) flush();  // a header or comment ends the group in hand
  HeldRow held;
  for (int c = 0; c < COLUMN_COUNT; ++c) held.col[c] = row.col[c];
  if (row.identity != nullptr) {
    held.identity = *row.identity;
    held.has_identity = true;
  }
  if (kind == ROW_GROUP || (is_file_kind(kind) && !group_.empty())) {
    group_.push_back(std::move(held));
  } else {
    pass(held, nullptr);  // a comment row, or a file row of no group
  }
}

void RuleStream::finish() { flush(); }

void RuleStream::flush() {
  if (group_.empty()) return;
  std::vector<RuleMember> members;
  for (std::size_t i = 1; i < group_.size(); ++i) {
    const HeldRow& h = group_[i];
    if (h.col[0].rfind('D', 0) == 0) continue;  // a deleted file is no live member
    RuleMember m;
    m.row = i;
    m.path = h.col[COLUMN_COUNT - 1];
    m.time = shown_time(h.col[1], h.col[2]);
    if (h.has_identity) {
      m.identity = h.identity;
      m.size = h.identity.size;
    } else {
      m.size = size_from_text(h.col[3]);
    }
    m.tagged = h.col[0].rfind('*', 0) == 0;
    members.push_back(std::move(m));
  }
  GroupPlan plan = plan_group(rule_, members, may_keep_);
  summary_.add(plan, members);
  for (std::size_t i = 0; i < group_.size(); ++i) {
    if (i == 1 && kept_ && plan.outcome == GroupPlan::TAGGED) {
      kept_(group_[plan.kept].col[COLUMN_COUNT - 1], plan.reason,
            plan.reason == KeepReason::PREFERRED_FOLDER ? rule_.preferred[plan.preferred] : "");
    }
    const char* mark = nullptr;
    if (std::find(plan.tag.begin(), plan.tag.end(), i) != plan.tag.end()) mark = "*";
    if (std::find(plan.untag.begin(), plan.untag.end(), i) != plan.untag.end()) mark = " ";
    pass(group_[i], mark);
  }
  group_.clear();
}

void RuleStream::pass(const HeldRow& held, const char* mark) {
  RowTexts row{
      {mark != nullptr ? mark : held.col[0].c_str(), held.col[1].c_str(), held.col[2].c_str(),
       held.col[3].c_str(), held.col[4].c_str(), held.col[5].c_str(), held.col[6].c_str()},
      held.has_identity ? &held.identity : nullptr};
  if (sink_) sink_(row);
}
