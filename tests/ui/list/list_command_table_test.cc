// The table of list commands: how a row is run (its ready check, the busy
// word, its body) and what the rows say.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ui/list/list_commands.h"
#include "ui/list/support/list_fixture.h"

namespace {

using test::ListTest;

// What the body of the test's command saw.
int g_body_runs = 0;
int g_busy_during_body = -1;
bool g_ready_answer = true;
int g_ready_runs = 0;

void counting_body(ListContext& ctx) {
  ++g_body_runs;
  g_busy_during_body = ctx.list.block().list_busy.load();
}
bool scripted_ready(ListContext&) {
  ++g_ready_runs;
  return g_ready_answer;
}

struct RunCase {
  const char* what;
  const char* busy_name;
  bool ready;
  int busy_before;  // 1: a scan holds the list
  int body_runs;
  int busy_during_body;  // -1: the body did not run
  std::vector<std::string> said;
};

TEST_F(ListTest, ARowRunsItsCheckThenItsBodyHoldingTheWordItTakes) {
  const RunCase cases[] = {
      {"no word: runs while a scan holds the list", nullptr, true, 1, 1, 1, {}},
      {"takes the word: held for the body", "Some Command", true, 0, 1, 1, {}},
      {"takes the word: refused while a scan holds it",
       "Some Command",
       true,
       1,
       0,
       -1,
       {"message|List Box Busy|Some Command|Try after operation is complete"}},
      {"not ready: neither the word nor the body", "Some Command", false, 1, 0, -1, {}},
      {"not ready and no word", nullptr, false, 0, 0, -1, {}},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.what);
    g_body_runs = 0;
    g_busy_during_body = -1;
    g_ready_runs = 0;
    g_ready_answer = c.ready;
    prompter.said.clear();
    block->list_busy = c.busy_before;
    const ListCommand command = {c.busy_name, scripted_ready, counting_body, nullptr, nullptr};
    ListContext ctx(list, prompter);
    run_list_command(command, ctx);
    EXPECT_EQ(g_ready_runs, 1);
    EXPECT_EQ(g_body_runs, c.body_runs);
    EXPECT_EQ(g_busy_during_body, c.busy_during_body);
    EXPECT_EQ(prompter.said, c.said);
    EXPECT_EQ(block->list_busy.load(), c.busy_before) << "the word is as it was before";
  }
}

TEST_F(ListTest, TheWindowsAskTheTableWhetherTheListIsBusy) {
  EXPECT_FALSE(list_busy(list));
  EXPECT_FALSE(refuse_while_busy(list, prompter, list_commands::TAG_BY_RULE));
  EXPECT_TRUE(prompter.said.empty());
  block->list_busy = 1;
  EXPECT_TRUE(list_busy(list));
  EXPECT_TRUE(refuse_while_busy(list, prompter, list_commands::TAG_BY_RULE));
  EXPECT_EQ(prompter.said,
            std::vector<std::string>{
                "message|List Box Busy|Tag By Rule|Try after operation is complete"});
  EXPECT_EQ(block->list_busy.load(), 1) << "asking takes nothing";
}

TEST(ListCommandTable, EachRowHasABodyAndAMenuEntryOfItsOwn) {
  std::set<std::string> widgets, accelerators;
  int rows = 0;
  for (const ListCommand* command : list_commands::all()) {
    ++rows;
    EXPECT_NE(command->body, nullptr);
    if (command->widget != nullptr) {
      EXPECT_TRUE(widgets.insert(command->widget).second) << command->widget;
    }
    if (command->accelerator != nullptr) {
      EXPECT_NE(command->widget, nullptr) << command->accelerator << ": bound to no entry";
      EXPECT_TRUE(accelerators.insert(command->accelerator).second) << command->accelerator;
    }
  }
  EXPECT_EQ(rows, 17);
  EXPECT_EQ(list_commands::DELETE_SELECTED.widget, nullptr) << "the Info box's, not a menu's";
  EXPECT_STREQ(list_commands::DELETE_FILE.widget, "menuitem90");
  EXPECT_STREQ(list_commands::DELETE_FILE.accelerator, "Delete");
}

}  // namespace
