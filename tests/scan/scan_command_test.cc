// The headless command, run as a separate program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <vector>

#include "command_fixture.h"

namespace {

class ScanCommandTest : public test::CommandTest {
 protected:
  CommandResult run(const std::string& args) { return run_command(args); }
};

TEST_F(ScanCommandTest, ArgumentsAndUsage) {
  struct Case {
    std::string args;
    int status;
    const char* in_out;
    const char* in_err;
  };
  const Case cases[] = {
      {"--help", 0, "Usage: peltomarvish-scan", ""},
      {"--bogus", 2, "", "unknown option --bogus"},
      {"--settings", 2, "", "--settings needs a file"},
      {"--settings " + shell_quote(dir / "missing") + " /", 2, "",
       "not a Pelto Marvish settings file"},
      {shell_quote(dir / "no-such-dir"), 2, "", "not a directory"},
      {"--list-limit", 2, "", "--list-limit needs a number"},
      {"--list-limit 0 /", 2, "", "--list-limit needs a number above 0: 0"},
      {"--list-limit 12x /", 2, "", "--list-limit needs a number above 0: 12x"},
      {"--json --tsv /", 2, "", "--json and --tsv do not go together"},
      {"--links /", 2, "", "--links goes with --tsv"},
      // A pipe as the settings file is refused at once, never waited on.
      {"--settings " + shell_quote(dir / "pipe") + " /", 2, "",
       "not a Pelto Marvish settings file"},
  };
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0644), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    CommandResult r = run(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.out.find(c.in_out), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.in_err), std::string::npos) << r.err;
    if (c.status == 2) {
      EXPECT_NE(r.err.find("Usage:"), std::string::npos);
    }
  }
}

TEST_F(ScanCommandTest, PrintsTheRowsTheEngineSends) {
  make_file("tree/a/x.txt", "abc");
  make_file("tree/b/x.txt", "abc");
  make_file("tree/a/tab\there\n.txt", "tabs");
  make_file("tree/b/tab\there\n.txt", "tabs");
  // Wildcard characters in a directory given on the command line are literal.
  make_file("tree/we[i]rd*/dup.txt", "d");
  make_file("treeX/dup.txt", "d");

  options.include_dirs.clear();
  include_directory(options, path("tree"));
  test::ScanRun engine = scan();

  CommandResult r = run("--tsv " + shell_quote(path("tree")));
  ASSERT_EQ(r.status, 0) << r.err;
  std::string expected;
  for (const ListRow& row : engine.rows()) {
    if (row[1] == "Scan Finished" || row[1] == "Scan Time ") continue;  // their times differ
    for (int i = 0; i < COLUMN_COUNT; ++i) {
      std::string field;
      for (char c : row[i]) {
        if (c == '\t')
          field += "\\t";
        else if (c == '\n')
          field += "\\n";
        else if (c == '\\')
          field += "\\\\";
        else
          field += c;
      }
      expected += (i ? "\t" : "") + field;
    }
    expected += "\n";
  }
  std::string printed;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("/*\tScan Finished\t", 0) == 0 || line.rfind("/*\tScan Time \t", 0) == 0)
      continue;
    printed += line + "\n";
  }
  EXPECT_EQ(printed, expected);
  EXPECT_EQ(engine.paths().size(), 4u) << "treeX is not under the directory given";
  EXPECT_NE(printed.find("\\there\\n.txt"), std::string::npos);
  EXPECT_NE(r.err.find(" Files, 2  Duplicates"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("0 Files Tagged (0 bytes), 0 Files Deleted (0 bytes)"), std::string::npos);
}

TEST_F(ScanCommandTest, PrintLayoutAndSettingsFile) {
  make_file("tree/a/x.txt", "abc");
  make_file("tree/b/x.txt", "abc");
  // Settings: the factory record with CRC comparison and display off.
  auto record = std::make_unique<SettingsRecord>();
  default_settings(*record);
  record->same_crc = 0;
  record->display_crc = 0;
  std::string settings = dir / "my-settings";
  test::write_file(settings,
                   std::string(reinterpret_cast<const char*>(record.get()), sizeof *record));

  CommandResult r = run("--settings " + shell_quote(settings) + " " + shell_quote(path("tree")));
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_GE(lines.size(), 9u);
  EXPECT_EQ(lines[0], "/* Sorted List */   ");
  EXPECT_EQ(lines[1], "") << "an empty line before each group header";
  EXPECT_EQ(lines[2], "/* Group 1  (1 - 2) */  ");
  EXPECT_TRUE(lines[3].ends_with(" 3 - -rw-r--r--")) << lines[3];
  EXPECT_TRUE(lines[4].ends_with("/x.txt") && lines[4][0] == '/')
      << "the path on a line of its own";
  EXPECT_EQ(lines[7], "/* End Of List */   ");
  EXPECT_FALSE(std::filesystem::exists(dir / ".PeltoMarvish")) << "nothing is written";
}

