#include "core/scan_channel.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/process.h"

namespace {

// Records what the interface side takes, as text.
class RecordingSink : public ListRecordSink {
 public:
  std::vector<std::string> events;
  void clear_list() override { events.push_back("clear"); }
  void freeze_list() override { events.push_back("freeze"); }
  void thaw_list() override { events.push_back("thaw"); }
  void append_row(const RowTexts& row) override {
    std::string s = "row";
    for (const char* col : row.col) s += std::string("|") + col;
    events.push_back(s);
  }
};

std::unique_ptr<ScanBlock> local_block() { return std::make_unique<ScanBlock>(); }

class ChannelTest : public ::testing::Test {
 protected:
  void SetUp() override { g_scanner_abort = 0; }
  void TearDown() override { g_scanner_abort = 0; }
  std::unique_ptr<ScanBlock> block = local_block();
  RecordingSink sink;
};

TEST_F(ChannelTest, RowsAreCutToTheirSlotsAndCounted) {
  std::string long_path(5000, 'p');
  std::string long_date(60, 'd');
  ASSERT_TRUE(post_row(*block, {{" ", long_date.c_str(), "12:00", "1,024", "ABCDEF01", "-rw-r--r--",
                                 long_path.c_str()}}));
  EXPECT_EQ(block->row_count.load(), 1);
  EXPECT_EQ(take_list_records(*block, sink, 1000), 1);
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0], "row| |" + long_date.substr(0, COL_DATE_SIZE - 1) +
                                "|12:00|1,024|ABCDEF01|-rw-r--r--|" +
                                long_path.substr(0, COL_PATH_SIZE - 1));
  EXPECT_FALSE(records_waiting(*block));
}

TEST_F(ChannelTest, ClearResetsTheRowCountWhenPosted) {
  block->row_count.store(17);
  ASSERT_TRUE(post_clear(*block));
  EXPECT_EQ(block->row_count.load(), 0) << "before the interface has taken it";
  take_list_records(*block, sink, 1000);
  EXPECT_EQ(sink.events, std::vector<std::string>{"clear"});
  EXPECT_FALSE(records_waiting(*block));
}

TEST_F(ChannelTest, AbortEndsAWaitForAFullRing) {
  for (std::uint32_t i = 0; i < RECORD_RING_SLOTS; ++i) {
    ASSERT_TRUE(post_row(*block, {{" ", "", "", "", "", "", "/x"}})) << "room for " << i;
  }
  g_scanner_abort = 1;  // nobody takes the records: only the abort ends the wait
  EXPECT_FALSE(post_row(*block, {{" ", "", "", "", "", "", "/y"}}));
  EXPECT_FALSE(post_clear(*block));
  EXPECT_EQ(block->row_count.load(), static_cast<std::int32_t>(RECORD_RING_SLOTS));
}

// Records keep their order and their texts however often the ring wraps
// and whichever side waits for the other; the end of the scan is taken
// only after its last record.
TEST_F(ChannelTest, RecordsKeepTheirOrderAcrossTheRingAndTheEndComesLast) {
  constexpr int ROWS = 5000;
  std::thread scanner([&] {
    post_clear(*block);
    for (int i = 0; i < ROWS; ++i) {
      std::string path = "/p/" + std::to_string(i);
      FileIdentity id{1, static_cast<std::uint64_t>(i), i, 0, 0, S_IFREG};
      post_row(*block, {{" ", "", "", std::to_string(i).c_str(), "", "", path.c_str()}, &id});
      if (i % 1000 == 999) usleep(3000);  // now the interface waits for the scanner
    }
    post_freeze(*block);
    block->scan_finished.store(1, std::memory_order_release);
  });
  struct Checking : RecordingSink {
    int next = 0;
    bool in_order = true;
    void append_row(const RowTexts& row) override {
      in_order &= row.col[6] == "/p/" + std::to_string(next) && row.identity != nullptr &&
                  row.identity->inode == static_cast<std::uint64_t>(next);
      ++next;
    }
  } checking;
  bool finished = false;
  for (int ticks = 0; !finished && ticks < 20000; ++ticks) {
    bool had_records = records_waiting(*block);
    if (ticks % 7 == 0) usleep(2000);  // and here the scanner waits for the interface
    take_list_records(*block, checking, 500);
    finished = take_scan_finished(*block);
    if (finished) {
      EXPECT_FALSE(records_waiting(*block)) << had_records;
    }
  }
  scanner.join();
  EXPECT_TRUE(finished);
  EXPECT_TRUE(checking.in_order);
  EXPECT_EQ(checking.next, ROWS);
  EXPECT_EQ(checking.events, (std::vector<std::string>{"clear", "freeze"}));
}

