// Starting other programs: the helper scripts, lpr, file. Everything the
// program runs goes through a Launcher, in one of three ways:
//
//   start_shell          "/bin/sh -c LINE", not waited for (pmopen, pmview,
//                        pmstop); reaped when it ends.
//   start_reading        an argument vector whose output is read while the
//                        main loop runs (pmuser, lpr); a callback when it
//                        has ended and its output is in.
//   run_with_time_limit  the same with a time limit (file): at the limit
//                        the child and its group are killed.
//
// Every child inherits the program's environment and PATH and its working
// directory (the data directory), reads its standard input from /dev/null,
// and is reaped by the main loop. Its process id is known from the moment
// it is made. Output is read in bounded amounts and only the first
// `out_bytes` / `err_bytes` are kept; then that pipe is closed, so a child
// that goes on writing ends on a broken pipe. Nothing here ever waits for a
// child: the callbacks come from the main loop.
//
// The program's launcher is SystemLauncher; tests give the commands a
// recording one (tests/support/recording_launcher.h).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// How a run ended, as its callback receives it.
struct RunResult {
  bool started = false;  // false: it could not be started; `error` says why
  std::string error;
  bool timed_out = false;  // killed at its time limit; `wait_status` is not known then
  int wait_status = 0;     // as waitpid gives it, once the child has ended
  std::string out;         // the first bytes of its standard output
  std::string err;         // the first bytes of its standard error, when it was read

  // Ended by itself with exit status 0.
  bool succeeded() const;
  // Its exit status when it ended by itself, else -1.
  int exit_status() const;
  // The signal that ended it, else 0.
  int end_signal() const;
};

using RunDone = std::function<void(const RunResult&)>;

// Where a child's standard error goes.
enum class ErrorOutput {
  INHERITED,  // where the program's goes
  DISCARDED,  // /dev/null
  READ,       // read and kept (at most err_bytes) like the standard output
};

struct OutputLimits {
  std::size_t out_bytes = 0;
  ErrorOutput err = ErrorOutput::INHERITED;
  std::size_t err_bytes = 0;
};

// A child started by start_reading or run_with_time_limit. The caller may
// keep the handle or drop it; the run goes on either way.
class Run {
 public:
  virtual ~Run() = default;
  // The child's process id, which is also the id of its process group;
  // 0 when it could not be started.
  virtual pid_t pid() const = 0;
  // Whether the run is over for its caller: the callback has been called,
  // or the run was stopped.
  virtual bool done() const = 0;
  // Ends the run at once: while the child has not ended, its whole process
  // group is killed (SIGKILL). The callback is never called after stop(), so
  // whatever it would have touched may go right away. The child is still
  // reaped. Does nothing once the run is done.
  virtual void stop() = 0;
};

using RunHandle = std::shared_ptr<Run>;

class Launcher {
 public:
  virtual ~Launcher() = default;

  // Starts "/bin/sh -c LINE" and does not wait for it; file names in the
  // line must be quoted (shell_words.h). False when it could not be started.
  virtual bool start_shell(const std::string& line) = 0;

  // Starts argv (argv[0] looked up on PATH) in a process group of its own,
  // reads its standard output (and its standard error when asked) as the
  // main loop runs, and calls `done` from the main loop when the child has
  // ended: with its status and what was kept of its output (whatever it
  // wrote before it ended). When it cannot be started, `done` is called
  // from the main loop too, with `started` false, never from within this
  // call.
  virtual RunHandle start_reading(const std::vector<std::string>& argv, const OutputLimits& limits,
                                  RunDone done) = 0;

  // As start_reading, with a time limit: when the child has not ended
  // `time_limit_ms` after its start, its process group is killed and `done`
  // is called at once with `timed_out` set (the child is reaped when the
  // kill has taken effect).
  virtual RunHandle run_with_time_limit(const std::vector<std::string>& argv,
                                        const OutputLimits& limits, int time_limit_ms,
                                        RunDone done) = 0;
};

// The launcher of the program: real processes, GLib's main loop.
class SystemLauncher : public Launcher {
 public:
  bool start_shell(const std::string& line) override;
  RunHandle start_reading(const std::vector<std::string>& argv, const OutputLimits& limits,
                          RunDone done) override;
  RunHandle run_with_time_limit(const std::vector<std::string>& argv, const OutputLimits& limits,
                                int time_limit_ms, RunDone done) override;
};
