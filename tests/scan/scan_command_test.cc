// The headless command, run as a separate program.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "scan_fixture.h"

namespace {

struct CommandResult {
  int status = -1;
  std::string out, err;
};

std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class ScanCommandTest : public test::ScanTest {
 protected:
  CommandResult run(const std::string& args) {
    std::string cmd = std::string("TZ=UTC HOME=") + shell_quote(dir.path()) + " " +
                      std::string(std::filesystem::path(PELTOMARVISH_BIN).parent_path()) +
                      "/peltomarvish-scan " + args + " >" + shell_quote(dir / "out") + " 2>" +
                      shell_quote(dir / "err");
    CommandResult r;
    int status = std::system(cmd.c_str());
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = test::read_file(dir / "out");
    r.err = test::read_file(dir / "err");
    return r;
  }
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
      {"--settings " + shell_quote(dir / "missing") + " /", 2, "", "not a Pelto Marvish settings file"},
      {shell_quote(dir / "no-such-dir"), 2, "", "not a directory"},
  };
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
        if (c == '\t') field += "\\t";
        else if (c == '\n') field += "\\n";
        else if (c == '\\') field += "\\\\";
        else field += c;
      }
      expected += (i ? "\t" : "") + field;
    }
    expected += "\n";
  }
  std::string printed;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("/*\tScan Finished\t", 0) == 0 || line.rfind("/*\tScan Time \t", 0) == 0) continue;
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
  test::write_file(settings, std::string(reinterpret_cast<const char*>(record.get()), sizeof *record));

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
  EXPECT_TRUE(lines[4].ends_with("/x.txt") && lines[4][0] == '/') << "the path on a line of its own";
  EXPECT_EQ(lines[7], "/* End Of List */   ");
  EXPECT_FALSE(std::filesystem::exists(dir / ".PeltoMarvish")) << "nothing is written";
}

}  // namespace
