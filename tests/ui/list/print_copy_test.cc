// "Print Listbox" with a stand-in lpr on PATH, and "Copy Line/Group" read
// back from the X server by another program.
#include "ui/list/print_copy.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/glib_ptr.h"
#include "core/launcher.h"
#include "ui/list/support/list_fixture.h"
#include "ui/support/gui_test.h"

namespace {

class PrintCopyTest : public test::ListTest {
 public:
  void SetUp() override {
    old_path_ = std::getenv("PATH");
    mkdir((dir / "bin").c_str(), 0755);
    mkdir((dir / "data").c_str(), 0755);
    in_ = std::make_unique<test::InDirectory>(dir / "data");
    setenv("PATH", (dir / "bin:" + old_path_).c_str(), 1);
    comment("Sorted List");
    header(1);
    row("/home/ann/a b.txt", 1234);
    row("/home/ann/c'd.txt", 1234, "*");
    comment("End Of List");
  }
  void TearDown() override {
    setenv("PATH", old_path_.c_str(), 1);
    in_.reset();
    gui::destroy_windows({"TheWinAskOK"});
  }

  void fake_lpr(const std::string& body) {
    test::write_file(dir / "bin/lpr", "#!/bin/sh\n" + body);
    chmod((dir / "bin/lpr").c_str(), 0755);
  }
  // Prints and waits for lpr's answer.
  std::string print_and_wait(int timeout_ms = 3000) {
    prompter.said.clear();
    print_list(list, prompter, launcher_);
    gui::iterate_until([&] { return !prompter.said.empty(); }, timeout_ms);
    return prompter.said.empty() ? "" : prompter.said[0];
  }
  std::vector<std::string> print_files() {
    std::vector<std::string> found;
    DIR* d = opendir((dir / "data").c_str());
    while (dirent* e = readdir(d)) {
      if (std::string(e->d_name).rfind("print-", 0) == 0) found.push_back(e->d_name);
    }
    closedir(d);
    return found;
  }

