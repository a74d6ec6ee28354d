#include "list_text/deletion_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

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
  EXPECT_EQ(deletion_log_line(1700000000, 2048, "/home/me/a copy"),
            "Tue Nov 14 22:13:20 2023         2,048 Bytes Deleted \"/home/me/a copy\"\n");
  EXPECT_EQ(deletion_log_line(1700000000, 5000000000LL, "/x", LOGGED_TRASHED),
            "Tue Nov 14 22:13:20 2023 5,000,000,000 Bytes Moved To Trash \"/x\"\n");
}

// Each logged path reads back to exactly one path: "\n" as two characters
// and a real line feed must never be written alike.
std::string read_back(const std::string& logged) {
  std::string path;
  for (std::size_t i = 0; i < logged.size(); ++i) {
    if (logged[i] != '\\') {
      path += logged[i];
      continue;
    }
    char e = logged[++i];
    if (e == 'n')
      path += '\n';
    else if (e == 'r')
      path += '\r';
    else if (e == 't')
      path += '\t';
    else if (e == 'x') {
      path += static_cast<char>(std::stoi(logged.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      path += e;
    }
  }
  return path;
}

TEST(DeletionLog, EveryPathIsWrittenSoItReadsBackToItself) {
  struct Case {
    std::string path;
    std::string logged;
  };
  const Case cases[] = {
      {"/plain/path with blanks", "/plain/path with blanks"},  // as it is
      {"/caf\xE9/\xC3\xA9", "/caf\xE9/\xC3\xA9"},              // bytes above 127 as they are
      {"/a \"quoted\" name", "/a \\\"quoted\\\" name"},
      {"/back\\slash", "/back\\\\slash"},
      {"/two chars \\n", "/two chars \\\\n"},  // a backslash and an n
      {"/a\nb", "/a\\nb"},                     // a line feed
      {"/a\rb\tc", "/a\\rb\\tc"},
      {"/a\nb\"c\\d", "/a\\nb\\\"c\\\\d"},
      {"/\x01\x1F\x7F", "/\\x01\\x1F\\x7F"},
  };
  for (const Case& c : cases) {
    std::string logged = log_path_text(c.path);
    EXPECT_EQ(logged, c.logged) << c.path;
    EXPECT_EQ(logged.find('\n'), std::string::npos);
    EXPECT_EQ(read_back(logged), c.path);
    // Inside the line's quotes, a quote only ever stands escaped.
    for (std::size_t q = logged.find('"'); q != std::string::npos; q = logged.find('"', q + 1)) {
      EXPECT_EQ(logged[q - 1], '\\') << c.path;
    }
  }
}

TEST(DeletionLog, AnEmptyLogGetsTheHeaderWithItsFirstLine) {
  test::TempDir dir;
  std::string log = dir / "deleted.log";
  ASSERT_EQ(append_to_deletion_log(log.c_str(), "one\n"), LogWrite::WRITTEN);
  ASSERT_EQ(append_to_deletion_log(log.c_str(), "two\n"), LogWrite::WRITTEN);
  EXPECT_EQ(test::read_file(log), deletion_log_header() + "one\ntwo\n");

  // A log left empty (a write that failed on a full disk) gets its header
  // with the next line; a log with lines only ever grows.
  std::string empty = dir / "empty.log";
  test::write_file(empty, "");
  ASSERT_EQ(append_to_deletion_log(empty.c_str(), "three\n"), LogWrite::WRITTEN);
  EXPECT_EQ(test::read_file(empty), deletion_log_header() + "three\n");
  std::string old = dir / "old.log";
  test::write_file(old, "a line\n");
  ASSERT_EQ(append_to_deletion_log(old.c_str(), "four\n"), LogWrite::WRITTEN);
  EXPECT_EQ(test::read_file(old), "a line\nfour\n");
}

TEST(DeletionLog, ANewLogGetsTheUmaskAndAnOldOneKeepsItsMode) {
  test::TempDir dir;
  std::string log = dir / "deleted.log";
  for (mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
    SCOPED_TRACE("umask " + std::to_string(mask));
    const mode_t old_mask = umask(mask);
    unlink(log.c_str());
    ASSERT_EQ(append_to_deletion_log(log.c_str(), "one\n"), LogWrite::WRITTEN);
    EXPECT_EQ(test::file_mode(log), 0666u & ~mask) << "a new log";
    ASSERT_EQ(chmod(log.c_str(), 0640), 0);
    ASSERT_EQ(append_to_deletion_log(log.c_str(), "two\n"), LogWrite::WRITTEN);
    EXPECT_EQ(test::file_mode(log), 0640u) << "an old log";
    umask(old_mask);
  }
}

TEST(DeletionLog, RefusesWhatIsNotAFileWithoutWaiting) {
  test::TempDir dir;
  std::string fifo = dir / "deleted.log";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(append_to_deletion_log(fifo.c_str(), "line\n"), LogWrite::FAILED);
  mkdir((dir / "a directory").c_str(), 0755);
  EXPECT_EQ(append_to_deletion_log((dir / "a directory").c_str(), "line\n"), LogWrite::FAILED);
  EXPECT_EQ(append_to_deletion_log((dir / "missing/deleted.log").c_str(), "line\n"),
            LogWrite::FAILED);
}

// A log that is a symbolic link is written through only when the link leads
// to a file in the log's own directory.
TEST(DeletionLog, ALinkIsFollowedOnlyIntoItsOwnDirectory) {
  test::TempDir dir;
  mkdir((dir / "data").c_str(), 0755);
  mkdir((dir / "elsewhere").c_str(), 0755);
  const std::string log = dir / "data/deleted.log";
  struct Case {
    const char* name;
    std::string target;   // the link's text
    std::string written;  // the file that gets the line, or ""
  };
  const Case cases[] = {
      {"relative, inside", "kept.log", dir / "data/kept.log"},
      {"absolute, inside", dir / "data/abs.log", dir / "data/abs.log"},
      {"dangling, inside", "new.log", dir / "data/new.log"},
      {"outside", "../elsewhere/x.log", ""},
      {"outside, dangling", dir / "elsewhere/y.log", ""},
      {"a system file", "/etc/passwd", ""},
      {"through another link", "hop", ""},
  };
  ASSERT_EQ(symlink("../elsewhere/z.log", (dir / "data/hop").c_str()), 0);
  test::write_file(dir / "elsewhere/x.log", "");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(log.c_str());
    ASSERT_EQ(symlink(c.target.c_str(), log.c_str()), 0);
    LogWrite result = append_to_deletion_log(log.c_str(), "line\n");
    if (c.written.empty()) {
      EXPECT_NE(result, LogWrite::WRITTEN);
    } else {
      EXPECT_EQ(result, LogWrite::WRITTEN);
      EXPECT_EQ(test::read_file(c.written), deletion_log_header() + "line\n");
    }
    char text[PATH_MAX] = "";
    EXPECT_GT(readlink(log.c_str(), text, sizeof text), 0) << "the link stays";
  }
  EXPECT_EQ(test::read_file(dir / "elsewhere/x.log"), "");
  EXPECT_NE(access((dir / "elsewhere/y.log").c_str(), F_OK), 0);
  EXPECT_NE(access((dir / "elsewhere/z.log").c_str(), F_OK), 0);
  unlink(log.c_str());
  EXPECT_EQ(symlink("../elsewhere/x.log", log.c_str()), 0);
  EXPECT_EQ(append_to_deletion_log(log.c_str(), "line\n"), LogWrite::LINK_OUTSIDE);
}

}  // namespace
