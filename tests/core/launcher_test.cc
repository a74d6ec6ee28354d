// The launcher against real processes, driven by GLib's main loop: children
// that end at once, never end, or never stop writing.
#include "core/launcher.h"

#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/shell_words.h"
#include "support/temp_dir.h"

namespace {

// Runs the main loop until `done()` or `timeout_ms`; returns done().
bool iterate_until(const std::function<bool()>& done, int timeout_ms = 5000) {
  const gint64 end = g_get_monotonic_time() + gint64{timeout_ms} * 1000;
  while (!done()) {
    if (g_get_monotonic_time() >= end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return true;
}

void iterate_for(int ms) {
  iterate_until([] { return false; }, ms);
}

// Zombies among this process's children: children nobody reaped.
int zombie_children() {
  int count = 0;
  std::ifstream children("/proc/self/task/" + std::to_string(getpid()) + "/children");
  for (pid_t pid; children >> pid;) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::size_t close = line.rfind(')');
    if (close != std::string::npos && line.compare(close + 2, 1, "Z") == 0) ++count;
  }
  return count;
}

std::string stat_line(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  return line;
}

// Reaped: not even a zombie is left.
bool gone(pid_t pid) { return stat_line(pid).empty(); }

// No longer running: gone, or a zombie waiting for its parent (an orphan's
// is init).
bool ended(pid_t pid) {
  std::string line = stat_line(pid);
  return line.empty() || line.find(") Z") != std::string::npos;
}

// A run's callback: the results it was given, and whether it was called
// from within the start call.
struct Outcome {
  std::vector<RunResult> results;
  bool starting = false;
  bool called_while_starting = false;

  RunDone callback() {
    return [this](const RunResult& r) {
      if (starting) called_while_starting = true;
      results.push_back(r);
    };
  }
};

enum class Form { READING, TIME_LIMIT };

RunHandle start(SystemLauncher& launcher, Form form, const std::vector<std::string>& argv,
                const OutputLimits& limits, Outcome& outcome, int time_limit_ms = 10000) {
  outcome.starting = true;
  RunHandle run = form == Form::READING ? launcher.start_reading(argv, limits, outcome.callback())
                                        : launcher.run_with_time_limit(argv, limits, time_limit_ms,
                                                                       outcome.callback());
  outcome.starting = false;
  return run;
}

TEST(Launcher, ChildrenThatEndAtOnceReportStatusAndOutput) {
  struct Case {
    std::vector<std::string> argv;
    ErrorOutput err;
    bool started;
    int exit_status;
    std::string out, err_text;
  };
  const Case cases[] = {
      {{"/bin/true"}, ErrorOutput::INHERITED, true, 0, "", ""},
      {{"sh", "-c", "exit 3"}, ErrorOutput::INHERITED, true, 3, "", ""},
      {{"sh", "-c", "printf 'on out'; printf 'on err' >&2"},
       ErrorOutput::READ,
       true,
       0,
       "on out",
       "on err"},
      {{"sh", "-c", "printf 'kept'; printf 'dropped' >&2; exit 1"},
       ErrorOutput::DISCARDED,
       true,
       1,
       "kept",
       ""},
      // The program's environment, and nothing to read.
      {{"sh", "-c", "printf '%s' \"$PM_LAUNCHER_PROBE\"; readlink /proc/$$/fd/0"},
       ErrorOutput::INHERITED,
       true,
       0,
       "inherited /dev/null\n",
       ""},
      {{"pm-no-such-program-anywhere"}, ErrorOutput::READ, false, -1, "", ""},
      {{}, ErrorOutput::INHERITED, false, -1, "", ""},
  };
  setenv("PM_LAUNCHER_PROBE", "inherited ", 1);
  // This process's own standard input is a file here: a child that
  // inherited it would name that file.
  test::TempDir dir;
  test::write_file(dir / "our input", "");
  const int own_input = dup(STDIN_FILENO);
  const int file_input = open((dir / "our input").c_str(), O_RDONLY);
  ASSERT_GE(file_input, 0);
  dup2(file_input, STDIN_FILENO);
  close(file_input);
  SystemLauncher launcher;
  for (Form form : {Form::READING, Form::TIME_LIMIT}) {
    for (const Case& c : cases) {
      for (bool pause : {false, true}) {
        SCOPED_TRACE((c.argv.empty() ? "(none)" : c.argv.back()) +
                     (form == Form::READING ? " reading" : " time limit") +
                     (pause ? " paused" : ""));
        Outcome outcome;
        RunHandle run = start(launcher, form, c.argv, {64, c.err, 64}, outcome);
        // The id comes with the child, even when it has ended already.
        if (pause) g_usleep(100000);
        if (c.started) {
          EXPECT_GT(run->pid(), 0);
        } else {
          EXPECT_EQ(run->pid(), 0);
        }
        EXPECT_FALSE(run->done());
        ASSERT_TRUE(iterate_until([&] { return !outcome.results.empty(); }));
        EXPECT_FALSE(outcome.called_while_starting);
        EXPECT_TRUE(run->done());
        const RunResult& r = outcome.results[0];
        EXPECT_EQ(r.started, c.started);
        EXPECT_EQ(r.error.empty(), c.started) << r.error;
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_status(), c.exit_status);
        EXPECT_EQ(r.succeeded(), c.exit_status == 0);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err_text);
        iterate_for(20);
        EXPECT_EQ(outcome.results.size(), 1u) << "one callback";
      }
    }
  }
  dup2(own_input, STDIN_FILENO);
  close(own_input);
  EXPECT_TRUE(iterate_until([] { return zombie_children() == 0; }));
}