TEST_F(ChannelTest, StatusTextsNeverWaitAndDropWhatFindsTheLabelFull) {
  post_dir_text(*block, "/home/ann");
  post_dir_text(*block, "/home/bob");  // within the same tick: dropped
  std::string text;
  ASSERT_TRUE(take_dir_text(*block, text));
  EXPECT_EQ(text, "/home/ann");
  EXPECT_FALSE(take_dir_text(*block, text));

  post_status_line(*block, "Sorting");
  ASSERT_TRUE(take_dir_text(*block, text));
  EXPECT_EQ(text, "Sorting" + std::string(76 - 7, ' '));
  post_status_line(*block, std::string(100, 's').c_str());
  ASSERT_TRUE(take_dir_text(*block, text));
  EXPECT_EQ(text, std::string(76, 's'));

  post_message(*block, std::string(90, 'm').c_str());
  ASSERT_TRUE(take_message(*block, text));
  EXPECT_EQ(text, std::string(80, 'm'));
}

TEST_F(ChannelTest, ProgressPublishesTheNewestValueWithoutWaiting) {
  struct Case {
    std::int64_t done, total;
    float want;
  };
  const Case cases[] = {{0, 0, 0.0f}, {0, 5, 0.0f},  {5, 0, 0.0f},
                        {1, 1, 1.0f}, {1, 4, 0.25f}, {3'000'000'000LL, 6'000'000'000LL, 0.5f}};
  float fraction = -1;
  for (const Case& c : cases) {
    report_progress(*block, c.done, c.total);
    ASSERT_TRUE(take_progress(*block, fraction));
    EXPECT_FLOAT_EQ(fraction, c.want);
  }
  EXPECT_FALSE(take_progress(*block, fraction));
  report_progress(*block, 1, 10);
  report_progress(*block, 9, 10);
  ASSERT_TRUE(take_progress(*block, fraction));
  EXPECT_FLOAT_EQ(fraction, 0.9f);
}

TEST_F(ChannelTest, ScanFinishedIsTakenOnce) {
  EXPECT_FALSE(take_scan_finished(*block));
  block->scan_finished.store(1);
  EXPECT_TRUE(take_scan_finished(*block));
  EXPECT_FALSE(take_scan_finished(*block));
}

