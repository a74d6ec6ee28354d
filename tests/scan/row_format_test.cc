#include "scan/row_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <memory>

#include "core/scan_channel.h"
#include "scan/summary.h"

namespace {

TEST(FormatThousands, GroupsOfThreeWithSign) {
  struct Case {
    std::int64_t n;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1,000"},
      {-1000, "-1,000"},
      {-999, "-999"},
      {1234567, "1,234,567"},
      {2147483647, "2,147,483,647"},  // largest 32-bit size: 13 characters
      {3000000000LL, "3,000,000,000"},
      {INT64_MAX, "9,223,372,036,854,775,807"},
      {INT64_MIN, "-9,223,372,036,854,775,808"},
  };
  for (const Case& c : cases) {
    char buf[THOUSANDS_BUFFER];
    EXPECT_STREQ(format_thousands(buf, c.n), c.text);
  }
}

TEST(PermString, TenModeBitsFromTheStickyBitDown) {
  struct Case {
    mode_t mode;
    const char* text;
  };
  const Case cases[] = {
      {S_IFREG | 0644, "-rw-r--r--"},
      {S_IFLNK | 0777, "-rwxrwxrwx"},   // the type is not shown
      {S_IFREG | 01755, "lrwxr-xr-x"},  // the sticky bit takes the first place
      {S_IFDIR | 0, "----------"},
      {S_IFREG | 04711, "-rwx--x--x"},  // set-user-id is not one of the ten
  };
  for (const Case& c : cases) {
    char out[11];
    perm_string(out, c.mode);
    EXPECT_STREQ(out, c.text);
  }
}

class RowsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("TZ", "UTC", 1);
    tzset();
  }

  // Takes the record just posted through the real hand-over.
  std::vector<std::string> last_row() {
    struct LastRow : ListRecordSink {
      std::vector<std::string> cols;
      void clear_list() override {}
      void freeze_list() override {}
      void thaw_list() override {}
      void append_row(const RowTexts& row) override { cols.assign(row.col, row.col + 7); }
    } sink;
    EXPECT_EQ(take_list_records(*block, sink, 1000), 1);
    return sink.cols;
  }

  std::unique_ptr<ScanBlock> block = std::make_unique<ScanBlock>();
};

TEST_F(RowsTest, FileRowShowsTheChosenTimeInTheCLocale) {
  struct stat st {};
  st.st_mode = S_IFREG | 0644;
  st.st_size = 1234567;
  st.st_mtime = 977704496;  // Mon Dec 25 00:34:56 2000
  st.st_atime = 977747696;  // Mon Dec 25 12:34:56 2000
  ASSERT_TRUE(send_file_row(*block, TIME_CREATED, &st, 0x352441C2, nullptr, "/a/b c"));
  EXPECT_EQ(last_row(), (std::vector<std::string>{" ", "Mon-Dec 25,2000", "12:34:56AM", "1,234,567",
                                                  "352441C2", "-rw-r--r--", "/a/b c"}));
  ASSERT_TRUE(send_file_row(*block, TIME_ACCESSED, &st, 0xAB, nullptr, "/x"));
  auto row = last_row();
  EXPECT_EQ(row[2], "12:34:56PM");
  EXPECT_EQ(row[4], "000000AB");
  ASSERT_TRUE(send_file_row(*block, TIME_CREATED, &st, 0, "??", "/x"));
  EXPECT_EQ(last_row()[4], "??");
  // A file that vanished before its row was sent shows no other file's values.
  ASSERT_TRUE(send_file_row(*block, TIME_CREATED, nullptr, 0, "-", "/gone"));
  EXPECT_EQ(last_row(), (std::vector<std::string>{" ", "", "", "", "-", "", "/gone"}));
  EXPECT_EQ(block->row_count.load(), 4);
}

