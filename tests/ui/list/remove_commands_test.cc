// Removing rows: "Remove Line/Group", "Remove All tagged Entries",
// "Remove All NON-Tagged Entries", "Remove All 'D'eleted Entries".
#include <gtest/gtest.h>

#include "ui/list/list_commands.h"
#include "ui/list/support/list_fixture.h"

namespace {

using Rows = std::vector<std::string>;
using Said = std::vector<std::string>;

// Two groups between the framing comment rows:
//   0 Sorted List, 1 Group 1, 2 /a, 3 /b, 4 /c, 5 Group 2, 6 /d, 7 /e, 8 End Of List
class RemoveTest : public test::ListTest {
 protected:
  void SetUp() override {
    comment("Sorted List");
    header(1);
    row("/a", 10);
    row("/b", 20, "*");
    row("/c", 30);
    header(2);
    row("/d", 40, "D");
    row("/e", 50);
    comment("End Of List");
  }
};

TEST_F(RemoveTest, RemoveLineTakesOneRowAndAnEmptiedGroupsHeader) {
  list.select(3);  // a tagged row: the totals go down
  remove_line_or_group(list, prompter);
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  /a", "  /c", "/* Group 2 ", "D /d",
                           "  /e", "/* End Of List"}));
  EXPECT_EQ(list.selected_row(), 3) << "the row that followed";
  expect_counters_match_rows();

  list.select(2);
  remove_line_or_group(list, prompter);
  list.select(2);
  remove_line_or_group(list, prompter);  // the group's last member: its header goes too
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 2 ", "D /d", "  /e", "/* End Of List"}));
  EXPECT_TRUE(prompter.said.empty()) << "single rows go without a question";
  EXPECT_EQ(block->list_busy.load(), 0);
}

TEST_F(RemoveTest, RemoveLineOnTheLastRowSelectsTheNewLastRow) {
  comment("Scan Time ");
  row("/z", 1);  // a stray file row at the very end
  list.select(10);
  remove_line_or_group(list, prompter);
  EXPECT_EQ(list.size(), 10);
  EXPECT_EQ(list.selected_row(), 9);
}

TEST_F(RemoveTest, RemoveGroupAsksAndStopsAtADeletedRow) {
  list.select(1);
  prompter.answers = {'N'};
  remove_line_or_group(list, prompter);
  EXPECT_EQ(list.size(), 9) << "declined: nothing changes";
  EXPECT_EQ(prompter.said,
            (Said{"yes_no|Remove Group|REMOVE ALL ENTRIES FROM THIS GROUP?|Group 1 "}));

  prompter.answers = {'Y'};
  remove_line_or_group(list, prompter);
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 2 ", "D /d", "  /e", "/* End Of List"}));
  expect_counters_match_rows();
  EXPECT_EQ(list.totals_line(), "0 Files Tagged (0 bytes), 0 Files Deleted (0 bytes)");

  // A group holding a "D" row loses only its header and the rows before it.
  list.select(1);
  prompter.answers = {'Y'};
  remove_line_or_group(list, prompter);
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "D /d", "  /e", "/* End Of List"}));
}

TEST_F(RemoveTest, RemoveLineRefusals) {
  struct Case {
    const char* name;
    int selected;
    int busy;
    Said said;
    int signals;
  };
  const Case cases[] = {
      {"nothing selected", -1, 0, {}, 1},
      {"row 0", 0, 0, {}, 1},
      {"a comment row", 8, 0, {}, 1},
      {"a D row", 6, 0, {}, 1},
      {"busy",
       2,
       1,
       {"message|List Box Busy|Remove Line/Group|Try after operation is complete"},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    prompter.said.clear();
    prompter.error_signals = 0;
    block->list_busy = c.busy;
    if (c.selected < 0) {
      list.unselect();
    } else {
      list.select(c.selected);
    }
    remove_line_or_group(list, prompter);
    EXPECT_EQ(list.size(), 9);
    EXPECT_EQ(prompter.said, c.said);
    EXPECT_EQ(prompter.error_signals, c.signals);
    EXPECT_EQ(block->list_busy.load(), c.busy);
  }
}

TEST_F(RemoveTest, RemoveAllTaggedAsksPerRow) {
  list.select(2);
  toggle_tag(list, prompter);  // /a tagged too
  list.select(7);
  toggle_tag(list, prompter);  // and /e
  prompter.answers = {'Y', 'Y', 'N', 'Y'};
  remove_all_tagged(list, prompter);
  EXPECT_EQ(
      prompter.said,
      (Said{"yes_no|Remove All Tagged Entries|REMOVE ALL TAGGED ENTRIES FROM LISTBOX?|3 Tagged "
            "Entries",
            "yes_no_all|REMOVE ALL TAGGED ENTRIES|REMOVE THIS ENTRY?|/a",
            "yes_no_all|REMOVE ALL TAGGED ENTRIES|REMOVE THIS ENTRY?|/b",
            "yes_no_all|REMOVE ALL TAGGED ENTRIES|REMOVE THIS ENTRY?|/e"}));
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "* /b", "  /c", "/* Group 2 ", "D /d",
                           "/* End Of List"}));
  expect_counters_match_rows();
}

TEST_F(RemoveTest, RemoveAllTaggedWithYesToAllAndCancel) {
  list.select(2);
  toggle_tag(list, prompter);
  list.select(4);
  toggle_tag(list, prompter);  // group 1 all tagged
  prompter.answers = {'Y', 'A'};
  remove_all_tagged(list, prompter);
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 2 ", "D /d", "  /e", "/* End Of List"}))
      << "the emptied group lost its header";
  expect_counters_match_rows();

  list.select(3);
  toggle_tag(list, prompter);
  prompter.answers = {'Y', 'C'};
  remove_all_tagged(list, prompter);
  EXPECT_EQ(list.size(), 5) << "cancel keeps the row";
  EXPECT_EQ(block->list_busy.load(), 0);
}

TEST_F(RemoveTest, RemoveAllNonTaggedKeepsTaggedDeletedHeadersAndComments) {
  prompter.answers = {'Y'};
  remove_all_non_tagged(list, prompter);
  EXPECT_EQ(prompter.said, (Said{"yes_no|Remove All NON Tagged Entries|REMOVE ALL NON TAGGED "
                                 "ENTRIES FROM LISTBOX?|1 Tagged Entries"}));
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "* /b", "/* Group 2 ", "D /d",
                           "/* End Of List"}));
  expect_counters_match_rows();
}

TEST_F(RemoveTest, RemoveAllNonTaggedWithNothingTaggedOnlySignals) {
  list.select(3);
  toggle_tag(list, prompter);
  block->list_busy = 1;
  remove_all_non_tagged(list, prompter);
  EXPECT_EQ(prompter.error_signals, 1) << "nothing tagged is told before the busy list";
  EXPECT_TRUE(prompter.said.empty());
  EXPECT_EQ(list.size(), 9);
}

TEST_F(RemoveTest, RemoveAllDeletedLowersTheDeletedTotals) {
  block->deleted_count = 3;  // two were removed from the list as they were deleted
  block->deleted_bytes = 1040;
  prompter.answers = {'Y'};
  remove_all_deleted(list, prompter);
  EXPECT_EQ(prompter.said, (Said{"yes_no|Remove All Deleted Entries|REMOVE ALL DELETED ENTRIES "
                                 "FROM LISTBOX?|3 Entries Marked as Deleted"}));
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  /a", "* /b", "  /c", "/* Group 2 ",
                           "  /e", "/* End Of List"}));
  EXPECT_EQ(block->deleted_count.load(), 2);
  EXPECT_EQ(block->deleted_bytes.load(), 1000);

  // Counted deletions but no "D" row left: asked, nothing removed, counters stay.
  prompter.said.clear();
  prompter.answers = {'Y'};
  remove_all_deleted(list, prompter);
  EXPECT_EQ(prompter.said.size(), 1u);
  EXPECT_EQ(list.size(), 8);
  EXPECT_EQ(block->deleted_count.load(), 2);
  EXPECT_EQ(list.totals_line(), "1 File Tagged (20 bytes), 2 Files Deleted (1,000 bytes)");
}

TEST_F(RemoveTest, BulkRemovalsRefuseWithoutWorkOrWhileBusy) {
  block->deleted_count = 0;
  remove_all_deleted(list, prompter);
  EXPECT_EQ(prompter.error_signals, 1);
  block->deleted_count = 1;
  block->list_busy = 1;
  remove_all_deleted(list, prompter);
  remove_all_tagged(list, prompter);
  remove_all_non_tagged(list, prompter);
  EXPECT_EQ(prompter.said,
            (Said{"message|List Box Busy|Remove All Deleted|Try after operation is complete",
                  "message|List Box Busy|Remove All Tagged Entries|Try after operation is complete",
                  "message|List Box Busy|Remove All NON Tagged Entries|Try after operation is "
                  "complete"}));
  block->list_busy = 0;
  prompter.said.clear();
  list.select(3);
  toggle_tag(list, prompter);  // nothing tagged now
  remove_all_tagged(list, prompter);
  EXPECT_EQ(prompter.error_signals, 2);
  prompter.answers = {'N'};
  list.select(3);
  toggle_tag(list, prompter);
  remove_all_tagged(list, prompter);  // declined at the first question
  EXPECT_EQ(list.size(), 9);
}

}  // namespace
