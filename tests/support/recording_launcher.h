// A launcher that starts nothing: it records the shell lines and argument
// vectors the commands would have run, and a test ends each run with the
// output and status it chooses.
//
//   test::RecordingLauncher launcher;
//   run_user_function(list, launcher);
//   ASSERT_EQ(launcher.runs.size(), 1u);
//   launcher.finish(0, test::RecordingLauncher::exited(0, "it printed this"));
#pragma once

#include <sys/wait.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/launcher.h"

namespace test {

class RecordingLauncher : public Launcher {
 public:
  // A run as the fake keeps it; its handle is what the command holds.
  class FakeRun : public Run {
   public:
    explicit FakeRun(pid_t pid) : pid_(pid) {}
    pid_t pid() const override { return pid_; }
    bool done() const override { return finished || stopped; }
    void stop() override {
      if (!done()) stopped = true;
    }
    bool finished = false;
    bool stopped = false;

   private:
    pid_t pid_;
  };

  struct Started {
    std::vector<std::string> argv;
    OutputLimits limits;
    int time_limit_ms = 0;  // 0: started by start_reading
    RunDone done;
    std::shared_ptr<FakeRun> run;
  };

  std::vector<std::string> shell_lines;
  std::vector<Started> runs;
  bool refuse_shell = false;  // start_shell answers "could not be started"

  bool start_shell(const std::string& line) override {
    shell_lines.push_back(line);
    return !refuse_shell;
  }
  RunHandle start_reading(const std::vector<std::string>& argv, const OutputLimits& limits,
                          RunDone done) override {
    return record(argv, limits, 0, std::move(done));
  }
  RunHandle run_with_time_limit(const std::vector<std::string>& argv, const OutputLimits& limits,
                                int time_limit_ms, RunDone done) override {
    return record(argv, limits, time_limit_ms, std::move(done));
  }

  // Ends run `i` with `result`, its output cut to the run's limits as the
  // real launcher keeps it. False (and nothing called) when there is no
  // such run, or it was stopped or has ended already.
  bool finish(std::size_t i, RunResult result) {
    if (i >= runs.size()) return false;
    Started& s = runs[i];
    if (s.run->done()) return false;
    s.run->finished = true;
    if (result.out.size() > s.limits.out_bytes) result.out.resize(s.limits.out_bytes);
    if (s.limits.err != ErrorOutput::READ) result.err.clear();
    if (result.err.size() > s.limits.err_bytes) result.err.resize(s.limits.err_bytes);
    RunDone done = std::move(s.done);
    done(result);
    return true;
  }

  // Results a test hands to finish().
  static RunResult exited(int status, std::string out = "", std::string err = "") {
    RunResult r;
    r.started = true;
    r.wait_status = W_EXITCODE(status, 0);
    r.out = std::move(out);
    r.err = std::move(err);
    return r;
  }
  static RunResult timed_out() {
    RunResult r;
    r.started = true;
    r.timed_out = true;
    return r;
  }
  static RunResult not_started(std::string why) {
    RunResult r;
    r.error = std::move(why);
    return r;
  }

 private:
  RunHandle record(const std::vector<std::string>& argv, const OutputLimits& limits,
                   int time_limit_ms, RunDone done) {
    auto run = std::make_shared<FakeRun>(static_cast<pid_t>(900000 + runs.size()));
    runs.push_back({argv, limits, time_limit_ms, std::move(done), run});
    return run;
  }
};

}  // namespace test