  std::string old_path_;
  std::unique_ptr<test::InDirectory> in_;
  SystemLauncher launcher_;
};

TEST_F(PrintCopyTest, PrintTextLaysOutHeadersCommentsAndFiles) {
  EXPECT_EQ(print_text(list),
            "/* Sorted List */   \n"  // empty columns keep their blanks
            "\n/* Group 1  (1 - 2) */  \n"
            "  Mon-Dec 25,2000 12:34:56AM 1,234 352441C2 -rw-r--r--\n/home/ann/a b.txt\n"
            "* Mon-Dec 25,2000 12:34:56AM 1,234 352441C2 -rw-r--r--\n/home/ann/c'd.txt\n"
            "/* End Of List */   \n");
}

// A name with a line feed prints as the list shows it, on one line.
TEST_F(PrintCopyTest, PrintTextWritesNamesInTheirDisplayForm) {
  row("/home/ann/two\nlines\xe9.txt", 5);
  EXPECT_EQ(list.text(5, COL_PATH), "/home/ann/two\\nlines\xef\xbf\xbd.txt");
  const std::string text = print_text(list);
  EXPECT_NE(text.find("\n/home/ann/two\\nlines\xef\xbf\xbd.txt\n"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 10);
}

TEST_F(PrintCopyTest, PrintStartedOnlyWhenLprTookTheJob) {
  fake_lpr("cp -- \"$1\" \"$0.got\"\n");
  std::string said = print_and_wait();
  ASSERT_EQ(said.rfind("message|Print Started|print-", 0), 0u) << said;
  std::string file = said.substr(std::string("message|Print Started|").size(), 17);
  EXPECT_EQ(said, "message|Print Started|" + file + "|lpr " + file);
  EXPECT_EQ(test::read_file(dir / "bin/lpr.got"), print_text(list));
  EXPECT_TRUE(print_files().empty()) << "the print file is removed";
}

TEST_F(PrintCopyTest, AFailingOrMissingLprIsTold) {
  fake_lpr("echo 'lpr: The printer or class does not exist.' >&2\nexit 1\n");
  std::string said = print_and_wait();
  EXPECT_EQ(
      said.rfind("message|Print Failed|lpr: The printer or class does not exist.\n|lpr print-", 0),
      0u)
      << said;
  EXPECT_TRUE(print_files().empty());

  fake_lpr("exit 3\n");
  said = print_and_wait();
  EXPECT_EQ(said.rfind("message|Print Failed|lpr ended with status 3|lpr print-", 0), 0u) << said;

  unlink((dir / "bin/lpr").c_str());
  setenv("PATH", (dir / "bin").c_str(), 1);  // no lpr anywhere
  said = print_and_wait();
  EXPECT_EQ(said.rfind("message|Print Failed|", 0), 0u) << said;
  EXPECT_NE(said.find("lpr"), std::string::npos) << said;
  EXPECT_TRUE(print_files().empty());
}

// This process's resident memory, in kilobytes.
long resident_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// An lpr that never stops writing is cut off at 1,024 bytes of each
// output: it ends on its broken pipe, its answer comes, and the window
// keeps no more of its output than it shows.
TEST_F(PrintCopyTest, AnLprThatPrintsWithoutEndIsCutOff) {
  struct Case {
    const char* name;
    std::string body;
    std::string line1;  // what the notice says
  };
  const std::string complaint = "lpr: complaining without end\n";
  std::string first_kb;
  while (first_kb.size() < 1024) first_kb += complaint;
  first_kb.resize(1024);
  const Case cases[] = {
      {"standard output", "exec yes 'lpr is printing'\n", "lpr ended by signal 13"},
      {"standard error", "exec yes 'lpr: complaining without end' >&2\n", first_kb},
      {"both", "yes 'lpr is printing' &\nexec yes 'lpr: complaining without end' >&2\n", first_kb},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake_lpr(c.body);
    const long before = resident_kb();
    std::string said = print_and_wait(20000);
    ASSERT_EQ(said.rfind("message|Print Failed|", 0), 0u) << said.substr(0, 200);
    std::string line1 = said.substr(std::string("message|Print Failed|").size());
    line1 = line1.substr(0, line1.rfind("|lpr print-"));
    EXPECT_EQ(line1, c.line1);
    EXPECT_LT(resident_kb() - before, 64 * 1024) << "kilobytes more in use";
    EXPECT_TRUE(print_files().empty()) << "the print file is removed";
  }
}

TEST_F(PrintCopyTest, PrintingAnEmptyListOnlySignals) {
  list.clear();
  print_list(list, prompter, launcher_);
  EXPECT_EQ(prompter.error_signals, 1);
  EXPECT_TRUE(print_files().empty());
}

// What another program reads from a selection.
std::string pasted(const char* selection, const char* target = nullptr) {
  std::vector<const char*> argv = {"xclip", "-o", "-selection", selection};
  if (target) {
    argv.push_back("-t");
    argv.push_back(target);
  }
  argv.push_back(nullptr);
  GPid pid;
  gint out_fd;
  if (!g_spawn_async_with_pipes(
          nullptr, const_cast<gchar**>(argv.data()), nullptr,
          static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
          nullptr, &pid, nullptr, &out_fd, nullptr, nullptr)) {
    ADD_FAILURE() << "xclip could not be started";
    return "";
  }
  bool done = false;
  g_child_watch_add(
      pid,
      [](GPid p, gint, gpointer d) {
        *static_cast<bool*>(d) = true;
        g_spawn_close_pid(p);
      },
      &done);
  gui::iterate_until([&] { return done; }, 5000);  // we answer it from this loop
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(out_fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(out_fd);
  return text;
}

TEST_F(PrintCopyTest, CopyPutsThePathOnTheClipboardAndThePrimarySelection) {
  std::string odd = "/home/ann/caf\xC3\xA9 'x' $y.txt";
  row(odd, 3);
  list.select(5);
  copy_path(list, prompter);
  EXPECT_EQ(pasted("clipboard"), odd);
  EXPECT_EQ(pasted("primary"), odd);
  EXPECT_EQ(pasted("clipboard", "text/uri-list"), "file:///home/ann/caf%C3%A9%20'x'%20$y.txt\r\n");
  gui::iterate_for(200);
  EXPECT_EQ(pasted("clipboard"), odd) << "still there after the command";

  list.select(1);  // a header: an empty text
  copy_path(list, prompter);
  EXPECT_EQ(pasted("clipboard"), "");
  EXPECT_EQ(prompter.error_signals, 0);
  for (int r : {0, -1}) {
    if (r < 0) {
      list.unselect();
    } else {
      list.select(r);
    }
    copy_path(list, prompter);
  }
  EXPECT_EQ(prompter.error_signals, 2);
}

// What bash makes of `word` as a command's argument.
std::string bash_reads(const std::string& word) {
  std::string command = "printf '%s' " + word;
  gchar* argv[] = {const_cast<gchar*>("bash"), const_cast<gchar*>("-c"), command.data(), nullptr};
  gchar* out = nullptr;
  gint status = -1;
  if (!g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, &out, nullptr,
                    &status, nullptr)) {
    ADD_FAILURE() << "bash could not be started";
    return "";
  }
  std::string text = out != nullptr ? out : "";
  g_free(out);
  return text;
}

// A name that is not valid text is pasted in the shell's quoting, which
// names its exact bytes; the file URI holds them too.
TEST_F(PrintCopyTest, CopyOfANameThatIsNotTextPastesItsExactBytes) {
  struct Case {
    const char* name;
    std::string path;
    std::string text;  // what the text targets give
    std::string uri;
  };
  const Case cases[] = {
      {"Latin-1", "/tmp/caf\xe9.txt", "$'/tmp/caf\\xe9.txt'", "file:///tmp/caf%E9.txt\r\n"},
      {"line feed and quote", "/tmp/it's\nhere", "$'/tmp/it\\'s\\nhere'",
       "file:///tmp/it's%0Ahere\r\n"},
      {"backslash, tab, escape and a bad byte", "/tmp/a\\b\t\x1b\xff\xc3\xa9",
       "$'/tmp/a\\\\b\\t\\x1b\\xff\xc3\xa9'", "file:///tmp/a%5Cb%09%1B%FF%C3%A9\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    row(c.path, 3);
    list.select(list.size() - 1);
    copy_path(list, prompter);
    const std::string text = pasted("clipboard");
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(pasted("primary"), c.text);
    EXPECT_EQ(bash_reads(text), c.path) << "pasted into a shell";
    EXPECT_EQ(pasted("clipboard", "text/uri-list"), c.uri);
    GCharPtr back(g_filename_from_uri(c.uri.substr(0, c.uri.size() - 2).c_str(), nullptr, nullptr));
    EXPECT_EQ(std::string(back.get() ? back.get() : ""), c.path);
  }
}

}  // namespace
