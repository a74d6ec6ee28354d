// The notice that ends a clean-up walk: files done, bytes freed, and the
// files skipped counted per reason.
#include "list_text/walk_summary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Step {
  const char* skipped;  // null: a file done
  std::int64_t size;
};

TEST(WalkSummary, CountsDoneBytesAndSkipsPerReasonInTheOrderTheyCame) {
  struct Case {
    const char* what;
    std::vector<Step> steps;
    const char* done_words;
    const char* done_line;
    const char* skipped_line;
  };
  const Case cases[] = {
      {"nothing done", {}, "Deleted", "0 Files Deleted (0 bytes freed)", ""},
      {"all done",
       {{nullptr, 1000}, {nullptr, 2500}},
       "Moved To Trash",
       "2 Files Moved To Trash (3,500 bytes freed)",
       ""},
      {"skips grouped by reason",
       {{"Changed Since The Scan", 7},
        {nullptr, 217044879},
        {"Contents Differ", 9},
        {"Changed Since The Scan", 1}},
       "Moved To Trash",
       "1 Files Moved To Trash (217,044,879 bytes freed)",
       "3 Skipped: 2 Changed Since The Scan, 1 Contents Differ"},
      {"only skips",
       {{"Empty File", 0}},
       "Linked",
       "0 Files Linked (0 bytes freed)",
       "1 Skipped: 1 Empty File"},
  };
  for (const Case& c : cases) {
    WalkSummary summary;
    for (const Step& step : c.steps) {
      if (step.skipped == nullptr) {
        summary.count_done(step.size);
      } else {
        summary.count_skipped(step.skipped);
      }
    }
    EXPECT_EQ(walk_done_line(summary, c.done_words), c.done_line) << c.what;
    EXPECT_EQ(walk_skipped_line(summary), c.skipped_line) << c.what;
  }
}

TEST(WalkSummary, LargeCountsReadWithThousandsSeparators) {
  WalkSummary summary;
  for (int i = 0; i < 1200; ++i) summary.count_skipped("Answered No");
  for (int i = 0; i < 1001; ++i) summary.count_done(1000000);
  EXPECT_EQ(walk_done_line(summary, "Cloned"), "1,001 Files Cloned (1,001,000,000 bytes freed)");
  EXPECT_EQ(walk_skipped_line(summary), "1,200 Skipped: 1,200 Answered No");
}

}  // namespace
