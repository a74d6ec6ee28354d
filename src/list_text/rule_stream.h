// A tag rule applied to list rows as they stream past, group by group (the
// headless command never holds more than one group): the rows of a group
// are held until the group ends, then passed on with the mark "*" on the
// rows the rule tags. Rows of no group pass at once.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/row_texts.h"
#include "list_text/tag_rule.h"

class RuleStream {
 public:
  using Sink = std::function<void(const RowTexts&)>;

  RuleStream(TagRule rule, Sink sink, KeepCheck may_keep = nullptr);

  // Told, for each group the rule tags in, the path it keeps, why, and the
  // preferred folder for KeepReason::PREFERRED_FOLDER ("" otherwise): after
  // the group's header row is passed on, before its file rows.
  using KeptSink =
      std::function<void(const std::string& path, KeepReason reason, const std::string& folder)>;
  void set_kept_sink(KeptSink kept) { kept_ = std::move(kept); }

  void row(const RowTexts& row);
  // Passes on the group still held.
  void finish();

  const RuleSummary& summary() const { return summary_; }

 private:
  struct HeldRow {
    std::string col[COLUMN_COUNT];
    FileIdentity identity;
    bool has_identity = false;
  };
  void flush();
  void pass(const HeldRow& held, const char* mark);

  TagRule rule_;
  Sink sink_;
  KeepCheck may_keep_;
  KeptSink kept_;
  std::vector<HeldRow> group_;  // the header (first) and the file rows of the group in hand
  RuleSummary summary_;
};