TEST(Launcher, AChildThatNeverEndsIsEndedWithItsWholeGroup) {
  test::TempDir dir;
  SystemLauncher launcher;
  enum class End { STOP, TIME_LIMIT, STOP_BEFORE_TIME_LIMIT };
  for (End end : {End::STOP, End::TIME_LIMIT, End::STOP_BEFORE_TIME_LIMIT}) {
    SCOPED_TRACE(static_cast<int>(end));
    const std::string pid_file = dir / ("grandchild" + std::to_string(static_cast<int>(end)));
    // The child starts a grandchild and waits for it; both would run for ever.
    const std::vector<std::string> argv = {
        "sh", "-c", "sleep 1000 & echo $! > " + shell_quote(pid_file) + "; echo started; wait"};
    Outcome outcome;
    RunHandle run = end == End::STOP ? start(launcher, Form::READING, argv, {64}, outcome)
                                     : start(launcher, Form::TIME_LIMIT, argv, {64}, outcome,
                                             end == End::TIME_LIMIT ? 300 : 60000);
    const pid_t child = run->pid();
    ASSERT_GT(child, 0);
    ASSERT_TRUE(
        iterate_until([&] { return test::read_file(pid_file).find('\n') != std::string::npos; }));
    const pid_t grandchild = std::stoi(test::read_file(pid_file));
    EXPECT_EQ(getpgid(child), child) << "a process group of its own";
    EXPECT_EQ(getpgid(grandchild), child);

    if (end == End::TIME_LIMIT) {
      ASSERT_TRUE(iterate_until([&] { return !outcome.results.empty(); }));
      const RunResult& r = outcome.results[0];
      EXPECT_TRUE(r.started);
      EXPECT_TRUE(r.timed_out);
      EXPECT_FALSE(r.succeeded());
      EXPECT_EQ(r.exit_status(), -1);
      EXPECT_TRUE(run->done());
    } else {
      run->stop();
      EXPECT_TRUE(run->done());
    }
    EXPECT_TRUE(iterate_until([&] { return gone(child); })) << "the child is reaped";
    EXPECT_TRUE(iterate_until([&] { return ended(grandchild); })) << "its group is killed";
    iterate_for(100);
    EXPECT_EQ(outcome.results.size(), end == End::TIME_LIMIT ? 1u : 0u)
        << "a stopped run is never called back";
    run->stop();  // after the end: nothing
  }
  EXPECT_TRUE(iterate_until([] { return zombie_children() == 0; }));
}

// The first `size` bytes of `line` written again and again.
std::string repeated(const std::string& line, std::size_t size) {
  std::string text;
  while (text.size() < size) text += line;
  return text.substr(0, size);
}

TEST(Launcher, OutputWithoutEndIsCutAtTheLimitAndTheChildEnds) {
  SystemLauncher launcher;
  struct Case {
    Form form;
    std::vector<std::string> argv;
    OutputLimits limits;
    std::string out_line, err_line;
    std::size_t out_size, err_size;
    int end_signal;  // -1: not looked at (a shell's own status)
  };
  const Case cases[] = {
      {Form::READING, {"yes", "printing"}, {1024}, "printing\n", "", 1024, 0, SIGPIPE},
      {Form::TIME_LIMIT, {"yes"}, {256, ErrorOutput::DISCARDED}, "y\n", "", 256, 0, SIGPIPE},
      // Both streams without end: each is cut at its own limit.
      {Form::READING,
       {"sh", "-c", "yes out & yes err >&2; wait"},
       {100000, ErrorOutput::READ, 1024},
       "out\n",
       "err\n",
       100000,
       1024,
       -1},
      {Form::READING,
       {"sh", "-c", "yes err >&2; echo done"},
       {8192, ErrorOutput::READ, 10},
       "done\n",
       "err\n",
       5,
       10,
       -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argv.back());
    Outcome outcome;
    RunHandle run = start(launcher, c.form, c.argv, c.limits, outcome, 60000);
    ASSERT_TRUE(iterate_until([&] { return !outcome.results.empty(); }, 20000))
        << "the run ends on its broken pipe";
    const RunResult& r = outcome.results[0];
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.out, repeated(c.out_line, c.out_size));
    EXPECT_EQ(r.err, repeated(c.err_line, c.err_size));
    if (c.end_signal >= 0) {
      EXPECT_EQ(r.end_signal(), c.end_signal);
    }
    EXPECT_TRUE(iterate_until([&] { return gone(run->pid()); }));
  }
  EXPECT_TRUE(iterate_until([] { return zombie_children() == 0; }));
}

TEST(Launcher, AShellLineRunsWithTheUsersPathAndIsReaped) {
  test::TempDir dir;
  test::InDirectory in(dir.path());
  // A helper whose own commands come from the user's PATH: a file named
  // like a system command in the data directory is never run instead.
  test::write_file(dir / "pm helper", "#!/bin/sh\necho \"$1\" | cat > ran\n");
  chmod((dir / "pm helper").c_str(), 0744);
  test::write_file(dir / "cat", "#!/bin/sh\necho shadowed\n");
  chmod((dir / "cat").c_str(), 0755);

  SystemLauncher launcher;
  EXPECT_EQ(helper_command("pm helper"), "'" + dir / "pm helper'");
  EXPECT_TRUE(launcher.start_shell(helper_command("pm helper") + " 'it ran'"));
  ASSERT_TRUE(iterate_until([&] { return test::read_file(dir / "ran") == "it ran\n"; }));
  EXPECT_TRUE(iterate_until([] { return zombie_children() == 0; }));
}

}  // namespace
