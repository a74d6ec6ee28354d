// The headless command, run as a separate program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "command_fixture.h"
#include "core/unique_fd.h"
#include "core/version.h"
#include "scan/content_cache.h"
#include "support/disk_facts.h"
#include "support/mounts.h"
#include "support/temp_dir.h"

namespace {

class ScanCommandTest : public test::CommandTest {
 protected:
  CommandResult run(const std::string& args) { return run_command(args); }
};

// Waits until a scan started now would remember every file under `root`:
// the content cache takes a file only when its change time lies more than
// ContentCache::SETTLE_SECONDS before the scan's start (the scan's clock is
// CLOCK_REALTIME, as the change times are). Waits exactly as long as the
// newest file needs, not a fixed time.
void wait_until_settled(const std::filesystem::path& root) {
  struct timespec newest = {0, 0};
  auto note = [&](const std::filesystem::path& p) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) return;
    if (st.st_ctim.tv_sec > newest.tv_sec ||
        (st.st_ctim.tv_sec == newest.tv_sec && st.st_ctim.tv_nsec > newest.tv_nsec)) {
      newest = st.st_ctim;
    }
  };
  note(root);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) note(entry.path());
  // Past the newest change by the settle time and a margin for the clocks'
  // granularity.
  const auto settled = std::chrono::seconds(newest.tv_sec + ContentCache::SETTLE_SECONDS) +
                       std::chrono::nanoseconds(newest.tv_nsec) + std::chrono::milliseconds(20);
  for (;;) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const auto since_epoch =
        std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
    if (since_epoch > settled) break;
    std::this_thread::sleep_for(settled - since_epoch);
  }
}

