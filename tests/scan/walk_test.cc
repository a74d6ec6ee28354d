// Scans of small trees under a temporary directory, through the whole
// engine: walk, filters, grouping, CRC pass and emission.
#include <dirent.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "scan/scan_context.h"
#include "scan/summary.h"
#include "scan/walk.h"
#include "scan_fixture.h"
#include "support/mounts.h"
#include "support/unprivileged.h"

namespace {

using test::ScanRun;
using test::ScanTest;

// Groups in list order, each with its members (relative paths) sorted:
// the order of files inside a group is the order the directory listing
// gave, which the tests do not fix.
std::vector<std::vector<std::string>> groups(const ScanRun& run, const std::string& root) {
  std::vector<std::vector<std::string>> out;
  for (const ListRow& r : run.rows()) {
    if (r[0] == "/*" && r[1].rfind("Group ", 0) == 0) out.emplace_back();
    if (r[0] == " " && !out.empty()) out.back().push_back(r[6].substr(root.size() + 1));
  }
  for (auto& g : out) std::sort(g.begin(), g.end());
  return out;
}

using Groups = std::vector<std::vector<std::string>>;

class WalkTest : public ScanTest {
 protected:
  static void SetUpTestSuite() {
    ScanTest::SetUpTestSuite();
    umask(022);
  }
  Groups groups_of(const ScanRun& run) { return groups(run, dir.path()); }
};

TEST_F(WalkTest, GroupsByKeyAndContentsWithTheirFramingRows) {
  make_file("a/big.dat", "0123456789");
  make_file("b/big.dat", "0123456789");
  make_file("a/x.txt", "abc");
  make_file("b/x.txt", "abc");
  make_file("c/x.txt", "abd");  // same size and name, other contents
  make_file("a/solo.txt", "hello");

  ScanRun run = scan();
  auto outline = run.outline(dir.path());
  ASSERT_EQ(outline.size(), 10u);
  EXPECT_EQ(outline[0], "Sorted List|*/||");
  EXPECT_EQ(outline[1], "Group 1 |(1 - 2)|*/|");
  EXPECT_EQ(outline[4], "Group 2 |(3 - 4)|*/|");
  EXPECT_EQ(outline[7], "End Of List|*/||");
  EXPECT_EQ(outline[8], "Scan Finished");
  EXPECT_EQ(outline[9], "Scan Time ");
  EXPECT_EQ(groups_of(run), (Groups{{"a/big.dat", "b/big.dat"}, {"a/x.txt", "b/x.txt"}}));

  const ListRow& row = run.rows()[5];
  EXPECT_EQ(row[3], "3");
  EXPECT_EQ(row[4], "352441C2");
  EXPECT_EQ(row[5], "-rw-r--r--");
  EXPECT_EQ(run.rows()[8][2].size(), 20u) << "Dec  6 04:08:40 2026: the weekday left out";
  EXPECT_EQ(run.rows()[9][2].size(), 8u);

  ScanBlock& b = *run.block;
  // Every directory the walk meets on its way counts too (those of / and /tmp).
  EXPECT_GE(b.counters.dirs_count.load(), 3);
  EXPECT_EQ(b.counters.files_count.load(), 6);
  EXPECT_EQ(b.counters.dup_count.load(), 2) << "after the CRC pass";
  EXPECT_EQ(b.row_count.load(), 10);
  EXPECT_EQ(b.scan_finished.load(), 0) << "taken by the interface side";
  ASSERT_FALSE(run.result.messages.empty());
  std::string summary = run.result.messages.back();
  EXPECT_EQ(summary, summary_counts_line(b));
  EXPECT_NE(summary.find(" Dirs, 6 Files, 2  Duplicates   "), std::string::npos) << summary;
}

TEST_F(WalkTest, SizeKeysAcrossAThousandMillionBytesAndGroupLimits) {
  options.same_crc = false;
  options.display_crc = false;
  options.same_name = false;
  // Sparse files: nothing is read with CRC comparison and display off.
  for (auto [name, size] : {std::pair{"n1", 999999999LL},
                            {"n2", 999999999LL},
                            {"g1", 1000000000LL},
                            {"g2", 1000000000LL},
                            {"s1", 5LL},
                            {"s2", 5LL},
                            {"s3", 5LL},
                            {"one", 6LL}}) {
    std::string p = make_file(std::string("d/") + name, "");
    ASSERT_EQ(truncate(p.c_str(), size), 0);
  }
  ScanRun run = scan();
  EXPECT_EQ(groups_of(run), (Groups{{"d/n1", "d/n2"}, {"d/g1", "d/g2"}, {"d/s1", "d/s2", "d/s3"}}));
  EXPECT_EQ(run.rows()[2][3], "999,999,999");
  EXPECT_EQ(run.rows()[5][3], "1,000,000,000");
  EXPECT_EQ(run.rows()[2][4], "-");

  options.group_min = 3;
  options.group_max = 3;
  run = scan();
  EXPECT_EQ(groups_of(run), (Groups{{"d/s1", "d/s2", "d/s3"}}));
  auto outline = run.outline(dir.path());
  ASSERT_EQ(outline.size(), 9u);
  EXPECT_EQ(outline[5], "2 Group(s) Smaller |Than 3 |Not Shown|*/");
  EXPECT_EQ(outline[6], "End Of List|*/||");
  EXPECT_EQ(run.block->counters.smaller_groups.load(), 2)
      << "the single file is not a smaller group";

  options.group_min = 2;
  options.group_max = 2;
  run = scan();
  EXPECT_EQ(run.outline(dir.path())[7], "1 Group(s) Larger |Than 2 |Not Shown|*/");
}

// Whether the limit ends the walk (names and sizes compared) or the
// comparison of contents, the list says so before "End Of List".
TEST_F(WalkTest, StopLimitEndsTheListWithTheStopText) {
  for (int i = 0; i < 4; ++i) {
    make_file("a/p" + std::to_string(i), "x");
    make_file("b/p" + std::to_string(i), "x");
  }
  for (bool contents : {false, true}) {
    SCOPED_TRACE(contents ? "contents compared" : "names and sizes");
    options.same_crc = options.display_crc = contents;
    options.stop_after = 2;
    ScanRun run = scan();
    EXPECT_EQ(groups_of(run).size(), 2u);
    EXPECT_EQ(run.block->counters.files_count.load(), 8) << "files are still counted";
    std::vector<std::string> outline = run.outline(dir.path());
    ASSERT_GE(outline.size(), 4u);
    EXPECT_EQ(outline.end()[-4], "Stopped 2 Duplicates Found|(Limit = 2)|*/|");
    EXPECT_EQ(outline.end()[-3], "End Of List|*/||");
  }
}

// The second status line: the counts while walking, and while contents are
// compared the bytes done of the total and the time left.
TEST(ScanProgressText, CountsBytesAndTimeLeft) {
  EXPECT_EQ(walk_counts_text(12345, 678, 9), "12,345 Files, 678 Folders, 9 Duplicates So Far");
  struct Case {
    long dups;
    std::int64_t done, total;
    double seconds;
    const char* text;
  };
  const Case cases[] = {
      {3, 0, 4096, 0.0, "3 Duplicates, 0 Bytes Of 4.0 KB Compared"},
      {3, 1000, 4096, 0.5, "3 Duplicates, 1000 Bytes Of 4.0 KB Compared"},  // too soon to tell
      {1053, 1LL << 30, 4LL << 30, 10.0,
       "1,053 Duplicates, 1.0 GB Of 4.0 GB Compared, About 0:30 Left"},
      {7, 5LL << 20, 3000LL << 20, 2.0,
       "7 Duplicates, 5.0 MB Of 2.9 GB Compared, About 19:58 Left"},
      {7, 1LL << 20, 4000LL << 20, 10.0,
       "7 Duplicates, 1.0 MB Of 3.9 GB Compared, About 11:06:30 Left"},
      {0, 0, 0, 5.0, "0 Duplicates, 0 Bytes Of 0 Bytes Compared"},
  };
  for (const Case& c : cases) {
    std::string text = compare_progress_text(c.dups, c.done, c.total, c.seconds);
    EXPECT_EQ(text, c.text);
    EXPECT_LT(text.size(), static_cast<std::size_t>(LABEL_TEXT_SIZE)) << "fits its line";
  }
}

// While walking, each second's tick shows the counts so far: a tick that
// is due when the scan starts shows them at the first directory.
TEST_F(WalkTest, TheWalkShowsItsCountsEachSecond) {
  for (int i = 0; i < 3; ++i) make_file("d" + std::to_string(i) + "/f", "same");
  ScanRun run = scan([](ScanBlock& b) { b.dir_tick.store(1); });
  ASSERT_FALSE(run.result.messages.empty());
  const std::string& first = run.result.messages.front();
  EXPECT_NE(first.find(" Files, "), std::string::npos) << first;
  EXPECT_TRUE(first.ends_with(" Folders, 0 Duplicates So Far")) << first;
}

TEST_F(WalkTest, FileMasksClassesAndCommentEntries) {
  auto record = std::make_unique<SettingsRecord>();
  default_settings(*record);
  std::strcpy(record->include_file_masks[0], "*.txt");
  std::strcpy(record->include_file_masks[1], "[ab]*");
  std::strcpy(record->include_file_masks[2], "/* [c]* */");
  std::strcpy(record->exclude_file_masks[0], "*old*");
  std::strcpy(record->exclude_file_masks[1], "/*.txt*/");
  record->exclude_file_masks[2][0] = '\0';
  std::strcpy(record->exclude_file_masks[3], "*");  // after the end of the list
  ScanOptions from_record = scan_options_from(*record);
  options.include_file_masks = from_record.include_file_masks;
  options.exclude_file_masks = from_record.exclude_file_masks;
  for (const char* name : {"keep.txt", "a.dat", "c.dat", "old.txt", "B.dat"}) {
    make_file(std::string("d1/") + name, "1");
    make_file(std::string("d2/") + name, "1");
  }
  ScanRun run = scan();
  EXPECT_EQ(groups_of(run), (Groups{{"d1/keep.txt", "d2/keep.txt"}, {"d1/a.dat", "d2/a.dat"}}));
  EXPECT_EQ(run.block->counters.exfiles_count.load(), 2);
  EXPECT_EQ(run.block->counters.files_count.load(), 4);
}

TEST_F(WalkTest, DateBoundsAreInclusive) {
  options.same_crc = false;
  options.min_date = 20000101;
  options.max_date = 20001231;
  const std::pair<const char*, time_t> files[] = {
      {"first", 946684800},   // 2000-01-01 00:00:00
      {"last", 978307199},    // 2000-12-31 23:59:59
      {"before", 946684799},  // 1999-12-31 23:59:59
      {"after", 978307200},   // 2001-01-01 00:00:00
  };
  for (auto [name, t] : files) {
    for (const char* d : {"a/", "b/"}) {
      make_file(d + std::string(name), name);
      set_mtime(d + std::string(name), t);
    }
  }
  ScanRun run = scan();
  EXPECT_EQ(groups_of(run), (Groups{{"a/first", "b/first"}, {"a/last", "b/last"}}));
  EXPECT_EQ(run.rows()[2][1].substr(0, 15), "Sat-Jan 01,2000");
}

TEST_F(WalkTest, PermissionFilterAndDuplicateKeyParts) {
  options.same_crc = false;
  options.attr_care_mask = 0022;  // group and other write must be clear
  options.attr_set_mask = 0;
  for (auto [name, mode] : {std::pair{"plain", 0644}, {"gw", 0664}, {"ow", 0646}}) {
    for (const char* d : {"a/", "b/"}) {
      std::string p = make_file(d + std::string(name), "x");
      chmod(p.c_str(), mode);
    }
  }
  EXPECT_EQ(groups_of(scan()), (Groups{{"a/plain", "b/plain"}}));

  // Date and time join the key: equal names with other times part.
  options.attr_care_mask = 0;
  options.same_date = true;
  options.same_time = true;
  set_mtime("a/gw", 1000000000);
  set_mtime("b/gw", 1000000001);
  set_mtime("a/ow", 1000000000);
  set_mtime("b/ow", 1000000000);
  set_mtime("a/plain", 1000000000);
  set_mtime("b/plain", 1000086400);  // a day later, same time of day
  EXPECT_EQ(groups_of(scan()), (Groups{{"a/ow", "b/ow"}}));

  // With every key attribute off, nothing enters the tree.
  options.same_name = options.same_size = options.same_date = options.same_time = false;
  ScanRun run = scan();
  EXPECT_EQ(run.block->counters.files_count.load(), 0);
  EXPECT_TRUE(run.paths().empty());
}

TEST_F(WalkTest, ExcludedDirectoriesArePrunedAndCounted) {
  options.exclude_dirs = {escape_mask(dir.path()) + "/skip*"};
  make_file("skip/x.txt", "1");
  make_file("skip/deep/x.txt", "1");
  make_file("keep/x.txt", "1");
  make_file("keep2/x.txt", "1");
  make_file("x.txt", "1");  // the top directory matches the include mask itself
  ScanRun run = scan();
  EXPECT_EQ(groups_of(run), (Groups{{"keep/x.txt", "keep2/x.txt", "x.txt"}}));
  // skip/deep would match the exclude mask too, had the walk met it.
  EXPECT_EQ(run.block->counters.exdirs_count.load(), 1);
}

TEST_F(WalkTest, WalkGoesOnlyWhereAnIncludeMaskCanLead) {
  // Pseudo file systems are never entered, whatever the masks say.
  options.include_dirs = {"/proc/*", "/sys", "/dev/*"};
  ScanRun run = scan();
  EXPECT_EQ(run.block->counters.files_count.load(), 0);
  EXPECT_EQ(run.block->counters.exdirs_count.load(), 0);
  EXPECT_GT(run.block->counters.dirs_count.load(), 0) << "the root's directories are met";
  options.exclude_dirs = {"/proc"};
  EXPECT_EQ(scan().block->counters.exdirs_count.load(), 1) << "the exclude test comes first";

  // An empty include list walks nothing, not even the root.
  options.include_dirs.clear();
  options.exclude_dirs.clear();
  make_file("a/x", "1");
  make_file("b/x", "1");
  run = scan();
  EXPECT_EQ(run.block->counters.dirs_count.load(), 0);
  EXPECT_EQ(run.outline(dir.path()),
            (std::vector<std::string>{"Sorted List|*/||", "End Of List|*/||", "Scan Finished",
                                      "Scan Time "}));
  EXPECT_EQ(run.result.messages.back().rfind("0 Dirs, 0 Files, 0  Duplicates  ", 0), 0u);

  // A mask without a leading "/" still leads the walk to where it matches.
  // Its first character is a wildcard that stands for that "/", so the walk
  // never leaves the way to the temporary tree.
  options.include_dirs = {"?" + dir.path().substr(1) + "/*b"};
  EXPECT_TRUE(groups_of(scan()).empty()) << "only b's files are taken";
  make_file("a/b/x", "1");
  EXPECT_EQ(groups_of(scan()), (Groups{{"a/b/x", "b/x"}}));

  // Masks that lead to the same directories again and again: each file is
  // listed once (a directory is entered once, from its parent).
  options.include_dirs = {dir.path(), dir.path() + "/*", dir.path() + "/a/*", dir.path() + "/a/b",
                          "?" + dir.path().substr(1) + "/*"};
  EXPECT_EQ(groups_of(scan()), (Groups{{"a/b/x", "a/x", "b/x"}}));
}

// An environment variable set for one case and put back after it.
class EnvironmentSetting {
 public:
  EnvironmentSetting(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvironmentSetting() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  EnvironmentSetting(const EnvironmentSetting&) = delete;
  EnvironmentSetting& operator=(const EnvironmentSetting&) = delete;

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

// The files in a trash folder were deleted on purpose: the walk passes the
// home trash and the trash folders at the top of mounted file systems, found
// by what they are (a path spelled another way still leads to them), while
// a folder that is only called "Trash", or another user's trash, is walked.
TEST_F(WalkTest, TrashFoldersAreNeverWalked) {
  make_file("a/x", "1");
  make_file("b/x", "1");
  make_file("data/Trash/files/x", "1");
  make_file("data/Trash/info/x.trashinfo", "1");
  make_file("home/.local/share/Trash/files/x", "1");
  make_file("other/Trash/x", "1");
  struct Case {
    const char* what;
    const char* home;
    const char* data_home;
    Groups expected;
  };
  const std::string data = path("data");
  const std::string home = path("home");
  const std::string respelled = path("a/../data");
  ASSERT_EQ(symlink(path("data").c_str(), path("linked").c_str()), 0);
  const std::string linked = path("linked");
  const Groups not_data = {{"a/x", "b/x", "home/.local/share/Trash/files/x", "other/Trash/x"}};
  const Groups not_home = {{"a/x", "b/x", "data/Trash/files/x", "other/Trash/x"}};
  const Case cases[] = {
      {"XDG_DATA_HOME names the data folder", home.c_str(), data.c_str(), not_data},
      {"another spelling of it", home.c_str(), respelled.c_str(), not_data},
      {"a link to it", home.c_str(), linked.c_str(), not_data},
      {"no XDG_DATA_HOME: the home's .local/share", home.c_str(), nullptr, not_home},
      {"a relative XDG_DATA_HOME counts as none", home.c_str(), "data", not_home},
  };
  for (const Case& c : cases) {
    EnvironmentSetting h("HOME", c.home);
    EnvironmentSetting d("XDG_DATA_HOME", c.data_home);
    EXPECT_EQ(groups_of(scan()), c.expected) << c.what;
  }
  EnvironmentSetting h("HOME", path("nowhere").c_str());
  EnvironmentSetting d("XDG_DATA_HOME", nullptr);
  EXPECT_EQ(groups_of(scan()), (Groups{{"a/x", "b/x", "data/Trash/files/x",
                                        "home/.local/share/Trash/files/x", "other/Trash/x"}}))
      << "without a home trash every folder is walked";
}

TEST_F(WalkTest, TrashFoldersAtTheTopOfAMountAreNeverWalked) {
  test::ScratchMount fs(path("fs"));
  if (!fs.mounted()) GTEST_SKIP() << "no tmpfs: " << fs.error();
  const std::string uid = std::to_string(geteuid());
  const std::string other = std::to_string(geteuid() + 1);
  make_file("a/x", "1");
  make_file("fs/x", "1");
  make_file("fs/.Trash-" + uid + "/files/x", "1");
  make_file("fs/.Trash/" + uid + "/files/x", "1");
  make_file("fs/.Trash/" + other + "/files/x", "1");
  make_file("fs/.Trash-" + other + "/files/x", "1");
  make_file("fs/sub/.Trash-" + uid + "/files/x", "1");  // not at the top
  make_file(".Trash-" + uid + "/files/x", "1");         // the top of the test tree, not of a mount
  EXPECT_EQ(
      groups_of(scan()),
      (Groups{{".Trash-" + uid + "/files/x", "a/x", "fs/.Trash-" + other + "/files/x",
               "fs/.Trash/" + other + "/files/x", "fs/sub/.Trash-" + uid + "/files/x", "fs/x"}}));
}

// The walk never follows a link into a directory; a link's contents are
// those of the regular file it leads to, so a link is grouped only with
// files that hold the same bytes as its target, and a link that leads to no
// regular file (nowhere, or a directory) is grouped with nothing, whatever
// its text is.
TEST_F(WalkTest, LinksAreNeverWalkedAndReadThroughAndHardLinksAreTwoEntries) {
  make_file("target/inside.txt", "in");
  make_file("other/inside.txt", "in");
  make_dirs("a");
  make_dirs("b");
  ASSERT_EQ(symlink("../target", path("a/link").c_str()), 0);
  ASSERT_EQ(symlink("../target", path("b/link").c_str()), 0);
  make_file("a/hard.txt", "same inode");
  ASSERT_EQ(link(path("a/hard.txt").c_str(), path("b/hard.txt").c_str()), 0);
  // Links of equal text length to two files with the same contents.
  make_file("t1/f.txt", "linked");
  make_file("t2/f.txt", "linked");
  ASSERT_EQ(symlink("../t1/f.txt", path("a/flink").c_str()), 0);
  ASSERT_EQ(symlink("../t2/f.txt", path("b/flink").c_str()), 0);
  // A dangling link and a file that holds the link's text.
  ASSERT_EQ(symlink("/nonexistent", path("a/dangling").c_str()), 0);
  make_file("b/dangling", "/nonexistent");
  // A link whose text is a file's contents but whose target holds other bytes.
  make_file("t3/x", "other bytes of twelve");
  make_dirs("a/sub");
  ASSERT_EQ(symlink("../../t3/x", path("a/sub/xlink").c_str()), 0);
  make_file("b/sub/xlink", "../../t3/x");
  ScanRun run = scan();
  EXPECT_EQ(groups_of(run), (Groups{{"a/flink", "b/flink"},
                                    {"a/hard.txt", "b/hard.txt"},
                                    {"t1/f.txt", "t2/f.txt"},
                                    {"other/inside.txt", "target/inside.txt"}}));
  for (const ListRow& r : run.rows()) {
    if (r[6].ends_with("/flink")) {
      EXPECT_EQ(r[3], "11") << "a link's size is its text's length";
    }
  }

  // Every file alone in its group shows what was read of it.
  options.group_min = 1;
  run = scan();
  for (const ListRow& r : run.rows()) {
    if (r[6].ends_with("a/link") || r[6].ends_with("a/dangling")) {
      EXPECT_EQ(r[4], "??") << r[6] << ": leads to no regular file";
    }
  }
}

TEST_F(WalkTest, OddNamesReachTheListUnchanged) {
  const std::string names[] = {"with blank.txt",  "quote's \"both\".txt", "new\nline.txt",
                               "caf\xc3\xa9.txt", "\xff\xfe raw.bin",     "-dash",
                               "back\\slash*?[x]"};
  for (const std::string& name : names) {
    make_file("a/" + name, name);
    make_file("b/" + name, name);
  }
  ScanRun run = scan();
  auto paths = run.paths();
  for (const std::string& name : names) {
    EXPECT_EQ(std::count(paths.begin(), paths.end(), path("a/" + name)), 1) << name;
    EXPECT_EQ(std::count(paths.begin(), paths.end(), path("b/" + name)), 1) << name;
  }
  EXPECT_EQ(paths.size(), 2 * std::size(names));
}

TEST_F(WalkTest, LongPathsAreListedWholeOrLeftOut) {
  // 300 characters: far past the old 256-character column, listed whole.
  std::string mid(140, 'm');
  make_file("a/" + mid + "/" + mid + "/f", "long");
  make_file("b/" + mid + "/" + mid + "/f", "long");
  // Past PATH_MAX: built relative to each level, since no call takes it whole.
  std::string level(200, 'L');
  for (const char* top : {"c", "d"}) make_deep_file(top, level, 21, "deep");
  ScanRun run = scan();
  auto paths = run.paths();
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths[0].size(), dir.path().size() + 286);
  EXPECT_TRUE(paths[0].ends_with("/f"));
}

using test::as_unprivileged_user;

TEST_F(WalkTest, UnreadableFilesAreNeverGroupedAndClosedDirectoriesAreReported) {
  chmod(dir.path().c_str(), 0755);
  for (const char* d : {"a", "b"}) {
    make_file(std::string(d) + "/secret.txt", "same");
    chmod(path(std::string(d) + "/secret.txt").c_str(), 0);
    make_file(std::string(d) + "/open.txt", "same");
    chmod(path(d).c_str(), 0755);
  }
  make_file("locked/x.txt", "1");
  chmod(path("locked").c_str(), 0700);
  if (geteuid() == 0) {
    // Owned by root, so "nobody" cannot enter it.
    ASSERT_EQ(chown(path("locked").c_str(), 0, 0), 0);
  }

  std::string out = as_unprivileged_user([&] {
    std::string text;
    ScanRun run = scan();  // CRC comparison on
    for (const auto& g : groups_of(run)) {
      for (const auto& m : g) text += m + ",";
      text += ";";
    }
    text += "|";
    for (const std::string& m : run.result.messages) {
      if (m.rfind("Access Denied", 0) == 0) text += m;
    }
    options.same_crc = false;  // shown, with "??" where the CRC cannot be read
    run = scan();
    text += "|";
    for (const ListRow& r : run.rows()) {
      if (r[0] == " " && r[6].ends_with("secret.txt")) text += r[4] + ",";
    }
    return text;
  });
  EXPECT_EQ(out, "a/open.txt,b/open.txt,;|Access Denied to locked|??,??,");
}

// The files of the tree at `path` (`depth` levels below "/") in the order
// one thread walking it meets them: a directory's entries in the order the
// directory lists them, each subdirectory walked where it comes; from 64
// levels down, a directory's files come before its subdirectories (its
// entries are read whole and the directory closed before going deeper).
void walk_order(const std::string& path, int depth, std::vector<std::string>& out) {
  DIR* d = opendir(path.c_str());
  ASSERT_NE(d, nullptr) << path;
  std::vector<std::string> later;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    ASSERT_EQ(lstat((path + "/" + name).c_str(), &st), 0);
    if (!S_ISDIR(st.st_mode)) {
      out.push_back(path + "/" + name);
    } else if (depth + 1 > 64) {
      later.push_back(name);
    } else {
      walk_order(path + "/" + name, depth + 1, out);
    }
  }
  closedir(d);
  for (const std::string& name : later) walk_order(path + "/" + name, depth + 1, out);
}

int depth_of(const std::string& path) {
  return static_cast<int>(std::count(path.begin(), path.end(), '/'));
}

struct DirectWalk {
  std::vector<std::string> paths;  // in the order the files were filed
  long files = 0, dirs = 0, exdirs = 0, depth_after = -1;
};

// The walk alone, on one thread or two, straight into a fresh context.
DirectWalk walk_directly(const ScanOptions& options, WalkThreads threads,
                         std::int32_t command = CMD_START) {
  auto block = std::make_unique<ScanBlock>();
  block->command_word.store(command);
  ScanContext ctx(*block, options);
  walk_file_system(ctx, threads);
  DirectWalk w;
  for (std::uint32_t n = 0; n < ctx.files.size(); ++n)
    w.paths.push_back(ctx.files.path_of(ctx.files[n]));
  w.files = block->counters.files_count.load();
  w.dirs = block->counters.dirs_count.load();
  w.exdirs = block->counters.exdirs_count.load();
  w.depth_after = block->walk_depth.load();
  return w;
}

// With the directories read on a second thread, the files are filed in
// the order of a walk by one thread, over many batches of entries, across
// directories that are left out, and below the levels that stay open.
TEST_F(WalkTest, TwoThreadsFileEveryFileInTheOrderOfOne) {
  options.exclude_dirs = {escape_mask(dir.path()) + "/*/skip"};
  for (int top = 0; top < 12; ++top) {
    std::string t = "t" + std::to_string(top);
    for (int i = 0; i < 40; ++i) {
      // Files and subdirectories made in turn, so the listing mixes them.
      make_file(t + "/f" + std::to_string(i), std::to_string(i % 7));
      if (i % 8 == 0) make_file(t + "/s" + std::to_string(i) + "/g", "1");
      if (i % 13 == 0) make_file(t + "/s" + std::to_string(i) + "/u/v/h" + std::to_string(i), "2");
    }
    make_file(t + "/skip/never", "1");
  }
  make_dirs("empty/er");
  // Far below the open levels: two files and two subdirectories a level.
  std::string deep = "deep";
  long deep_levels = 0;
  for (int level = depth_of(dir.path()) + 1; level < 72; ++level, ++deep_levels) {
    make_file(deep + "/a", "x");
    make_file(deep + "/side/b", "y");
    make_file(deep + "/z", "z");
    deep += "/n";
  }
  std::vector<std::string> expected;
  walk_order(dir.path(), depth_of(dir.path()), expected);
  std::erase_if(expected, [](const std::string& p) { return p.ends_with("/never"); });
  ASSERT_GT(expected.size(), 700u);

  DirectWalk one = walk_directly(options, WalkThreads::ONE);
  DirectWalk two = walk_directly(options, WalkThreads::TWO);
  EXPECT_EQ(one.paths, expected);
  EXPECT_EQ(two.paths, expected);
  EXPECT_EQ(two.files, static_cast<long>(expected.size()));
  EXPECT_EQ(two.files, one.files);
  // Directories are counted wherever the walk meets them, in "/" and in the
  // temporary directory's parent too, where other programs come and go:
  // those of the tree are a part of each count.
  // Each top: itself, 8 "s" directories, "u" and "v" in 4 of them, "skip".
  const long tree_dirs = 12 * (1 + 8 + 8 + 1) + 2 + deep_levels * 2;
  EXPECT_GE(two.dirs, tree_dirs);
  EXPECT_GE(one.dirs, tree_dirs);
  EXPECT_EQ(two.exdirs, 12);
  EXPECT_EQ(one.exdirs, 12);
  EXPECT_EQ(two.depth_after, 0) << "every directory entered is left";
  EXPECT_EQ(one.depth_after, 0);
}

// A stop asked before the walk reaches any entry: nothing is counted or
// filed, and the reading thread ends with the walk.
TEST_F(WalkTest, AStoppedWalkFilesNothingOnEitherThread) {
  for (int i = 0; i < 300; ++i)
    make_file("d" + std::to_string(i % 5) + "/f" + std::to_string(i), "1");
  for (WalkThreads threads : {WalkThreads::ONE, WalkThreads::TWO}) {
    DirectWalk w = walk_directly(options, threads, CMD_IDLE);
    EXPECT_TRUE(w.paths.empty());
    EXPECT_EQ(w.files, 0);
    EXPECT_EQ(w.dirs, 0);
    EXPECT_EQ(w.depth_after, 0);
  }
}

// Directories that cannot be entered, spread over a walk of many batches:
// each is told in walk order, and the files around them are all filed.
TEST_F(WalkTest, ClosedDirectoriesAreToldInWalkOrder) {
  chmod(dir.path().c_str(), 0755);
  for (int top = 0; top < 6; ++top) {
    std::string t = "t" + std::to_string(top);
    for (int i = 0; i < 120; ++i) make_file(t + "/f" + std::to_string(i), std::to_string(i % 3));
    make_file(t + "/lock" + std::to_string(top) + "/x", "1");
    chmod(path(t + "/lock" + std::to_string(top)).c_str(), 0700);
    if (geteuid() == 0) {
      ASSERT_EQ(chown(path(t + "/lock" + std::to_string(top)).c_str(), 0, 0), 0);
    }
    // The parents stay open to "nobody".
    chmod(path(t).c_str(), 0755);
  }
  std::vector<std::string> order;
  walk_order(dir.path(), depth_of(dir.path()), order);
  std::string expected_denied;
  for (const std::string& p : order) {
    std::size_t lock = p.find("/lock");
    if (lock != std::string::npos) {
      std::size_t end = p.find('/', lock + 1);
      expected_denied += "Access Denied to " + p.substr(lock + 1, end - lock - 1) + ";";
    }
  }
  std::string out = as_unprivileged_user([&] {
    options.same_crc = options.display_crc = false;
    ScanRun run = scan();
    std::string text;
    for (const std::string& m : run.result.messages) {
      if (m.rfind("Access Denied", 0) == 0) text += m + ";";
    }
    text += "|" + std::to_string(run.block->counters.files_count.load());
    return text;
  });
  EXPECT_EQ(out, expected_denied + "|720");
}

}  // namespace
