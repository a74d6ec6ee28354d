// Tagging rows: "Toggle Tag On Entry", "Tag All 'D'elected Entries",
// "Untag All" and "Goto Entry #1".
#include <gtest/gtest.h>

#include "ui/list/list_commands.h"
#include "ui/list/support/list_fixture.h"

namespace {

using test::ListTest;
using Rows = std::vector<std::string>;

TEST_F(ListTest, ToggleTagTagsAndUntagsFileRowsOnly) {
  comment("Sorted List");
  header(1);
  row("/a", 1234567);
  row("/b", 5, "D");
  comment("End Of List");

  list.select(2);
  toggle_tag(list, prompter);
  EXPECT_EQ(list.text(2, 0), "*");
  EXPECT_EQ(list.totals_line(), "1 File Tagged (1,234,567 bytes), 0 Files Deleted (0 bytes)");
  toggle_tag(list, prompter);
  EXPECT_EQ(list.text(2, 0), " ");
  EXPECT_EQ(list.totals_line(), "0 Files Tagged (0 bytes), 0 Files Deleted (0 bytes)");
  EXPECT_EQ(prompter.error_signals, 0);

  // A header, a comment, a "D" row, no selection, row 0: only the signal.
  for (int r : {1, 3, 4, -1, 0}) {
    list.select(r);
    if (r < 0) list.unselect();
    int signals = prompter.error_signals;
    toggle_tag(list, prompter);
    EXPECT_EQ(prompter.error_signals, signals + 1) << r;
  }
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  /a", "D /b", "/* End Of List"}));
  EXPECT_EQ(block->tagged_count.load(), 0);
  EXPECT_TRUE(prompter.said.empty());
}

TEST_F(ListTest, TogglingNeedsMoreThanTwoRows) {
  comment("Sorted List");
  row("/a", 1);
  list.select(1);
  toggle_tag(list, prompter);
  goto_first_entry(list, prompter);
  EXPECT_EQ(prompter.error_signals, 2);
  EXPECT_EQ(list.text(1, 0), " ");
}

TEST_F(ListTest, GotoFirstEntrySelectsRowOne) {
  comment("Sorted List");
  header(1);
  row("/a", 1);
  list.select(2);
  goto_first_entry(list, prompter);
  EXPECT_EQ(list.selected_row(), 1);
  EXPECT_EQ(prompter.error_signals, 0);
}

// Tag All 'D'elected Entries over three "D" rows, answered in turn.
TEST_F(ListTest, TagAllDeletedAsksPerRowUntilYesToAll) {
  struct Case {
    const char* name;
    std::deque<int> answers;
    std::string marks;  // of the rows /d1 /x /d2 /d3
    int questions;
  };
  const Case cases[] = {
      {"yes to all at once", {'A'}, "* **", 1},
      {"yes, then no, then yes", {'Y', 'N', 'Y'}, "* D*", 3},
      {"no, then cancel", {'N', 'C'}, "D DD", 2},
      {"yes, then cancel", {'Y', 'C'}, "* DD", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    list.clear();
    block->row_count = 0;
    block->tagged_count = 0;
    block->tagged_bytes = 0;
    block->deleted_count = 3;
    block->deleted_bytes = 30;
    prompter.said.clear();
    comment("Sorted List");
    header(1);
    row("/d1", 10, "D");
    row("/x", 1);
    row("/d2", 10, "D");
    row("/d3", 10, "D");
    prompter.answers = c.answers;
    tag_all_deleted(list, prompter);
    std::string marks;
    for (int i = 2; i < 6; ++i) marks += list.text(i, 0);
    EXPECT_EQ(marks, c.marks);
    EXPECT_EQ(static_cast<int>(prompter.said.size()), c.questions);
    EXPECT_EQ(prompter.said[0], "yes_no_all|TAG ALL DELETED|TAG THIS ENTRY?|/d1");
    expect_counters_match_rows();
    EXPECT_EQ(block->deleted_count.load(), 3) << "tagging a D row leaves the deleted totals";
    EXPECT_EQ(block->list_busy.load(), 0);
    EXPECT_TRUE(prompter.answers.empty());
  }
}

TEST_F(ListTest, UntagAllUntagsEveryTaggedRow) {
  comment("Sorted List");
  header(1);
  row("/a", 100, "*");
  row("/b", 1);
  row("/c", 20, "*");
  prompter.answers = {'N', 'Y'};
  untag_all(list, prompter);
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "* /a", "  /b", "  /c"}));
  EXPECT_EQ(prompter.said, (std::vector<std::string>{"yes_no_all|UNTAG ALL|UNTAG THIS ENTRY?|/a",
                                                     "yes_no_all|UNTAG ALL|UNTAG THIS ENTRY?|/c"}));
  EXPECT_EQ(list.totals_line(), "1 File Tagged (100 bytes), 0 Files Deleted (0 bytes)");
  expect_counters_match_rows();
}

TEST_F(ListTest, BulkTaggingIsRefusedWhileTheListIsBusy) {
  comment("Sorted List");
  header(1);
  row("/a", 100, "*");
  block->list_busy = 1;
  untag_all(list, prompter);
  tag_all_deleted(list, prompter);
  EXPECT_EQ(prompter.said,
            (std::vector<std::string>{
                "message|List Box Busy|Untag All|Try after operation is complete",
                "message|List Box Busy|Tag All Deleted Files|Try after operation is complete"}));
  EXPECT_EQ(list.text(2, 0), "*");
  EXPECT_EQ(block->list_busy.load(), 1);
}

}  // namespace