// Stop against the scanner taking the Scan, each order in one process.
TEST_F(ChannelTest, AStopBeforeTheScannerTookTheScanGivesTheListBack) {
  // Stop first: the Scan is withdrawn, the list is free, the scanner runs
  // no scan.
  block->list_busy.store(1);
  set_word(block->command_word, CMD_START);
  EXPECT_EQ(stop_scan_command(*block), StopOutcome::GIVEN_BACK);
  EXPECT_EQ(block->list_busy.load(), 0);
  EXPECT_EQ(block->command_word.load(), CMD_IDLE);
  EXPECT_FALSE(take_scan_command(*block)) << "the scanner read CMD_START before the Stop";
  EXPECT_EQ(block->status.load(), SCANNER_IDLE);

  // Stop between the scanner's two steps (busy, then the command): Stop
  // cannot tell yet; the scanner then reads the withdrawn command, runs no
  // scan, and the next tick gives the list back.
  block->list_busy.store(1);
  set_word(block->command_word, CMD_START);
  set_word(block->status, SCANNER_BUSY);  // the scanner's first step
  EXPECT_EQ(stop_scan_command(*block), StopOutcome::UNSETTLED);
  EXPECT_EQ(block->list_busy.load(), 1);
  EXPECT_FALSE(settle_withdrawn_scan(*block)) << "the scanner is still busy";
  EXPECT_NE(block->command_word.load(), CMD_START);  // its second step reads no scan
  set_word(block->status, SCANNER_IDLE);
  EXPECT_TRUE(settle_withdrawn_scan(*block));
  EXPECT_EQ(block->list_busy.load(), 0);

  // The same, but the scanner had read the command: the scan runs, and its
  // end, published before the scanner is idle, gives the list back.
  block->list_busy.store(1);
  set_word(block->command_word, CMD_START);
  set_word(block->status, SCANNER_BUSY);
  EXPECT_EQ(stop_scan_command(*block), StopOutcome::UNSETTLED);
  block->scan_finished.store(1);
  set_word(block->status, SCANNER_IDLE);
  EXPECT_FALSE(settle_withdrawn_scan(*block)) << "the scan's end gives the word back";
  EXPECT_TRUE(take_scan_finished(*block));

  // The scanner first: the scan runs and its end gives the list back.
  block->list_busy.store(1);
  set_word(block->command_word, CMD_START);
  EXPECT_TRUE(take_scan_command(*block));
  EXPECT_EQ(block->status.load(), SCANNER_BUSY);
  EXPECT_EQ(stop_scan_command(*block), StopOutcome::UNSETTLED);
  EXPECT_FALSE(settle_withdrawn_scan(*block));
  EXPECT_EQ(block->list_busy.load(), 1) << "held until the scan's end";
  EXPECT_EQ(block->command_word.load(), CMD_IDLE);
  set_word(block->status, SCANNER_IDLE);

  // No scan asked for: the busy word of another command is left alone.
  EXPECT_EQ(stop_scan_command(*block), StopOutcome::NOTHING_WITHDRAWN);
  EXPECT_EQ(block->list_busy.load(), 1);
  block->command_word.store(CMD_QUIT);
  EXPECT_EQ(stop_scan_command(*block), StopOutcome::NOTHING_WITHDRAWN);
  EXPECT_EQ(block->list_busy.load(), 1);
}

// ---- Across two processes ---------------------------------------------------

constexpr int HANDOVER_ROWS = 20000;

// A scan as the scanner sends it: framing requests around many rows.
void handover_driver(ScanBlock& block) {
  post_clear(block);
  post_message(block, "Sorting");
  post_freeze(block);
  for (int i = 0; i < HANDOVER_ROWS; ++i) {
    std::string path = "/data/file" + std::to_string(i);
    post_row(block,
             {{" ", "Jan 01 2026", "12:00:00", std::to_string(i).c_str(), "", "", path.c_str()}});
  }
  post_thaw(block);
  report_progress(block, 1, 1);
  block.scan_finished.store(1, std::memory_order_release);
}

