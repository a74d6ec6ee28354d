#include "ui/list/deletion_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "support/temp_dir.h"

namespace {

TEST(DeletionLog, HeaderIsFiveLinesAndABlankLine) {
  EXPECT_EQ(deletion_log_header(),
            "#==================================================\n"
            "# Pelto Marvish V1.00 Deletion Log File\n"
            "# Each Entry Contains The Date The File\n"
            "# Was Deleted, Followed By The Size And File Path\n"
            "#=============================================\n"
            "\n");
}

TEST(DeletionLog, LineGivesTheTimeTheSizeAndThePath) {
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(deletion_log_line(1700000000, 2048, "/home/me/a copy", false),
            "Tue Nov 14 22:13:20 2023         2,048 Bytes Deleted \"/home/me/a copy\"\n");
  EXPECT_EQ(deletion_log_line(1700000000, 5000000000LL, "/x", true),
            "Tue Nov 14 22:13:20 2023 5,000,000,000 Bytes Moved To Trash \"/x\"\n");
}

TEST(DeletionLog, OnlyPathsWithControlBytesAreEscaped) {
  struct Case {
    std::string path;
    std::string logged;
  };
  const Case cases[] = {
      {"/plain/path", "/plain/path"},
      {"/a \"quoted\" \\ name", "/a \"quoted\" \\ name"},  // no control byte: as it is
      {"/caf\xE9/\xC3\xA9", "/caf\xE9/\xC3\xA9"},           // bytes above 127 as they are
      {"/a\nb", "/a\\nb"},
      {"/a\rb\tc", "/a\\rb\\tc"},
      {"/a\nb\"c\\d", "/a\\nb\\\"c\\\\d"},  // then quotes and backslashes too
      {"/\x01\x1F\x7F", "/\\x01\\x1F\\x7F"},
  };
  for (const Case& c : cases) {
    std::string logged = log_path_text(c.path);
    EXPECT_EQ(logged, c.logged);
    EXPECT_EQ(logged.find('\n'), std::string::npos);
  }
}

TEST(DeletionLog, AppendWritesTheHeaderOnlyWhenItMakesTheFile) {
  test::TempDir dir;
  std::string log = dir / "deleted.log";
  ASSERT_TRUE(append_to_deletion_log(log.c_str(), "one\n"));
  ASSERT_TRUE(append_to_deletion_log(log.c_str(), "two\n"));
  EXPECT_EQ(test::read_file(log), deletion_log_header() + "one\ntwo\n");

  // An existing log, even an empty one, only ever grows.
  std::string empty = dir / "empty.log";
  test::write_file(empty, "");
  ASSERT_TRUE(append_to_deletion_log(empty.c_str(), "three\n"));
  EXPECT_EQ(test::read_file(empty), "three\n");
}

TEST(DeletionLog, RefusesWhatIsNotAFileWithoutWaiting) {
  test::TempDir dir;
  std::string fifo = dir / "deleted.log";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_FALSE(append_to_deletion_log(fifo.c_str(), "line\n"));
  mkdir((dir / "a directory").c_str(), 0755);
  EXPECT_FALSE(append_to_deletion_log((dir / "a directory").c_str(), "line\n"));
  EXPECT_FALSE(append_to_deletion_log((dir / "missing/deleted.log").c_str(), "line\n"));
}

}  // namespace