// The factory settings stop after 1,000 duplicates: a list that limit cut
// says so in its rows and in the summary, with contents compared or not.
TEST_F(ScanCommandTest, AListCutByTheStopLimitSaysSo) {
  for (int i = 0; i < 5; ++i) {
    make_file("tree/a/f" + std::to_string(i), "same " + std::to_string(i));
    make_file("tree/b/f" + std::to_string(i), "same " + std::to_string(i));
  }
  for (bool contents : {true, false}) {
    SCOPED_TRACE(contents ? "contents compared" : "names and sizes");
    auto record = std::make_unique<SettingsRecord>();
    default_settings(*record);
    record->stop_after = 2;
    record->same_crc = record->display_crc = contents ? 1 : 0;
    std::string settings = dir / "stop-2";
    test::write_file(settings,
                     std::string(reinterpret_cast<const char*>(record.get()), sizeof *record));
    CommandResult r = run("--settings " + shell_quote(settings) + " " + shell_quote(path("tree")));
    ASSERT_EQ(r.status, 0) << r.err;
    std::size_t stop = r.out.find("/* Stopped 2 Duplicates Found (Limit = 2) */");
    ASSERT_NE(stop, std::string::npos) << r.out;
    EXPECT_LT(stop, r.out.find("/* End Of List */")) << "before the end of the list";
    EXPECT_NE(r.err.find("Stopped 2 Duplicates Found (Limit = 2): the \"Stop After\" limit "
                         "ended the scan; the list is not complete\n"),
              std::string::npos)
        << r.err;
  }
}

// A result far larger than the window's list: the command prints every
// group unless asked for a limit; the window's limit, when it cuts the list,
// always says so. 17,000 groups of two files make 51,000 rows.
TEST_F(ScanCommandTest, EveryGroupIsPrintedHoweverManyAndALimitIsAlwaysTold) {
  constexpr int GROUPS = 17000, SINGLES = 200, PER_DIR = 500;
  std::set<std::string> truth;
  for (int i = 0; i < GROUPS + SINGLES; ++i) {
    std::string dir_name = "/d" + std::to_string(i / PER_DIR);
    if (i % PER_DIR == 0) {
      make_dirs("big/x" + dir_name);
      make_dirs("big/y" + dir_name);
    }
    std::string name = dir_name + "/f" + std::to_string(i);
    std::string content = "contents of file " + std::to_string(i);
    test::write_file(path("big/x" + name), content);
    // Past the groups, the second tree's file differs: no group.
    test::write_file(path("big/y" + name), i < GROUPS ? content : content + "!");
    if (i < GROUPS) {
      truth.insert(path("big/x" + name));
      truth.insert(path("big/y" + name));
    }
  }

  struct Printed {
    std::set<std::string> files;
    int rows = 0, groups = 0, full_notices = 0;
    int rows_before_notice = -1;
    bool groups_whole = true;  // every header is followed by its two rows
  };
  auto read_tsv = [](const std::string& out) {
    Printed p;
    std::istringstream lines(out);
    int owed = 0;
    for (std::string line; std::getline(lines, line); ++p.rows) {
      std::vector<std::string> col;
      std::istringstream fields(line);
      for (std::string f; std::getline(fields, f, '\t');) col.push_back(f);
      if (col.size() >= 7 && col[0] == " ") {
        p.files.insert(col[6]);
        --owed;
      } else if (col.size() >= 3 && col[1].rfind("Group", 0) == 0) {
        p.groups_whole &= owed == 0;
        owed = 2;
        ++p.groups;
      } else if (col.size() >= 3 && col[1] == "List Box" && col[2] == " Is Full") {
        ++p.full_notices;
        p.rows_before_notice = p.rows;
      }
    }
    p.groups_whole &= owed == 0;
    return p;
  };

  // The factory settings without their stop after 1,000 duplicates.
  auto record = std::make_unique<SettingsRecord>();
  default_settings(*record);
  record->stop_after = 0;
  std::string settings = shell_quote(dir / "no-stop");
  test::write_file(dir / "no-stop",
                   std::string(reinterpret_cast<const char*>(record.get()), sizeof *record));

  CommandResult all = run("--settings " + settings + " --tsv " + shell_quote(path("big")));
  ASSERT_EQ(all.status, 0) << all.err;
  Printed every = read_tsv(all.out);
  EXPECT_EQ(every.groups, GROUPS);
  EXPECT_TRUE(every.files == truth) << every.files.size() << " of " << truth.size();
  EXPECT_EQ(every.full_notices, 0);
  EXPECT_TRUE(every.groups_whole);
  EXPECT_NE(all.err.find(" Files, 17,000  Duplicates"), std::string::npos) << all.err;

  CommandResult limited =
      run("--settings " + settings + " --tsv --list-limit 50000 " + shell_quote(path("big")));
  ASSERT_EQ(limited.status, 0) << limited.err;
  Printed cut = read_tsv(limited.out);
  EXPECT_EQ(cut.full_notices, 1);
  // "Sorted List", then whole groups until the count reaches 50,000.
  EXPECT_GE(cut.rows_before_notice, 50000);
  EXPECT_LE(cut.rows_before_notice, 50002);
  EXPECT_TRUE(cut.groups_whole);
  EXPECT_EQ(cut.files.size(), static_cast<std::size_t>(cut.groups) * 2);
  for (const std::string& f : cut.files) ASSERT_TRUE(truth.count(f)) << f;

  // The window's scan takes the window's limit, and says so too.
  options = scan_options_from(*record);
  options.include_dirs.clear();
  include_directory(options, path("big"));
  test::ScanRun window = scan();
  int notices = 0;
  for (const ListRow& row : window.rows()) notices += row[1] == "List Box" && row[2] == " Is Full";
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(window.paths().size(), cut.files.size());
}

}  // namespace
