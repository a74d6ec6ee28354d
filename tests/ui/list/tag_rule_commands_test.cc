// Tag by rule on the result list: the rows tagged, the totals, the kept copy
// that must still be on disk as scanned, one group or all.
#include "ui/list/tag_rule_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ui/list/list_commands.h"
#include "ui/list/support/list_fixture.h"

namespace {

using Rows = std::vector<std::string>;

class TagRuleListTest : public test::ListTest {
 public:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    comment("Sorted List");
    header(1);
    dated("g1/old", "Mon-Jan 01,2001", "one");
    dated("g1/new", "Tue-Jan 01,2002", "one");
    dated("g1/mid", "Mon-Jul 01,2001", "one");
    header(2);
    dated("g2/a", "Mon-Jan 01,2001", "two!");
    dated("g2/b", "Tue-Jan 01,2002", "two!");
    comment("End Of List");
  }
  // A real file and its row, showing `date` at noon.
  void dated(const std::string& name, const char* date, const std::string& bytes) {
    mkdir((dir / name.substr(0, name.find('/'))).c_str(), 0755);
    std::string path = dir / name;
    test::write_file(path, bytes);
    struct stat st;
    lstat(path.c_str(), &st);
    FileIdentity id = identity_of(st);
    std::string size = thousands(st.st_size);
    RowTexts r{{" ", date, "12:00:00PM", size.c_str(), "", "-rw-r--r--", path.c_str()}, &id};
    list.append(r);
    block->row_count.fetch_add(1);
  }
  ListContext ctx{list, prompter, disk};
};

TEST_F(TagRuleListTest, TheSpareCopiesAreTaggedAndUntagAllTakesThemBack) {
  RuleSummary done = apply_rule(ctx, TagRule{}, false);  // keep the newest
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "* g1/old", "  g1/new", "* g1/mid",
                           "/* Group 2 ", "* g2/a", "  g2/b", "/* End Of List"}));
  EXPECT_EQ(done.preview_line(), "Will tag 3 files in 2 groups (10 bytes)");
  EXPECT_EQ(list.totals_line(), "3 Files Tagged (10 bytes), 0 Files Deleted (0 bytes)");
  expect_counters_match_rows();

  prompter.answers = {'A'};
  untag_all(list, prompter);
  EXPECT_EQ(list.totals_line(), "0 Files Tagged (0 bytes), 0 Files Deleted (0 bytes)");
}

TEST_F(TagRuleListTest, AKeptCopyNoLongerOnDiskAsScannedGivesWayToTheNextBest) {
  test::write_file(dir / "g1/new", "changed!");  // the newest is not what the scan saw
  apply_rule(ctx, TagRule{}, false);
  EXPECT_EQ(list.text(4, COL_MARK), " ") << "the next newest is kept";
  EXPECT_EQ(list.text(2, COL_MARK), "*");
  EXPECT_EQ(list.text(3, COL_MARK), "*") << "tagged: a delete would find it changed";
}

TEST_F(TagRuleListTest, OnlyTheSelectedGroupAndNeverADeletedRow) {
  list.set_mark(3, "D");  // g1/new, deleted
  list.select(7);         // in group 2
  apply_rule(ctx, TagRule{}, true);
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  g1/old", "D g1/new", "  g1/mid",
                           "/* Group 2 ", "* g2/a", "  g2/b", "/* End Of List"}));
  apply_rule(ctx, TagRule{}, false);
  EXPECT_EQ(list.text(2, COL_MARK), "*") << "the newest live copy, g1/mid, is kept";
  EXPECT_EQ(list.text(4, COL_MARK), " ");
  EXPECT_EQ(list.text(3, COL_MARK), "D");
  expect_counters_match_rows();
}

TEST_F(TagRuleListTest, ThePreviewCountsWhatTagWillDo) {
  TagRule rule;
  rule.protected_folders = {dir / "g2"};
  RuleSummary preview = preview_rule(rule, rule_groups(list, false));
  EXPECT_EQ(preview.preview_line(), "Will tag 2 files in 1 group (6 bytes)");
  EXPECT_EQ(preview.left_alone_line(), "1 group left alone: 1 with every other copy protected");
  EXPECT_EQ(list.totals_line(), "0 Files Tagged (0 bytes), 0 Files Deleted (0 bytes)")
      << "a preview changes nothing";
}

// The preview's groups: only the first ones shown, the others counted; a
// copy tagged before and left tagged (adding to the tags) said so; the
// counts those of every group.
TEST_F(TagRuleListTest, ThePreviewShowsTheFirstGroupsAndCountsTheRest) {
  list.tag(3);  // g1/new, tagged before
  TagRule rule;
  rule.keep = KeepBy::OLDEST;
  rule.untag_first = false;
  struct Case {
    std::size_t shown;
    std::string text;
  };
  const std::string g1 = "keep " + dir / "g1/old" + " (oldest)\n    stays tagged " +
                         dir / "g1/new" + "\n    tag " + dir / "g1/mid" + "\n";
  const std::string g2 = "keep " + dir / "g2/a" + " (oldest)\n    tag " + dir / "g2/b" + "\n";
  const Case cases[] = {
      {0, "... and 2 more groups\n"},
      {1, g1 + "... and 1 more group\n"},
      {2, g1 + g2},
      {200, g1 + g2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    RulePreview preview = preview_rule_groups(rule, rule_groups(list, false), {}, c.shown);
    EXPECT_EQ(preview.groups_text, c.text);
    EXPECT_EQ(preview.summary.preview_line(), "Will tag 2 files in 2 groups (7 bytes)");
  }
}

// A row tagged by the rule says why in its tooltip, until its tag goes
// (by hand, by Untag All, or by a rule run again that keeps it).
TEST_F(TagRuleListTest, TheTooltipOfARowTaggedByTheRuleSaysWhy) {
  TagRule rule;
  rule.keep = KeepBy::OLDEST;
  apply_rule(ctx, rule, false);
  auto tooltip = [&](int row) { return list.tooltip_markup(row); };
  const std::string kept_old = "Tagged by rule: kept " + dir / "g1/old" + " (oldest)";
  EXPECT_EQ(tooltip(2), dir / "g1/old") << "the kept copy: only its path";
  EXPECT_EQ(tooltip(3), dir / "g1/new" + "\n" + kept_old);
  EXPECT_EQ(tooltip(4), dir / "g1/mid" + "\n" + kept_old);
  EXPECT_EQ(tooltip(7), dir / "g2/b" + "\nTagged by rule: kept " + dir / "g2/a" + " (oldest)");

  list.untag(3);
  EXPECT_EQ(tooltip(3), dir / "g1/new") << "untagged: the reason went with the tag";
  list.tag(3);
  EXPECT_EQ(tooltip(3), dir / "g1/new") << "tagged by hand: no rule's reason";

  // Run again keeping the newest: g1/new is kept, its tag taken back.
  rule.keep = KeepBy::NEWEST;
  rule.preferred = {dir / "g2"};
  apply_rule(ctx, rule, false);
  EXPECT_EQ(tooltip(3), dir / "g1/new");
  EXPECT_EQ(tooltip(2), dir / "g1/old\nTagged by rule: kept " + dir / "g1/new" + " (newest)");
  EXPECT_EQ(tooltip(6), dir / "g2/a\nTagged by rule: kept " + dir / "g2/b" + " (newest)")
      << "both in the preferred folder: the criterion decides";

  prompter.answers = {'A'};
  untag_all(list, prompter);
  for (int row : {2, 4, 6}) EXPECT_EQ(tooltip(row).find("Tagged by rule"), std::string::npos);
}

}  // namespace
