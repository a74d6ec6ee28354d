// The result intake against a fake view: what the scanner posts reaches the
// window's list and lines, and Start Scan resets what it must.
#include "core/result_intake.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/process.h"
#include "core/scan_channel.h"
#include "core/shell_words.h"
#include "support/recording_launcher.h"

namespace {

class FakeView : public IntakeView {
 public:
  std::vector<std::string> events;
  void clear_list() override { events.push_back("clear"); }
  void freeze_list() override { events.push_back("freeze"); }
  void thaw_list() override { events.push_back("thaw"); }
  void append_row(const RowTexts& row) override {
    std::string e = std::string("row ") + row.col[0] + row.col[6];
    if (row.identity != nullptr) e += " inode " + std::to_string(row.identity->inode);
    events.push_back(e);
  }
  void show_status(const std::string& text) override { events.push_back("status " + text); }
  void show_message_line(const std::string& text) override { events.push_back("line " + text); }
  void show_progress(double fraction) override {
    events.push_back("progress " + std::to_string(fraction));
  }
  void beep() override { events.push_back("beep"); }
  void show_scan_completed() override { events.push_back("completed"); }
  void notify_busy(const char* operation) override {
    events.push_back(std::string("busy ") + operation);
  }
  void open_settings(int page) override { events.push_back("settings " + std::to_string(page)); }
  Launcher& launcher() override { return recorder; }
  test::RecordingLauncher recorder;  // what would have run
};

class IntakeTest : public ::testing::Test {
 protected:
  void SetUp() override { g_block = block.get(); }
  void TearDown() override { g_block = nullptr; }
  std::unique_ptr<ScanBlock> block = std::make_unique<ScanBlock>();
  FakeView view;
};

TEST_F(IntakeTest, RowsLinesProgressAndTheEndOfAScanReachTheView) {
  FileIdentity id;
  id.inode = 42;
  id.type = S_IFREG;
  ASSERT_TRUE(post_row(*block, {{" ", "d", "t", "3", "c", "m", "/a"}, &id}));
  EXPECT_EQ(result_intake_tick(&view), G_SOURCE_CONTINUE);
  ASSERT_TRUE(post_row(*block, {{"/*", "End Of List", "*/", "", "", "", ""}}));
  post_dir_text(*block, "/home");
  post_message(*block, "1 Files");
  report_progress(*block, 1, 4);
  block->settings.beep_on_stop = 1;
  block->scan_finished.store(1);
  result_intake_tick(&view);
  EXPECT_EQ(view.events,
            (std::vector<std::string>{"row  /a inode 42", "row /*", "status /home", "line 1 Files",
                                      "progress 0.250000", "beep", "completed"}));
  EXPECT_EQ(view.recorder.shell_lines, std::vector<std::string>{helper_command("pmstop")});

  view.events.clear();
  block->settings.beep_on_stop = 0;
  block->scan_finished.store(1);
  result_intake_tick(&view);
  EXPECT_EQ(view.events, std::vector<std::string>{"completed"}) << "no beep when it is off";
  EXPECT_EQ(view.recorder.shell_lines.size(), 2u) << "pmstop runs all the same";
  EXPECT_TRUE(view.recorder.runs.empty());
}

TEST_F(IntakeTest, APmstopThatCannotStartIsTold) {
  view.recorder.refuse_shell = true;
  block->settings.beep_on_stop = 0;
  block->scan_finished.store(1);
  testing::internal::CaptureStderr();
  result_intake_tick(&view);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "peltomarvish: cannot start the helper pmstop\n");
  EXPECT_EQ(view.events, (std::vector<std::string>{"status Can Not Start pmstop", "completed"}));
  EXPECT_EQ(block->list_busy.load(), 0) << "the list is the user's again all the same";
}

TEST_F(IntakeTest, StatusLinesAreNeverCutInsideACharacter) {
  // 75 ASCII characters and an e-acute: the cut at 76 would split it.
  std::string text = std::string(75, 'x') + "\xC3\xA9" + "yyyy";
  post_status_line(*block, text.c_str());
  result_intake_tick(&view);
  ASSERT_EQ(view.events.size(), 1u);
  EXPECT_EQ(view.events[0], "status " + std::string(75, 'x') + " ");
  // A 4-byte character across the label's 80-byte limit.
  view.events.clear();
  std::string label = std::string(78, 'x') + "\xF0\x9F\x98\x80";
  post_message(*block, label.c_str());
  result_intake_tick(&view);
  EXPECT_EQ(view.events[0], "line " + std::string(78, 'x'));
}

TEST_F(IntakeTest, AFirstStartOpensTheSettingsOnPageZeroOnce) {
  g_settings_defaulted = true;
  result_intake_tick(&view);
  result_intake_tick(&view);
  EXPECT_EQ(view.events, std::vector<std::string>{"settings 0"});
  EXPECT_FALSE(g_settings_defaulted);
  result_intake_tick(&view);
  EXPECT_EQ(view.events.size(), 1u) << "with the settings loaded it never opens by itself";
}

TEST_F(IntakeTest, StartScanResetsAndAsksOrIsRefusedWhenBusy) {
  block->tagged_count = 3;
  block->tagged_bytes = 30;
  block->counters.dirs_count = 5;
  block->counters.larger_groups = 1;
  block->deleted_count = 2;
  block->deleted_bytes = 20;
  block->row_count = 9;
  start_scan(*block, view);
  EXPECT_EQ(view.events, (std::vector<std::string>{"thaw", "clear", "status ", "line "}));
  EXPECT_EQ(block->command_word.load(), CMD_START);
  EXPECT_EQ(block->list_busy.load(), 1);
  EXPECT_EQ(block->tagged_count.load(), 0);
  EXPECT_EQ(block->tagged_bytes.load(), 0);
  EXPECT_EQ(block->deleted_count.load(), 2) << "deletions count for the whole run";
  EXPECT_EQ(block->row_count.load(), 0);
  EXPECT_EQ(block->counters.dirs_count.load(), 0);
  EXPECT_EQ(block->counters.larger_groups.load(), 0);

  view.events.clear();
  start_scan(*block, view);
  EXPECT_EQ(view.events, std::vector<std::string>{"busy Start Scan"});

  // The list is held until the intake has taken the scan's end (after its
  // last record), and given back then.
  ASSERT_TRUE(post_row(*block, {{"/*", "End Of List", "*/", "", "", "", ""}}));
  block->scan_finished.store(1);
  EXPECT_EQ(block->list_busy.load(), 1);
  result_intake_tick(&view);
  EXPECT_EQ(block->list_busy.load(), 0);
}

}  // namespace