TEST(ScanChannelAcrossProcesses, ScannerRunsAScanPerRequestAndQuitsOnCommand) {
  std::string error;
  ScanBlock* block = create_scan_block(error);
  ASSERT_NE(block, nullptr) << error;
  pid_t pid = start_scanner(*block, handover_driver, error);
  ASSERT_GT(pid, 0) << error;
  EXPECT_EQ(block->scanner_pid.load(), pid);
  EXPECT_EQ(block->ready_magic.load(), BLOCK_READY_MAGIC);

  for (int scan = 0; scan < 2; ++scan) {
    SCOPED_TRACE(scan);
    RecordingSink sink;
    block->list_busy.store(1);
    set_word(block->command_word, CMD_START);
    bool finished = false;
    std::string message;
    for (int ticks = 0; !finished && ticks < 4000; ++ticks) {
      take_list_records(*block, sink, 20000);
      take_message(*block, message);
      finished = take_scan_finished(*block);
      if (!finished) usleep(5000);
    }
    ASSERT_TRUE(finished);
    take_list_records(*block, sink, 20000);
    ASSERT_EQ(sink.events.size(), HANDOVER_ROWS + 3u);
    EXPECT_EQ(sink.events[0], "clear");
    EXPECT_EQ(sink.events[1], "freeze");
    EXPECT_EQ(sink.events[2], "row| |Jan 01 2026|12:00:00|0|||/data/file0");
    EXPECT_EQ(sink.events[HANDOVER_ROWS + 1], "row| |Jan 01 2026|12:00:00|19999|||/data/file19999");
    EXPECT_EQ(sink.events.back(), "thaw");
    EXPECT_EQ(message, "Sorting");
    EXPECT_EQ(block->row_count.load(), HANDOVER_ROWS);

    // The scanner goes back to idle. The busy word is the interface's
    // alone: the scanner never touches it.
    for (int i = 0; i < 200 && block->status.load() != SCANNER_IDLE; ++i) usleep(10000);
    EXPECT_EQ(block->status.load(), SCANNER_IDLE);
    EXPECT_EQ(block->command_word.load(), CMD_IDLE);
    EXPECT_EQ(block->list_busy.load(), 1);
    block->list_busy.store(0);
  }

  // Scan and Stop at once, many times: each round ends with the list given
  // back, by the Stop (the scanner never took the Scan, and runs none) or
  // by the end of the scan it did take; never both, never neither.
  int withdrawn = 0, ended = 0;
  for (int round = 0; round < 150; ++round) {
    SCOPED_TRACE(round);
    for (int i = 0; i < 500 && block->status.load() != SCANNER_IDLE; ++i) usleep(1000);
    ASSERT_EQ(block->status.load(), SCANNER_IDLE);
    // Every third round the scanner is held, so that the Stop surely comes
    // before it took the Scan; in the others the two race.
    const bool held = round % 3 == 0;
    int stopped = 0;
    if (held) {
      ASSERT_EQ(kill(pid, SIGSTOP), 0);
      ASSERT_EQ(waitpid(pid, &stopped, WUNTRACED), pid);
      ASSERT_TRUE(WIFSTOPPED(stopped));
    }
    block->list_busy.store(1);
    set_word(block->command_word, CMD_START);
    if (round % 3 == 2) usleep(round % 7 * 10);  // the scanner wakes at its own pace
    const StopOutcome stop = stop_scan_command(*block);
    if (held) {
      kill(pid, SIGCONT);
      EXPECT_EQ(stop, StopOutcome::GIVEN_BACK) << "the held scanner cannot have taken the Scan";
    }
    if (stop == StopOutcome::GIVEN_BACK) {
      ++withdrawn;
      EXPECT_EQ(block->list_busy.load(), 0);
      continue;
    }
    // As the interface's ticks do: the scan's end, or, for a withdrawal the
    // Stop could not settle, the scanner idle again without one.
    RecordingSink sink;
    bool finished = false, settled = false;
    for (int ticks = 0; !finished && !settled && ticks < 4000; ++ticks) {
      take_list_records(*block, sink, 20000);
      finished = take_scan_finished(*block);
      if (!finished && stop == StopOutcome::UNSETTLED) settled = settle_withdrawn_scan(*block);
      if (!finished && !settled) usleep(1000);
    }
    ASSERT_TRUE(finished || settled) << "a Scan neither withdrawn nor ended";
    if (settled) {
      ++withdrawn;
      continue;
    }
    ++ended;
    block->list_busy.store(0);
  }
  // A withdrawn Scan never starts later: no end arrives that nobody waits for.
  usleep(100000);
  EXPECT_FALSE(take_scan_finished(*block));
  EXPECT_FALSE(records_waiting(*block));
  std::printf("Scan + Stop: %d withdrawn, %d ended by their scan\n", withdrawn, ended);

  // Other children of the interface never hold the segment: it must not
  // outlive the two processes because a helper script is still running.
  pid_t other = fork();
  if (other == 0) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
      if (line.find("SYSV") != std::string::npos) _exit(1);
    }
    _exit(0);
  }
  int other_status = -1;
  ASSERT_EQ(waitpid(other, &other_status, 0), other);
  EXPECT_TRUE(WIFEXITED(other_status) && WEXITSTATUS(other_status) == 0)
      << "a later child inherited the shared segment";

  set_word(block->command_word, CMD_QUIT);
  int status = -1;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(block->status.load(), SCANNER_ENDED);
  shmdt(block);
}

}  // namespace