TEST_F(RowsTest, HeaderAndCommentRowsCloseAfterTheirLastText) {
  ASSERT_TRUE(send_group_header(*block, 2, 3, 5));
  EXPECT_EQ(last_row(), (std::vector<std::string>{"/*", "Group 2 ", "(3 - 5)", "*/", "", "", ""}));

  struct Case {
    const char* a;
    const char* b;
    const char* c;
    std::vector<std::string> row;
  };
  std::string t45(45, 'x'), t46(46, 'x'), t50(50, 'y'), t51(51, 'y'), t16(16, 'z'), t17(17, 'z');
  const Case cases[] = {
      {"End Of List", nullptr, nullptr, {"/*", "End Of List", "*/", "", "", "", ""}},
      {"List Box", " Is Full", nullptr, {"/*", "List Box", " Is Full", "*/", "", "", ""}},
      {"2 Group(s) Smaller ",
       "Than 3 ",
       "Not Shown",
       {"/*", "2 Group(s) Smaller ", "Than 3 ", "Not Shown", "*/", "", ""}},
      {t45.c_str(), nullptr, nullptr, {"/*", t45, "*/", "", "", "", ""}},
      {t46.c_str(), nullptr, nullptr, {"/*", "Error #1", "*/", "", "", "", ""}},
      {"a", t50.c_str(), nullptr, {"/*", "a", t50, "*/", "", "", ""}},
      {"a", t51.c_str(), nullptr, {"/*", "a", "Error #1", "*/", "", "", ""}},
      {"a", "b", t16.c_str(), {"/*", "a", "b", t16, "*/", "", ""}},
      {"a", "b", t17.c_str(), {"/*", "a", "b", "Error #1", "*/", "", ""}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(send_comment_row(*block, c.a, c.b, c.c));
    EXPECT_EQ(last_row(), c.row);
  }
}

TEST(SummaryLines, CountsAndTotals) {
  auto block = std::make_unique<ScanBlock>();
  block->counters.dirs_count = 1234;
  block->counters.files_count = 56789;
  block->counters.exfiles_count = 3;
  block->counters.dup_count = 12;
  EXPECT_EQ(summary_counts_line(*block),
            "1,234 Dirs, 56,789 Files, 3 ExFiles, 12  Duplicates" + std::string(76 - 51, ' '));
  block->counters.exdirs_count = 7;
  block->counters.exfiles_count = 0;
  EXPECT_EQ(summary_counts_line(*block).substr(0, 47),
            "1,234 Dirs, 7 ExDirs, 56,789 Files, 12  Duplica");
  block->counters.dirs_count = 2000000000;
  block->counters.files_count = 2000000000;
  block->counters.exfiles_count = 2000000000;
  block->counters.dup_count = 2000000000;
  EXPECT_EQ(summary_counts_line(*block).size(), 76u) << "cut to the label's width";

  struct Case {
    std::int32_t tagged;
    std::int64_t tagged_bytes;
    std::int32_t deleted;
    std::int64_t deleted_bytes;
    const char* text;
  };
  const Case cases[] = {
      {0, 0, 0, 0, "0 Files Tagged (0 bytes), 0 Files Deleted (0 bytes)"},
      {1, 2048, 1, 5000000000LL,
       "1 File Tagged (2,048 bytes), 1 File Deleted (5,000,000,000 bytes)"},
      {1500, 1, 2, 10, "1,500 Files Tagged (1 bytes), 2 Files Deleted (10 bytes)"},
  };
  for (const Case& c : cases) {
    block->tagged_count = c.tagged;
    block->tagged_bytes = c.tagged_bytes;
    block->deleted_count = c.deleted;
    block->deleted_bytes = c.deleted_bytes;
    EXPECT_EQ(totals_line(*block), c.text);
  }
  // With the trash on, the removed files are said to be moved to it.
  block->settings.reserved = RESERVED_MOVE_TO_TRASH;
  block->tagged_count = 0;
  block->tagged_bytes = 0;
  block->deleted_count = 644;
  block->deleted_bytes = 217044879;
  EXPECT_EQ(totals_line(*block),
            "0 Files Tagged (0 bytes), 644 Files Moved To Trash (217,044,879 bytes)");
  block->settings.reserved = 0;
  EXPECT_EQ(totals_line(*block), "0 Files Tagged (0 bytes), 644 Files Deleted (217,044,879 bytes)");
}

}  // namespace