TEST_F(ScanCommandTest, ArgumentsAndUsage) {
  const std::string version_line =
      std::string("peltomarvish-scan (Pelto Marvish) ") + program_version() + "\n";
  struct Case {
    std::string args;
    int status;
    const char* in_out;
    const char* in_err;
  };
  const Case cases[] = {
      {"--help", 0, "Usage: peltomarvish-scan", ""},
      {"--version", 0, version_line.c_str(), ""},
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
      {"--keep", 2, "", "--keep needs newest, oldest"},
      {"--keep biggest /", 2, "",
       "--keep needs newest, oldest, shortest-path, longest-path, first or original: not biggest"},
      {"--prefer", 2, "", "--prefer needs a folder"},
      {"--protect '' /", 2, "", "--protect needs a folder"},
      {"--apply delete /", 2, "", "--apply needs a rule"},
      {"--keep newest --apply", 2, "", "--apply needs delete, trash, hardlink or clone"},
      {"--keep newest --apply remove /", 2, "", "--apply needs delete, trash, hardlink or clone"},
      {"--keep newest --dry-run /", 2, "", "--dry-run goes with --apply"},
      {"--keep newest --apply delete --tsv /", 2, "", "--apply prints its own lines"},
      {"--keep newest --remove-empty-folders /", 2, "",
       "--remove-empty-folders goes with --apply delete or --apply trash"},
      {"--keep newest --apply hardlink --remove-empty-folders /", 2, "",
       "--remove-empty-folders goes with --apply delete or --apply trash"},
      {"--keep newest --apply clone --remove-empty-folders /", 2, "",
       "--remove-empty-folders goes with --apply delete or --apply trash"},
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

// A home folder as a new user has it: photos and music copied by a plain
// "cp" into "Backup" and "Backup 2" (newer times), a download saved twice,
// a "Copy of" with the very same time. The rule "original", named or the
// default of --prefer alone, keeps every original and tags every copy.
TEST_F(ScanCommandTest, TheRuleOriginalKeepsTheOriginals) {
  struct File {
    const char* path;
    const char* bytes;
    time_t time;
    bool original;
  };
  const File files[] = {
      {"h/Photos/beach.jpg", "beach", 1500000000, true},
      {"h/Backup/Photos/beach.jpg", "beach", 1600000000, false},
      {"h/Backup 2/Photos/beach.jpg", "beach", 1700000000, false},
      {"h/Music/song.mp3", "song", 1500000000, true},
      {"h/Backup/Music/song.mp3", "song", 1600000000, false},
      {"h/Backup 2/Music/song.mp3", "song", 1700000000, false},
      // The second download is older than the first: the name decides.
      {"h/Downloads/report.pdf", "report", 1650000000, true},
      {"h/Downloads/report (1).pdf", "report", 1600000000, false},
      {"h/notes-593.md", "notes", 1600000000, true},
      {"h/Copy of notes-593.md", "notes", 1600000000, false},
  };
  for (const File& f : files) {
    make_file(f.path, f.bytes);
    set_mtime(f.path, f.time);
  }
  // Copies by contents, whatever their names.
  auto record = std::make_unique<SettingsRecord>();
  default_settings(*record);
  record->same_name = 0;
  record->same_crc = 1;
  test::write_file(dir / "by-contents",
                   std::string(reinterpret_cast<const char*>(record.get()), sizeof *record));
  const std::string settings = "--settings " + shell_quote(dir / "by-contents") + " --tsv ";
  const std::string h = shell_quote(path("h"));
  const std::string downloads = shell_quote(path("h/Downloads"));
  for (const std::string& args : {"--keep original " + h, "--prefer " + downloads + " " + h}) {
    SCOPED_TRACE(args);
    CommandResult r = run(settings + args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::string> tagged, untagged;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("/*", 0) == 0) continue;
      std::string file = line.substr(line.rfind('\t') + 1).substr(dir.path().size() + 1);
      (line[0] == '*' ? tagged : untagged).insert(file);
    }
    std::set<std::string> originals, copies;
    for (const File& f : files) (f.original ? originals : copies).insert(f.path);
    EXPECT_EQ(untagged, originals);
    EXPECT_EQ(tagged, copies);
  }
}

// The command passes the user's trash as the window's scan does: the home
// trash is found from the command's own XDG_DATA_HOME, or HOME when that is
// not set.
TEST_F(ScanCommandTest, TheHomeTrashIsNeverScanned) {
  make_file("tree/x.txt", "deleted twice");
  make_file("tree2/x.txt", "deleted twice");
  make_file(".local/share/Trash/files/x.txt", "deleted twice");
  make_file("data/Trash/files/x.txt", "deleted twice");
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string kept = old != nullptr ? old : "";
  struct Case {
    const char* data_home;  // null: not set
    const char* walked;
    const char* passed;
  };
  const std::string data = path("data");
  const Case cases[] = {
      {data.c_str(), "/.local/share/Trash/files/x.txt", "/data/Trash/files/x.txt"},
      {nullptr, "/data/Trash/files/x.txt", "/.local/share/Trash/files/x.txt"}};
  for (const Case& c : cases) {
    if (c.data_home != nullptr) {
      setenv("XDG_DATA_HOME", c.data_home, 1);
    } else {
      unsetenv("XDG_DATA_HOME");
    }
    CommandResult r = run("--tsv " + shell_quote(dir.path()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(path("tree/x.txt")), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(path("tree2/x.txt")), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(dir.path() + c.walked), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(dir.path() + c.passed), std::string::npos) << r.out;
  }
  if (old != nullptr) {
    setenv("XDG_DATA_HOME", kept.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
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

// Tagging by rule on a real tree: each option against the truth, in TSV
// and JSON; nothing is deleted. Folder names differ in length, so that no
// path criterion has to fall back on the order of a directory listing.
TEST_F(ScanCommandTest, TagRulesMarkTheSpareCopies) {
  // Group 1: three copies of f.dat, dated old / new / middle.
  make_file("t/k/f.dat", "one");
  make_file("t/other/f.dat", "one");
  make_file("t/prot/f.dat", "one");
  set_mtime("t/k/f.dat", 1000000000);
  set_mtime("t/other/f.dat", 1300000000);
  set_mtime("t/prot/f.dat", 1200000000);
  // Group 2: two names of one file (older) and a newer copy.
  make_file("t/a/g.dat", "two!");
  make_dirs("t/bb");
  ASSERT_EQ(link(path("t/a/g.dat").c_str(), path("t/bb/g.dat").c_str()), 0);
  make_file("t/ccc/g.dat", "two!");
  set_mtime("t/a/g.dat", 1100000000);
  set_mtime("t/ccc/g.dat", 1250000000);

  struct Case {
    std::string args;
    std::set<std::string> tagged;   // relative to t/
    bool one_of_the_links = false;  // and one of a/g.dat, bb/g.dat (they tie)
  };
  const std::string prot = shell_quote(path("t/prot"));
  const Case cases[] = {
      {"--keep newest", {"k/f.dat", "prot/f.dat", "a/g.dat", "bb/g.dat"}},
      {"--keep newest --prefer " + prot, {"k/f.dat", "other/f.dat", "a/g.dat", "bb/g.dat"}},
      {"--keep newest --protect " + prot, {"k/f.dat", "a/g.dat", "bb/g.dat"}},
      // Without --keep the rule is "original": here, the oldest.
      {"--prefer " + prot, {"k/f.dat", "other/f.dat", "ccc/g.dat"}},
      {"--protect " + prot, {"other/f.dat", "ccc/g.dat"}},
      {"--keep original", {"other/f.dat", "prot/f.dat", "ccc/g.dat"}},
      // a and bb tie as the oldest: one is kept, the other is its hard link.
      {"--keep oldest", {"other/f.dat", "prot/f.dat", "ccc/g.dat"}},
      {"--keep oldest --tag-hard-links", {"other/f.dat", "prot/f.dat", "ccc/g.dat"}, true},
      {"--keep shortest-path", {"other/f.dat", "prot/f.dat", "ccc/g.dat"}},
      {"--keep longest-path", {"k/f.dat", "prot/f.dat", "a/g.dat", "bb/g.dat"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    CommandResult r = run(c.args + " --tsv " + shell_quote(path("t")));
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::string> tagged;
    int rows = 0;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("/*", 0) == 0) continue;
      ++rows;
      std::string file = line.substr(line.rfind('\t') + 1).substr(path("t").size() + 1);
      if (line[0] == '*') tagged.insert(file);
    }
    EXPECT_EQ(rows, 6);
    std::size_t links_tagged = tagged.erase("a/g.dat") + tagged.erase("bb/g.dat");
    std::set<std::string> expected = c.tagged;
    std::size_t links_expected = expected.erase("a/g.dat") + expected.erase("bb/g.dat");
    if (c.one_of_the_links) links_expected = 1;
    EXPECT_EQ(tagged, expected);
    EXPECT_EQ(links_tagged, links_expected);
    const std::size_t total = tagged.size() + links_tagged;
    EXPECT_NE(r.err.find("Tagged " + std::to_string(total) + " files"), std::string::npos) << r.err;
    for (const char* f :
         {"t/k/f.dat", "t/other/f.dat", "t/prot/f.dat", "t/a/g.dat", "t/bb/g.dat", "t/ccc/g.dat"}) {
      EXPECT_TRUE(std::filesystem::exists(path(f))) << "nothing is deleted: " << f;
    }
  }

  // JSON says it of every member.
  CommandResult r = run("--keep newest --json " + shell_quote(path("t")));
  ASSERT_EQ(r.status, 0) << r.err;
  auto count = [&](const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = r.out.find(text); at != std::string::npos; at = r.out.find(text, at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(count("\"tagged\": true"), 4u);
  EXPECT_EQ(count("\"tagged\": false"), 2u);
  // Without a rule, nothing is said of tags.
  r = run("--json " + shell_quote(path("t")));
  EXPECT_EQ(r.out.find("\"tagged\""), std::string::npos);
}

// --prefer and --protect read their folders as the scanned DIRs are read:
// the real path, relative to the working directory. A folder written
// another way than the scan lists it protected nothing before.
TEST_F(ScanCommandTest, RuleFoldersAreReadAsTheScannedFoldersAre) {
  // One group: the oldest copy below t/keep, a middle one below a folder
  // whose name is not UTF-8, the newest in t/new (kept by --keep newest).
  const std::string odd = "t/caf\xE9";
  auto make_tree = [&] {
    std::filesystem::remove_all(path("t"));
    make_file("t/keep/f.dat", "same bytes");
    make_file(odd + "/f.dat", "same bytes");
    make_file("t/new/f.dat", "same bytes");
    set_mtime("t/keep/f.dat", 1000000000);
    set_mtime(odd + "/f.dat", 1100000000);
    make_dirs("t/x");
    ASSERT_EQ(symlink("keep", path("t/link").c_str()), 0);
  };
  make_dirs("elsewhere");
  test::InDirectory in_dir(dir.path());  // relative folders start here
  const std::string t = shell_quote(path("t"));
  struct Case {
    std::string args;
    std::set<std::string> stays;  // below t/
  };
  const Case cases[] = {
      {"--protect ./t/keep", {"keep", "new"}},
      {"--protect t/keep/", {"keep", "new"}},
      {"--protect " + shell_quote(path("t/./keep")), {"keep", "new"}},
      {"--protect " + shell_quote(dir.path() + "//t//keep"), {"keep", "new"}},
      {"--protect " + shell_quote(path("t/x/../keep")), {"keep", "new"}},
      {"--protect t/link", {"keep", "new"}},
      {"--protect " + shell_quote(odd), {"caf\xE9", "new"}},
      {"--protect ./t/keep --protect t/link/ --protect " + shell_quote(odd + "/"),
       {"keep", "caf\xE9", "new"}},
      {"--prefer ./t/keep", {"keep"}},
      {"--prefer t/link", {"keep"}},
      {"--prefer " + shell_quote(odd), {"caf\xE9"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    make_tree();
    CommandResult r = run("--keep newest " + c.args + " --apply delete " + t);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
    for (const std::string folder : {"keep", "caf\xE9", "new"}) {
      EXPECT_EQ(std::filesystem::exists(path("t/" + folder + "/f.dat")), c.stays.count(folder) > 0)
          << folder;
    }
  }

  // A folder that is not there, or not a folder, is a usage error naming
  // it; nothing is scanned or deleted.
  struct Refused {
    std::string args;
    std::string said;
  };
  const Refused refused[] = {
      {"--protect ./t/kept", "--protect: no such folder: ./t/kept"},
      {"--prefer t/keep/f.dat", "--prefer: not a folder: t/keep/f.dat"},
      {"--protect t/keep/f.dat/", "--protect: not a folder: t/keep/f.dat/"},
      {"--protect " + shell_quote(odd + "x"), "--protect: no such folder: " + odd + "x"},
  };
  for (const Refused& c : refused) {
    SCOPED_TRACE(c.args);
    make_tree();
    CommandResult r = run("--keep newest " + c.args + " --apply delete " + t);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("peltomarvish-scan: " + c.said + "\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Usage:"), std::string::npos);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(std::filesystem::exists(path("t/keep/f.dat")));
  }

  // A folder the scan never reaches is warned about; the scan goes on.
  make_tree();
  CommandResult r = run("--keep newest --protect elsewhere --prefer t --tsv " + t);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("peltomarvish-scan: warning: --protect elsewhere: " + path("elsewhere") +
                       " is below no scanned folder"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("--prefer t:"), std::string::npos) << "t is the scanned folder itself";
  r = run("--keep newest --protect " + t + " --tsv " + shell_quote(path("t/new")));
  EXPECT_EQ(r.err.find("warning"), std::string::npos) << "t holds the scanned folder: " << r.err;
}

// The clean-up end to end: what each action prints, does, logs and returns.
TEST_F(ScanCommandTest, ApplyActsOnTheTaggedFilesAndSaysWhatItDid) {
  // Two groups; in each the newest copy is kept. One name holds a line feed
  // and a backslash: its line says so in escapes, still one line. It also
  // holds the lines' own separators, " -> " and ": ", escaped in a path so
  // that a reader finds where the path ends.
  const std::string odd_name = "t/old/odd\nname\\x -> y: z.dat";
  const std::string new_odd_name = "t/new/odd\nname\\x -> y: z.dat";
  auto make_tree = [&] {
    std::filesystem::remove_all(path("t"));
    make_file("t/old/f.dat", "first group");
    make_file("t/new/f.dat", "first group");
    make_file(odd_name, "second");
    make_file(new_odd_name, "second");
    set_mtime("t/old/f.dat", 1000000000);
    set_mtime(odd_name, 1000000000);
  };
  const std::string t = shell_quote(path("t"));
  const std::string f_old = path("t/old/f.dat"), f_new = path("t/new/f.dat");
  const std::string odd = path(odd_name), g_new = path(new_odd_name);
  const std::string odd_shown = path("t/old/odd\\nname\\\\x -\\> y\\: z.dat");
  const std::string g_new_shown = path("t/new/odd\\nname\\\\x -\\> y\\: z.dat");
  const std::string log_file = dir / ".PeltoMarvish/deleted.log";
  auto lines_of = [](const std::string& text) {
    std::set<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.insert(line);
    return lines;
  };

  struct Case {
    const char* action;
    bool dry_run;
    std::set<std::string> out;
    const char* summary;
    const char* logged;  // the log's word; null: nothing logged
  };
  const Case cases[] = {
      {"delete",
       true,
       {"would delete " + f_old, "would delete " + odd_shown},
       "Dry run: 2 files would be deleted (17 bytes), 0 skipped",
       nullptr},
      {"delete",
       false,
       {"deleted " + f_old, "deleted " + odd_shown},
       "2 files deleted (17 bytes), 0 skipped",
       "Deleted"},
      {"trash",
       false,
       {"trashed " + f_old, "trashed " + odd_shown},
       "2 files moved to the trash (17 bytes), 0 skipped",
       "Moved To Trash"},
      {"hardlink",
       true,
       {"would link " + f_old + " -> " + f_new, "would link " + odd_shown + " -> " + g_new_shown},
       "Dry run: 2 files would be linked (17 bytes), 0 skipped",
       nullptr},
      {"hardlink",
       false,
       {"linked " + f_old + " -> " + f_new, "linked " + odd_shown + " -> " + g_new_shown},
       "2 files linked (17 bytes), 0 skipped",
       "Linked"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.action) + (c.dry_run ? " --dry-run" : ""));
    make_tree();
    std::filesystem::remove(log_file);
    CommandResult r = run(std::string("--keep newest --apply ") + c.action +
                          (c.dry_run ? " --dry-run " : " ") + t);
    EXPECT_EQ(r.status, 0) << r.err;
    std::set<std::string> out = c.out;  // and, per group, the copy kept and why
    out.insert({"kept " + f_new + ": newest", "kept " + g_new_shown + ": newest"});
    EXPECT_EQ(lines_of(r.out), out);
    EXPECT_NE(r.err.find(c.summary), std::string::npos) << r.err;
    EXPECT_TRUE(test::exists(f_new));
    EXPECT_TRUE(test::exists(g_new));
    const std::string action = c.action;
    if (c.dry_run) {
      EXPECT_TRUE(test::exists(f_old));
      EXPECT_TRUE(test::exists(odd));
      EXPECT_NE(test::inode_of(f_old), test::inode_of(f_new));
      EXPECT_FALSE(test::exists(log_file));
      continue;
    }
    if (action == "hardlink") {
      EXPECT_EQ(test::inode_of(f_old), test::inode_of(f_new));
      EXPECT_EQ(test::inode_of(odd), test::inode_of(g_new));
    } else {
      EXPECT_FALSE(test::exists(f_old));
      EXPECT_FALSE(test::exists(odd));
    }
    if (action == "trash") {
      EXPECT_EQ(test::read_file(dir / ".local/share/Trash/files/f.dat"), "first group");
    }
    const std::string log = test::read_file(log_file);
    EXPECT_NE(log.find(std::string("Bytes ") + c.logged + " \"" + f_old + "\""), std::string::npos)
        << log;
    // Done once: a second run finds nothing tagged left to act on.
    r = run(std::string("--keep newest --apply ") + c.action + " " + t);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// --remove-empty-folders: the folders the clean-up emptied go, upward to
// (not including) the DIR argument; one empty before, one still holding a
// file, and the DIR itself stay. Without the option every folder stays.
TEST_F(ScanCommandTest, RemoveEmptyFoldersRemovesOnlyWhatTheCleanUpEmptied) {
  for (const char* action : {"delete", "trash"}) {
    for (const bool option : {true, false}) {
      SCOPED_TRACE(std::string(action) + (option ? " with" : " without"));
      std::filesystem::remove_all(path("t"));
      make_file("t/keep/f.dat", "first group");
      make_file("t/a/b:x/f.dat", "first group");  // a/b:x and then a left empty
      make_file("t/c/g.dat", "second group");
      make_file("t/g.dat", "second group");  // its folder is the DIR itself
      std::filesystem::create_directories(path("t/empty_before"));
      set_mtime("t/a/b:x/f.dat", 1000000000);
      set_mtime("t/g.dat", 1000000000);
      CommandResult r = run(std::string("--keep newest --apply ") + action +
                            (option ? " --remove-empty-folders " : " ") + shell_quote(path("t")));
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_FALSE(test::exists(path("t/a/b:x/f.dat")));
      EXPECT_FALSE(test::exists(path("t/g.dat")));
      EXPECT_EQ(test::exists(path("t/a")), !option);
      EXPECT_EQ(test::exists(path("t/a/b:x")), !option);
      EXPECT_TRUE(test::exists(path("t")));
      EXPECT_TRUE(test::exists(path("t/c/g.dat")));  // the kept copy
      EXPECT_TRUE(test::exists(path("t/empty_before")));
      const std::string out = r.out;
      const bool said_b =
          out.find("removed folder " + path("t/a/b\\:x") + "\n") != std::string::npos;
      const bool said_a = out.find("removed folder " + path("t/a") + "\n") != std::string::npos;
      EXPECT_EQ(said_b, option) << out;
      EXPECT_EQ(said_a, option) << out;
      EXPECT_EQ(out.find("removed folder " + path("t") + "\n"), std::string::npos) << out;
      EXPECT_EQ(r.err.find("2 emptied folders removed") != std::string::npos, option) << r.err;
    }
  }
}

TEST_F(ScanCommandTest, ApplyExitsWithOneWhenAFileIsSkipped) {
  make_file("t/old/f.dat", "contents");
  make_file("t/new/f.dat", "contents");
  set_mtime("t/old/f.dat", 1000000000);
  const std::string f_old = path("t/old/f.dat");
  const ino_t before = test::inode_of(f_old);

  // A clone where the file system can not make one.
  if (!test::can_clone_in(path("t"))) {
    CommandResult r = run("--keep newest --apply clone " + shell_quote(path("t")));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "kept " + path("t/new/f.dat") + ": newest\nskipped " + f_old +
                         ": Operation not supported\n");
    EXPECT_NE(r.err.find("0 files cloned (0 bytes), 1 skipped"), std::string::npos) << r.err;
    EXPECT_EQ(test::inode_of(f_old), before);
  }

  // A link across file systems: the newer copy on a tmpfs of its own.
  test::ScratchMount other(path("other"));
  if (!other.mounted()) GTEST_SKIP() << "can not mount a second file system: " << other.error();
  test::write_file(path("other/f.dat"), "contents");
  CommandResult r = run("--keep newest --apply hardlink " + shell_quote(path("t")) + " " +
                        shell_quote(path("other")));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find(": different file systems\n"), std::string::npos) << r.out;
  EXPECT_EQ(test::read_file(f_old), "contents");
}

// The clean-up end to end, where neither the scan nor the content cache can
// tell: a copy's bytes change through a shared memory map, in a page already
// dirty, on a tmpfs, which moves no time stamp. The scan (taking the file's
// contents from the cache, all five identity values being the same) groups
// it with the kept copy; the clean-up compares the bytes, skips it, and has
// the cache forget it, so the next scan reads it and groups it no more.
TEST_F(ScanCommandTest, ApplyNeverRemovesACopyWhoseBytesDifferFromTheKeptOne) {
  test::ScratchMount m(path("m"));
  if (!m.mounted()) GTEST_SKIP() << "can not mount a tmpfs: " << m.error();
  // One tree for a dry run, which checks the same (and has the cache forget
  // the file as well), one for the clean-up.
  const std::string page(4096, 'p');
  struct Tree {
    std::string dir, keep, spare;
    char* bytes = nullptr;  // the spare copy's, mapped
  };
  Tree trees[2];
  for (int t = 0; t < 2; ++t) {
    Tree& tree = trees[t];
    const std::string rel = t == 0 ? "m/dry" : "m/apply";
    make_file(rel + "/old/f.dat", page);
    make_file(rel + "/new/f.dat", page);
    set_mtime(rel + "/old/f.dat", 1000000000);  // the oldest is kept
    tree = {shell_quote(path(rel)), path(rel + "/old/f.dat"), path(rel + "/new/f.dat")};
    UniqueFd fd(open(tree.spare.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(fd);
    void* map = mmap(nullptr, page.size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    ASSERT_NE(map, MAP_FAILED);
    tree.bytes = static_cast<char*>(map);
    tree.bytes[0] = 'p';  // the page is dirty from here on
  }
  auto unmap = [&] {
    for (Tree& tree : trees) munmap(tree.bytes, page.size());
  };
  // Old enough for the cache to remember both files.
  std::this_thread::sleep_for(std::chrono::seconds(ContentCache::SETTLE_SECONDS + 1));
  for (int t = 0; t < 2; ++t) {
    const Tree& tree = trees[t];
    const bool dry_run = t == 0;
    SCOPED_TRACE(dry_run ? "dry run" : "delete");
    CommandResult r = run(tree.dir);
    EXPECT_NE(r.out.find(tree.spare), std::string::npos) << "grouped: " << r.out;
    const FileIdentity before = test::identity_at(tree.spare);
    tree.bytes[1] = 'q';
    if (!(test::identity_at(tree.spare) == before)) {
      unmap();
      GTEST_SKIP() << "this kernel stamps a write through a dirty page";
    }
    r = run(std::string("--keep oldest --apply delete ") + (dry_run ? "--dry-run " : "") +
            tree.dir);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "kept " + tree.keep + ": oldest\nskipped " + tree.spare +
                         ": contents differ from the kept copy\n");
    EXPECT_TRUE(test::exists(tree.spare));
    EXPECT_TRUE(test::exists(tree.keep));
    // Read again, not recalled: no group any more, nothing to clean up.
    r = run(tree.dir);
    EXPECT_EQ(r.out.find(tree.spare), std::string::npos) << r.out;
    r = run("--keep oldest --apply delete " + tree.dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(test::read_file(tree.spare), "pq" + page.substr(2));
  }
  unmap();
}

// Two names of one file, both tagged, and an older copy kept: removing the
// first name moves the second's change time and link count, which the
// clean-up expects; both names go (to the trash as well).
TEST_F(ScanCommandTest, ApplyTakesEveryTaggedNameOfOneFile) {
  for (const char* action : {"delete", "trash"}) {
    SCOPED_TRACE(action);
    std::filesystem::remove_all(path("h"));
    make_file("h/c/f.dat", "one file, two names");
    set_mtime("h/c/f.dat", 1000000000);  // the oldest: kept
    make_file("h/a/f.dat", "one file, two names");
    std::filesystem::create_directories(path("h/b"));
    ASSERT_EQ(link(path("h/a/f.dat").c_str(), path("h/b/f.dat").c_str()), 0);
    CommandResult r =
        run(std::string("--keep oldest --apply ") + action + " " + shell_quote(path("h")));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("skipped"), std::string::npos) << r.out;
    EXPECT_FALSE(test::exists(path("h/a/f.dat")));
    EXPECT_FALSE(test::exists(path("h/b/f.dat")));
    EXPECT_TRUE(test::exists(path("h/c/f.dat")));
  }
}

// A scan that takes what earlier scans read lists exactly what a scan that
// reads every file lists, whatever happened to the files in between.
TEST_F(ScanCommandTest, TheContentCacheNeverChangesTheResult) {
  const std::string big(40000, 'b');  // past the beginning a scan reads first
  auto fill = [&](const std::string& t) {
    make_file(t + "/a/one.dat", "one");
    make_file(t + "/b/one.dat", "one");
    make_file(t + "/a/big.dat", big + "1");
    make_file(t + "/b/big.dat", big + "1");
    make_file(t + "/c/big.dat", big + "2");  // the same beginning, another end
    make_file(t + "/a/same.dat", "same size A");
    make_file(t + "/b/same.dat", "same size A");
    make_file(t + "/a/grow.dat", "grow me");
    make_file(t + "/b/grow.dat", "grow me");
    make_file(t + "/a/lonely.dat", big + "lonely");
  };
  // Rewrites a file in place with bytes of the same length and puts its
  // modification time back, as `touch -d` would: only its change time tells.
  auto rewrite_keeping_time = [&](const std::string& rel, const std::string& bytes) {
    struct stat before;
    ASSERT_EQ(lstat(path(rel).c_str(), &before), 0);
    test::write_file(path(rel), bytes);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path(rel).c_str(), times, 0), 0);
  };
  struct Change {
    const char* what;
    std::function<void(const std::string& t)> apply;  // to the tree t
  };
  const Change changes[] = {
      {"nothing", [](const std::string&) {}},
      {"rewritten with the same size, its time put back",
       [&](const std::string& t) { rewrite_keeping_time(t + "/b/one.dat", "two"); }},
      {"the end of a large file rewritten, its time put back",
       [&](const std::string& t) { rewrite_keeping_time(t + "/b/big.dat", big + "2"); }},
      {"replaced by another file of the same size",
       [&](const std::string& t) {
         test::write_file(path(t + "/other.tmp"), "same size B");
         std::filesystem::rename(path(t + "/other.tmp"), path(t + "/b/same.dat"));
       }},
      {"renamed",
       [&](const std::string& t) {
         std::filesystem::rename(path(t + "/a/one.dat"), path(t + "/a/uno.dat"));
       }},
      {"hard-linked",
       [&](const std::string& t) {
         ASSERT_EQ(link(path(t + "/a/big.dat").c_str(), path(t + "/c/linked.dat").c_str()), 0);
       }},
      {"moved to another directory",
       [&](const std::string& t) {
         std::filesystem::rename(path(t + "/a/same.dat"), path(t + "/c/same.dat"));
       }},
      {"cut short and grown again, its time put back",
       [&](const std::string& t) {
         const std::string grow = path(t + "/b/grow.dat");
         struct stat before;
         ASSERT_EQ(lstat(grow.c_str(), &before), 0);
         ASSERT_EQ(truncate(grow.c_str(), 0), 0);
         test::write_file(grow, "grow it");
         const struct timespec times[2] = {before.st_atim, before.st_mtim};
         ASSERT_EQ(utimensat(AT_FDCWD, grow.c_str(), times, 0), 0);
       }},
  };
  // One tree for each change, all made first: a scan remembers only files
  // that have not changed for a moment (see content_cache.h).
  const std::string cache_file = dir / ".PeltoMarvish/ContentCache";
  const std::size_t count = std::size(changes);
  for (std::size_t i = 0; i < count; ++i) fill("t" + std::to_string(i));
  wait_until_settled(dir.path());
  for (std::size_t i = 0; i < count; ++i) {
    const Change& c = changes[i];
    SCOPED_TRACE(c.what);
    const std::string t = shell_quote(path("t" + std::to_string(i)));
    std::filesystem::remove(cache_file);
    CommandResult first = run("--tsv " + t);
    ASSERT_EQ(first.status, 0) << first.err;
    ContentCache remembered;
    ASSERT_TRUE(remembered.load(cache_file));
    ASSERT_GE(remembered.size(), 9u) << "the scan remembered what it read";
    c.apply("t" + std::to_string(i));
    CommandResult cached = run("--tsv " + t);
    CommandResult fresh = run("--tsv --no-cache " + t);
    ASSERT_EQ(cached.status, 0) << cached.err;
    ASSERT_EQ(fresh.status, 0) << fresh.err;
    // Every row but the clock's ("Scan Started", "Scan Finished", "Scan Time").
    auto rows = [](const std::string& out) {
      std::string kept;
      std::istringstream in(out);
      for (std::string line; std::getline(in, line);) {
        if (line.rfind("/*\tScan ", 0) != 0) kept += line + "\n";
      }
      return kept;
    };
    EXPECT_EQ(rows(cached.out), rows(fresh.out));
    EXPECT_NE(fresh.out.find("Sorted List"), std::string::npos);
  }
  ContentCache cache;
  EXPECT_TRUE(cache.load(cache_file));
  EXPECT_GT(cache.size(), 0u);

  // --no-cache neither reads nor writes it.
  std::filesystem::remove(cache_file);
  ASSERT_EQ(run("--tsv --no-cache " + shell_quote(path("t0"))).status, 0);
  EXPECT_FALSE(test::exists(cache_file));
}

// Two scans at once (two windows, a window and this command) each write the
// cache whole: whichever writes last, the file is one scan's, never a mix.
TEST_F(ScanCommandTest, TwoScansAtOnceLeaveAWholeCacheFile) {
  for (int i = 0; i < 40; ++i) {
    make_file("one/d" + std::to_string(i) + "/f", "contents " + std::to_string(i % 7));
    make_file("two/d" + std::to_string(i) + "/g", "contents " + std::to_string(i % 5));
  }
  // Old enough to be remembered.
  wait_until_settled(dir.path());
  const std::string cache_file = dir / ".PeltoMarvish/ContentCache";
  const std::string bin =
      std::string(std::filesystem::path(PELTOMARVISH_BIN).parent_path()) + "/peltomarvish-scan";
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(round);
    const std::string both = "HOME=" + shell_quote(dir.path()) + " " + bin + " --tsv " +
                             shell_quote(path("one")) +
                             " >/dev/null 2>&1 & HOME=" + shell_quote(dir.path()) + " " + bin +
                             " --tsv " + shell_quote(path("two")) + " >/dev/null 2>&1; wait";
    ASSERT_EQ(std::system(both.c_str()), 0);
    ContentCache cache;
    EXPECT_TRUE(cache.load(cache_file));
    EXPECT_GT(cache.size(), 0u);
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

// An overlay shows lower/doc as merged/doc on a device of its own, with the
// same inode number, size and times. Scanning both lists one file under two
// names, as hard links are listed, and a clean-up never deletes one name
// "as a copy" of the other: after the overlay is gone the contents would be
// nowhere.
TEST_F(ScanCommandTest, OneFileSeenThroughTwoMountsIsListedAsALinkAndNeverDeleted) {
  test::ScratchMount tmpfs(path("fs"));
  if (!tmpfs.mounted()) GTEST_SKIP() << "mounting is not allowed here: " << tmpfs.error();
  make_file("fs/lower/doc", "the only contents");
  const std::string lower = path("fs/lower/doc"), merged = path("fs/merged/doc");
  const std::string both = shell_quote(path("fs/lower")) + " " + shell_quote(path("fs/merged"));
  {
    test::ScratchMount overlay({path("fs/lower"), path("fs/upper"), path("fs/work")},
                               path("fs/merged"));
    ASSERT_TRUE(overlay.mounted())
        << "a tmpfs mounts here, an overlay does not: " << overlay.error();
    ASSERT_NE(test::identity_at(lower).device, test::identity_at(merged).device);

    CommandResult r = run("--tsv --links " + both);
    ASSERT_EQ(r.status, 0) << r.err;
    const bool merged_links_lower = r.out.find(merged + "\t" + lower + "\n") != std::string::npos;
    const bool lower_links_merged = r.out.find(lower + "\t" + merged + "\n") != std::string::npos;
    EXPECT_TRUE(merged_links_lower != lower_links_merged)
        << "one name, the later, links: " << r.out;

    r = run("--json " + both);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"hard_link_of\": "), std::string::npos) << r.out;

    // The rule leaves another name of the kept file alone; told to tag it,
    // the clean-up still finds no other copy.
    r = run("--keep newest --apply delete " + both);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    for (const char* action : {"delete", "trash", "hardlink", "clone"}) {
      SCOPED_TRACE(action);
      r = run("--keep newest --tag-hard-links --apply " + std::string(action) + " " + both);
      EXPECT_EQ(r.status, 1) << r.err;
      const bool removal = action == std::string("delete") || action == std::string("trash");
      const std::string why = removal ? ": the last copy of its group\n" : ": no kept copy\n";
      // Equally new: the first listed is kept.
      EXPECT_TRUE(r.out == "kept " + merged + ": first listed\nskipped " + lower + why ||
                  r.out == "kept " + lower + ": first listed\nskipped " + merged + why)
          << r.out;
      EXPECT_EQ(test::read_file(merged), "the only contents");
    }
  }
  EXPECT_EQ(test::read_file(lower), "the only contents") << "the overlay gone, the file stays";
}

// Once cloned, the copy is listed as one that shares all its blocks with the
// kept copy, and a second clean-up by clones finds it so: it says so on a
// line of its own, frees nothing, counts nothing as cloned, and is no
// failure (nothing is left to do).
TEST_F(ScanCommandTest, ASecondCloneCleanUpFindsTheBlocksSharedAndCountsNothingFreed) {
  test::ScratchMount btrfs(test::ScratchMount::Btrfs{path("image")}, path("b"));
  if (!btrfs.mounted()) GTEST_SKIP() << "no file system that clones: " << btrfs.error();
  const std::string bytes(300000, 'c');
  make_file("b/old/f.dat", bytes);
  make_file("b/new/f.dat", bytes);
  set_mtime("b/old/f.dat", 1000000000);
  const std::string old_f = path("b/old/f.dat"), new_f = path("b/new/f.dat");
  const std::string b = shell_quote(path("b"));

  CommandResult r = run("--keep newest --apply clone " + b);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "kept " + new_f + ": newest\ncloned " + old_f + " -> " + new_f + "\n");
  EXPECT_NE(r.err.find("1 file cloned (300,000 bytes), 0 skipped"), std::string::npos) << r.err;
  const ino_t inode = test::inode_of(old_f);

  // The scan shows the clone as it shows a hard link: the later of the two
  // names the earlier in the link column and in the JSON document.
  r = run("--tsv --links " + b);
  ASSERT_EQ(r.status, 0) << r.err;
  const bool new_names_old = r.out.find(new_f + "\t" + old_f + "\n") != std::string::npos;
  const bool old_names_new = r.out.find(old_f + "\t" + new_f + "\n") != std::string::npos;
  EXPECT_TRUE(new_names_old != old_names_new) << r.out;
  r = run("--json " + b);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"shares_blocks_with\": "), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("\"hard_link_of\""), std::string::npos) << r.out;

  for (const char* dry_run : {" --dry-run", ""}) {
    SCOPED_TRACE(dry_run);
    r = run("--keep newest --apply clone" + std::string(dry_run) + " " + b);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "kept " + new_f + ": newest\nshared " + old_f + " -> " + new_f + "\n");
    EXPECT_NE(r.err.find("0 files " + std::string(*dry_run ? "would be " : "") +
                         "cloned (0 bytes), 1 already sharing their blocks, 0 skipped"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(test::inode_of(old_f), inode) << "not cloned again";
  }
}

}  // namespace

// Before the files of each group the clean-up names the copy kept and why,
// the path escaped as the other lines escape it: a preferred folder by its
// real path, the criterion otherwise.
TEST_F(ScanCommandTest, ACleanUpSaysWhichCopyItKeepsAndWhyBeforeTheGroupsFiles) {
  make_file("t/a/one.dat", "group one");
  make_file("t/b:c/one.dat", "group one");
  make_file("t/a/two.dat", "group two, longer");
  make_file("t/b:c/two.dat", "group two, longer");
  set_mtime("t/a/one.dat", 1000000000);
  set_mtime("t/a/two.dat", 1000000000);
  const std::string t = shell_quote(path("t"));
  const std::string a = path("t/a"), bc = path("t/b\\:c");
  struct Case {
    std::string options;
    std::string reason;
    std::string kept, spare;  // the folders
  };
  const Case cases[] = {
      {"--keep newest", "newest", bc, a},
      {"--keep oldest", "oldest", a, bc},
      {"--keep oldest --prefer " + shell_quote(path("t/b:c")), "in preferred folder " + bc, bc, a},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    CommandResult r = run(c.options + " --apply delete --dry-run " + t);
    EXPECT_EQ(r.status, 0) << r.err;
    // One group after the other, each with its kept line first.
    std::string expected;
    for (const char* name : {"/two.dat", "/one.dat"}) {  // the larger files first
      expected += "kept " + c.kept + name + ": " + c.reason + "\n";
      expected += "would delete " + c.spare + name + "\n";
    }
    EXPECT_EQ(r.out, expected);
  }
}
