// Finding and tagging rows by patterns, and the pattern histories.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "ui/list/list_commands.h"
#include "ui/list/support/list_fixture.h"

namespace {

using Slots = std::vector<std::string>;

Slots slots(const PatternHistory& h) {
  Slots s;
  for (int i = 0; i < PATTERN_HISTORY_SLOTS; ++i) s.emplace_back(h[i]);
  return s;
}

Slots history_of(std::initializer_list<const char*> texts) {
  Slots s(texts.begin(), texts.end());
  s.resize(PATTERN_HISTORY_SLOTS);
  return s;
}

void load(PatternHistory& h, const Slots& s) {
  std::memset(h, 0, sizeof(PatternHistory));
  for (std::size_t i = 0; i < s.size(); ++i) std::strcpy(h[i], s[i].c_str());
}

TEST(PatternHistory, TheNewestTextHeadsTheListOnce) {
  PatternHistory h;
  load(h, history_of({"*junk*"}));  // slot 0 is the text in the box
  remember_pattern(h, "*a*", 18);
  EXPECT_EQ(slots(h), history_of({"*a*", "*a*"}));
  remember_pattern(h, "*b*", 18);
  remember_pattern(h, "*a*", 18);  // already there: moved up, not added twice
  EXPECT_EQ(slots(h), history_of({"*a*", "*a*", "*b*"}));

  // A full history loses its oldest text.
  Slots full;
  for (int i = 0; i < PATTERN_HISTORY_SLOTS; ++i) full.push_back("p" + std::to_string(i));
  load(h, full);
  remember_pattern(h, "new", 18);
  EXPECT_EQ(slots(h)[1], "new");
  EXPECT_EQ(slots(h)[2], "p1");
  EXPECT_EQ(slots(h)[19], "p18") << "p19, the oldest, is gone";

  // "Has String " compares slots 1 to 18 only: a copy in slot 19 stays
  // until it falls off; "Does NOT Have String" compares up to 19.
  full[19] = "same";
  load(h, full);
  remember_pattern(h, "same", 18);
  EXPECT_EQ(slots(h)[19], "p18");
  load(h, full);
  remember_pattern(h, "same", 19);
  EXPECT_EQ(slots(h)[1], "same");
  EXPECT_EQ(slots(h)[19], "p18");
  Slots after = slots(h);
  EXPECT_EQ(std::count(after.begin(), after.end(), "same"), 2);

  // An empty text (a box left empty) is a text like any other.
  load(h, history_of({"", "", "x", "", "y"}));
  remember_pattern(h, "", 19);
  EXPECT_EQ(slots(h), history_of({"", "", "x", "y"}));

  // At most 80 bytes, never half a character.
  remember_pattern(h, std::string(79, 'x') + "\xC3\xA9z", 19);
  EXPECT_EQ(slots(h)[0], std::string(79, 'x'));
}

class FindTest : public test::ListTest {
 public:
  void SetUp() override {
    comment("Sorted List");
    header(1);
    row("/data/junk/a.txt", 10);       // 2
    row("/data/keep/b.txt", 20);       // 3
    row("/data/junk-save/c.txt", 30);  // 4
    header(2);                         // 5
    row("/data/junk/d.txt", 40, "*");  // 6
    row("/data/junk/e.txt", 50, "D");  // 7
    row("/data/x/junk", 60);           // 8
    comment("End Of List");
  }
};

TEST_F(FindTest, TheRowTestTakesColumnsInOrder) {
  EXPECT_TRUE(row_matches(list, 2, "*junk*", ""));
  EXPECT_FALSE(row_matches(list, 3, "*junk*", ""));
  EXPECT_FALSE(row_matches(list, 2, "junk", "")) << "without wildcards: a whole column";
  EXPECT_TRUE(row_matches(list, 8, "/data/x/junk", ""));
  EXPECT_FALSE(row_matches(list, 4, "*junk*", "*save*")) << "the exclusion comes first in a column";
  // A date that matches accepts the row before the path could exclude it.
  EXPECT_TRUE(row_matches(list, 4, "Mon-*", "*save*"));
  EXPECT_TRUE(row_matches(list, 1, "Group*", ""));
  EXPECT_FALSE(row_matches(list, 2, "[unclosed", ""));
}

TEST_F(FindTest, FindNextGoesDownFromTheSelectedRow) {
  list.unselect();
  ASSERT_TRUE(find_next(list, prompter, "*junk*", "*save*"));
  EXPECT_EQ(list.selected_row(), 2);
  ASSERT_TRUE(find_next(list, prompter, "*junk*", "*save*"));
  EXPECT_EQ(list.selected_row(), 6) << "past the excluded row";
  ASSERT_TRUE(find_next(list, prompter, "*junk*", "*save*"));
  EXPECT_EQ(list.selected_row(), 7);
  ASSERT_TRUE(find_next(list, prompter, "*junk*", "*save*"));
  EXPECT_EQ(list.selected_row(), 8);
  EXPECT_FALSE(find_next(list, prompter, "*junk*", "*save*"));
  EXPECT_EQ(prompter.error_signals, 1);
  EXPECT_EQ(list.selected_row(), 8) << "no match: the selection stays";
  EXPECT_EQ(block->list_busy.load(), 0);

  // The Find window runs it holding the busy word.
  block->list_busy = 1;  // a scan owns the list
  EXPECT_FALSE(run_holding_busy_word(list, prompter, list_commands::FIND_TAG_FILES,
                                     [&] { find_next(list, prompter, "*", ""); }));
  EXPECT_EQ(prompter.said,
            std::vector<std::string>{
                "message|List Box Busy|Find/Tag Files|Try after operation is complete"});
  EXPECT_EQ(block->list_busy.load(), 1) << "the scan's hold stays";
}

TEST_F(FindTest, TagTagsPlainFileRowsOnceEach) {
  list.select(8);  // the whole list counts, whatever is selected
  tag_matching(list, prompter, "*junk*", "");
  EXPECT_EQ(shape(),
            (std::vector<std::string>{"/* Sorted List", "/* Group 1 ", "* /data/junk/a.txt",
                                      "  /data/keep/b.txt", "* /data/junk-save/c.txt",
                                      "/* Group 2 ", "* /data/junk/d.txt", "D /data/junk/e.txt",
                                      "* /data/x/junk", "/* End Of List"}));
  expect_counters_match_rows();
  EXPECT_EQ(list.totals_line(), "4 Files Tagged (140 bytes), 0 Files Deleted (0 bytes)");

  // A row whose date and path both match counts once.
  tag_matching(list, prompter, "*", "");
  expect_counters_match_rows();
  EXPECT_EQ(block->tagged_count.load(), 5);
}

}  // namespace
