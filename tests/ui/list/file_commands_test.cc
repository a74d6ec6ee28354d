// The per-file commands' command lines, run through the real shell with
// recording helpers: whatever a file is called, each helper receives
// exactly the specified values and nothing else runs.
#include "ui/list/file_commands.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/shell_words.h"
#include "support/recording_launcher.h"
#include "support/temp_dir.h"
#include "ui/list/support/list_fixture.h"

namespace {

class HelperStartTest : public test::ListTest {};

// Runs a command line with /bin/sh and returns the arguments the recording
// helper got (NUL-separated in "<helper>.args").
std::vector<std::string> arguments_given(const std::string& dir, const std::string& command,
                                         const char* helper) {
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  gint status = -1;
  EXPECT_TRUE(g_spawn_sync(dir.c_str(), const_cast<gchar**>(argv), nullptr, G_SPAWN_DEFAULT,
                           nullptr, nullptr, nullptr, nullptr, &status, nullptr));
  EXPECT_EQ(status, 0) << command;
  std::string recorded = test::read_file(dir + "/" + helper + ".args");
  std::vector<std::string> args;
  std::size_t start = 0;
  for (std::size_t nul; (nul = recorded.find('\0', start)) != std::string::npos; start = nul + 1) {
    args.push_back(recorded.substr(start, nul - start));
  }
  return args;
}

// Names that would run commands or split words if they reached the shell
// as they are.
const char* const HOSTILE[] = {
    "it's $(touch pwned1) `touch pwned2`.txt",
    "; touch pwned3 & | * ?.c",
    "-rf",
    "new\nline.DaT",
    "tab\there\"q\".x",
    "caf\xE9 \\ back.txt",
    "$HOME",
    " lead and trail ",
};

TEST(FileCommands, HelpersGetExactlyTheValuesWhateverTheName) {
  test::TempDir dir;
  test::InDirectory in(dir.path());
  for (const char* helper : {"pmopen", "pmview"}) {
    test::write_file(dir / helper,
                     "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$0.args\"\n");
    chmod((dir / helper).c_str(), 0744);
  }
  mkdir((dir / "files").c_str(), 0755);
  for (const char* name : HOSTILE) {
    SCOPED_TRACE(name);
    std::string path = dir / "files/" + name;
    PathParts parts = split_path(path);
    EXPECT_EQ(arguments_given(dir.path(), open_folder_command(path), "pmopen"),
              (std::vector<std::string>{parts.directory, parts.name, parts.extension}));
    EXPECT_EQ(arguments_given(dir.path(), helper_file_command("pmview", path, 'A', 1234), "pmview"),
              (std::vector<std::string>{"1", path, upper_case(parts.extension), "A", "1234"}));
  }
  for (const char* pwned : {"pwned1", "pwned2", "pwned3"}) {
    EXPECT_NE(access((dir / pwned).c_str(), F_OK), 0) << pwned;
    EXPECT_NE(access((dir / "files/" + pwned).c_str(), F_OK), 0) << pwned;
  }
  // The helper is named by its absolute path: one in the data directory,
  // whatever PATH holds.
  EXPECT_EQ(open_folder_command("/a/b.c").rfind(shell_quote(dir / "pmopen") + " ", 0), 0u);
}

// A helper that cannot be started is told, naming it; one that starts
// says nothing.
TEST_F(HelperStartTest, AHelperThatCannotStartIsTold) {
  struct Case {
    const char* what;
    void (*run)(ResultList&, Prompter&, Launcher&);
    const char* helper;
  };
  const Case cases[] = {{"Open Folder", open_folder, "pmopen"},
                        {"View File", view_entry, "pmview"}};
  comment("Sorted List");
  header(1);
  file("a.txt");
  list.select(2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (bool refused : {false, true}) {
      test::RecordingLauncher launcher;
      launcher.refuse_shell = refused;
      prompter.said.clear();
      prompter.error_signals = 0;
      c.run(list, prompter, launcher);
      EXPECT_EQ(launcher.shell_lines.size(), 1u);
      if (refused) {
        EXPECT_EQ(prompter.said, std::vector<std::string>{std::string("message|Error|Can Not Start "
                                                                      "Helper|") +
                                                          c.helper});
        EXPECT_EQ(prompter.error_signals, 1);
      } else {
        EXPECT_TRUE(prompter.said.empty());
        EXPECT_EQ(prompter.error_signals, 0);
      }
    }
  }
}

TEST(FileCommands, TextKindLooksAtTheBytes) {
  test::TempDir dir;
  struct Case {
    const char* name;
    std::string bytes;
    char kind;
  };
  const Case cases[] = {
      {"empty", "", 'A'},
      {"text", "line one\r\nline\ttwo\f\x1a\x7f\n", 'A'},
      {"a zero byte", std::string("abc\0def", 7), 'B'},
      {"a byte above 127", "caf\xE9", 'B'},
      {"an escape", "\x1b[0m", 'B'},
      {"late binary", std::string(40000, 'a') + "\x01", 'B'},
  };
  for (const Case& c : cases) {
    test::write_file(dir / c.name, c.bytes);
    EXPECT_EQ(text_kind(dir / c.name), c.kind) << c.name;
  }
  EXPECT_EQ(text_kind(dir / "missing"), 'B');
  mkfifo((dir / "fifo").c_str(), 0644);
  EXPECT_EQ(text_kind(dir / "fifo"), 'B') << "a pipe is never waited on";
  EXPECT_EQ(text_kind(dir.path()), 'B');
}

}  // namespace
