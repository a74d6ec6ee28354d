// The engine against the trees and files a new user, or an attacker, might
// give it: directories that can be read but not searched, trees deeper than
// the open-file limit allows, pipes and devices, dates far out, and the
// headless command's outputs (TSV escapes, hard links, JSON, every row).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "command_fixture.h"
#include "support/unprivileged.h"

namespace {

using test::ScanRun;

class EngineAttackTest : public test::CommandTest {
 public:
  static std::string quote(const std::string& s) { return shell_quote(s); }
  CommandResult command(const std::string& args) { return run_command(args); }
};

TEST_F(EngineAttackTest, ADirectoryThatCanBeReadButNotSearchedIsToldOnce) {
  chmod(dir.path().c_str(), 0755);
  make_file("ok/a/x.txt", "same");
  make_file("ok/b/x.txt", "same");
  make_file("closed/x.txt", "same");
  make_file("closed/sub/x.txt", "same");
  chmod(path("closed").c_str(), 0744);  // others may read it, not search it
  if (geteuid() == 0) {
    ASSERT_EQ(chown(path("closed").c_str(), 0, 0), 0);
  }
  std::string out = test::as_unprivileged_user([&] {
    ScanRun run = scan();
    std::string text;
    std::vector<std::string> paths = run.paths();
    std::sort(paths.begin(), paths.end());
    for (const std::string& p : paths) text += p.substr(dir.path().size()) + ",";
    text += "|";
    for (const std::string& m : run.result.messages) {
      if (m.rfind("Access Denied", 0) == 0) text += m + ";";
    }
    return text;
  });
  EXPECT_EQ(out, "/ok/a/x.txt,/ok/b/x.txt,|Access Denied to closed;");
}

TEST_F(EngineAttackTest, NoFileIsLostToTheOpenFileLimit) {
  // Two branches 1,200 levels deep, far more than 100 descriptors.
  constexpr int LEVELS = 1200;
  for (const char* branch : {"a", "b"}) make_deep_file(branch, "d", LEVELS, "bottom");
  make_file("a/top.txt", "top");
  make_file("b/top.txt", "top");
  std::string text = test::in_child([&] {
    struct rlimit limit = {100, 100};
    setrlimit(RLIMIT_NOFILE, &limit);
    ScanRun run = scan();
    std::string found;
    for (const std::string& p : run.paths()) found += p.ends_with("/deep.txt") ? "deep," : "top,";
    for (const std::string& m : run.result.messages) found += m.rfind("Access", 0) == 0 ? m : "";
    return found;
  });
  EXPECT_EQ(text, "deep,deep,top,top,");
}

TEST_F(EngineAttackTest, PipesAndDevicesAreNeverOpened) {
  for (const char* d : {"a", "b"}) {
    make_dirs(d);
    ASSERT_EQ(mkfifo(path(std::string(d) + "/pipe").c_str(), 0644), 0);
    if (geteuid() == 0) {
      ASSERT_EQ(mknod(path(std::string(d) + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    }
  }
  // A writer waits for a reader: if the scan opened the pipe, it would go on.
  pid_t writer = fork();
  if (writer == 0) {
    int fd = open(path("a/pipe").c_str(), O_WRONLY);
    if (fd >= 0) test::write_file(path("opened"), "the scan opened the pipe");
    _exit(0);
  }
  options.same_crc = true;
  ScanRun run = scan();
  options.same_crc = false;
  options.display_crc = true;
  ScanRun shown = scan();
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
  EXPECT_FALSE(std::filesystem::exists(path("opened")));
  EXPECT_TRUE(run.paths().empty()) << "unreadable: never grouped";
  for (const ListRow& r : shown.rows()) {
    if (r[0] == " ") {
      EXPECT_EQ(r[4], "??") << r[6];
    }
  }
}

TEST_F(EngineAttackTest, DatesFarOutAreComparedInSixtyFourBits) {
  auto record = std::make_unique<SettingsRecord>();
  default_settings(*record);
  record->min_year = -2147483647;  // a hand-made Settings file can hold anything
  record->max_year = 2147483647;
  record->max_month = 2147483647;
  ScanOptions wide = scan_options_from(*record);
  EXPECT_GT(wide.max_date, std::int64_t{2147483647} * 10000);
  EXPECT_LT(wide.min_date, 0);

  make_file("a/future.txt", "f");
  make_file("b/future.txt", "f");
  // Year 318,857: more than a 32-bit yyyymmdd can hold (tmpfs keeps it;
  // file systems that cannot store it keep their latest time instead).
  for (const char* f : {"a/future.txt", "b/future.txt"}) {
    struct timespec times[2] = {{10000000000000LL, 0}, {10000000000000LL, 0}};
    utimensat(AT_FDCWD, path(f).c_str(), times, 0);
  }
  wide.include_dirs = options.include_dirs;
  options = wide;
  EXPECT_EQ(scan().paths().size(), 2u) << "listed, never dropped";
}

TEST_F(EngineAttackTest, TsvEscapesEveryControlByteAndLinksShowHardLinks) {
  make_file("t/a/odd\r\x1b[2J.txt", "odd");
  make_file("t/b/odd\r\x1b[2J.txt", "odd");
  make_file("t/a/file.dat", "linked");
  ASSERT_EQ(link(path("t/a/file.dat").c_str(), path("t/b/file.dat").c_str()), 0);
  CommandResult r = command("--tsv --links " + quote(path("t")));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("odd\\r\\x1B[2J.txt"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  // The second name of the file carries the first in its eighth column.
  int links_seen = 0;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 7) << line;
    if (line.ends_with("\t" + path("t/a/file.dat")) ||
        line.ends_with("\t" + path("t/b/file.dat"))) {
      ++links_seen;
    }
  }
  EXPECT_EQ(links_seen, 1);
}

TEST_F(EngineAttackTest, JsonIsOneValidDocumentWhateverTheNames) {
  const char* names[] = {"quote\".txt", "back\\slash", "new\nline", "caf\xE9", "tab\tx", "ctl\x01"};
  for (const char* n : names) {
    make_file(std::string("j/a/") + n, std::string("same ") + n);
    make_file(std::string("j/b/") + n, std::string("same ") + n);
  }
  make_file("j/a/linked", "l");
  ASSERT_EQ(link(path("j/a/linked").c_str(), path("j/b/linked").c_str()), 0);
  CommandResult r = command("--json " + quote(path("j")));
  ASSERT_EQ(r.status, 0) << r.err;
  test::write_file(dir / "doc.json", r.out);
  std::string check =
      "python3 -c 'import json,sys,base64,datetime\n"
      "d = json.load(open(sys.argv[1]))\n"
      "members = [m for g in d[\"groups\"] for m in g[\"members\"]]\n"
      "paths = [m.get(\"path\") or base64.b64decode(m[\"path_bytes\"]).decode(\"latin-1\") for m "
      "in members]\n"
      "links = [m for m in members if \"hard_link_of\" in m]\n"
      "print(len(d[\"groups\"]), len(members), len(links), d[\"summary\"][\"duplicates\"],\n"
      "      d[\"settings\"][\"compare\"][\"crc32\"],\n"
      "      all(datetime.datetime.fromisoformat(m[\"time\"]).tzinfo for m in members))' " +
      quote(dir / "doc.json") + " > " + quote(dir / "checked") + " 2>&1";
  ASSERT_EQ(std::system(check.c_str()), 0) << test::read_file(dir / "checked") << r.out;
  EXPECT_EQ(test::read_file(dir / "checked"), "7 14 1 7 True True\n");
  EXPECT_NE(r.out.find("\"path_bytes\""), std::string::npos) << "the name that is not UTF-8";
}

TEST_F(EngineAttackTest, EveryDeniedDirectoryReachesStandardError) {
  chmod(dir.path().c_str(), 0777);  // the command's output files are written here
  for (const char* d : {"s/one", "s/two", "s/three"}) {
    make_file(std::string(d) + "/x", "x");
    chmod(path(d).c_str(), 0700);
    if (geteuid() == 0) {
      ASSERT_EQ(chown(path(d).c_str(), 0, 0), 0);
    }
  }
  chmod(path("s").c_str(), 0755);
  std::string err = test::as_unprivileged_user([&] {
    CommandResult r = command(quote(path("s")));
    return r.err;
  });
  for (const char* d : {"one", "two", "three"}) {
    EXPECT_NE(err.find(std::string("Access Denied to ") + d + "\n"), std::string::npos) << err;
  }
}

}  // namespace
