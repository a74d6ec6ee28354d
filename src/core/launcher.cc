#include "core/launcher.h"

#include <glib-unix.h>
#include <glib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

bool RunResult::succeeded() const { return exit_status() == 0; }

int RunResult::exit_status() const {
  if (!started || timed_out || !WIFEXITED(wait_status)) return -1;
  return WEXITSTATUS(wait_status);
}

int RunResult::end_signal() const {
  if (!started || timed_out || !WIFSIGNALED(wait_status)) return 0;
  return WTERMSIG(wait_status);
}

namespace {

// One read takes at most this much; a stream is read until its pipe is
// empty or its limit is reached.
constexpr std::size_t READ_CHUNK = 4096;

// In the child, before exec: a broken pipe ends it (whatever the program
// ignores), and no signal stays blocked. Async-signal-safe calls only.
void reset_signals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(SIGPIPE, &action, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

void shell_child_setup(gpointer) { reset_signals(); }

// A process group of its own: stopping the run ends whatever the child
// started too.
void own_group_child_setup(gpointer) {
  setpgid(0, 0);
  reset_signals();
}

void reap_detached(GPid pid, gint, gpointer) { g_spawn_close_pid(pid); }

class SystemRun;

// One output pipe of a child: read while the main loop runs, up to its limit.
struct Stream {
  SystemRun* run = nullptr;
  int fd = -1;
  guint source = 0;
  std::size_t limit = 0;
  std::string* kept = nullptr;
};

class SystemRun final : public Run, public std::enable_shared_from_this<SystemRun> {
 public:
  explicit SystemRun(RunDone done) : done_(std::move(done)) {}
  ~SystemRun() override { close_streams(); }

  pid_t pid() const override { return pid_; }
  bool done() const override { return over_; }

  void stop() override {
    if (over_) return;
    over_ = true;
    done_ = nullptr;  // whatever the callback holds goes now
    kill_group();
    close_streams();
    remove_timer();
    if (idle_ != 0) {  // never started: nothing left to wait for
      g_source_remove(idle_);
      idle_ = 0;
      self_.reset();
    }
  }

  void start(const std::vector<std::string>& argv, const OutputLimits& limits, int time_limit_ms) {
    // The main loop's sources point at this run: it lives until the child
    // has been reaped (or, when it never started, until its callback).
    self_ = shared_from_this();
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int flags = G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD;
    if (limits.err == ErrorOutput::DISCARDED) flags |= G_SPAWN_STDERR_TO_DEV_NULL;
    const bool read_err = limits.err == ErrorOutput::READ;
    GPid pid = 0;
    gint out_fd = -1;
    gint err_fd = -1;
    GError* error = nullptr;
    if (argv.empty() ||
        !g_spawn_async_with_pipes(nullptr, args.data(), nullptr, static_cast<GSpawnFlags>(flags),
                                  own_group_child_setup, nullptr, &pid, nullptr, &out_fd,
                                  read_err ? &err_fd : nullptr, &error)) {
      result_.error = error != nullptr ? error->message : "nothing to run";
      g_clear_error(&error);
      idle_ = g_idle_add(on_not_started, this);
      return;
    }
    // The id comes with the child: it is the group's id too. (GLib returns
    // once the child has run its setup and exec'd, so the group exists.)
    pid_ = pid;
    result_.started = true;
    open_stream(streams_[0], out_fd, limits.out_bytes, &result_.out);
    if (read_err) open_stream(streams_[1], err_fd, limits.err_bytes, &result_.err);
    g_child_watch_add(pid, on_ended, this);
    if (time_limit_ms > 0) timer_ = g_timeout_add(time_limit_ms, on_time_limit, this);
  }

 private:
  void open_stream(Stream& s, int fd, std::size_t limit, std::string* kept) {
    s.run = this;
    s.fd = fd;
    s.limit = limit;
    s.kept = kept;
    g_unix_set_fd_nonblocking(fd, TRUE, nullptr);
    s.source = g_unix_fd_add(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                             on_readable, &s);
  }

  // Takes what the pipe holds, up to the stream's limit. False when the
  // stream is finished: its end, a read error, or the limit reached.
  static bool read_stream(Stream& s) {
    char buffer[READ_CHUNK];
    for (;;) {
      std::size_t room = s.limit - std::min(s.limit, s.kept->size());
      if (room == 0) return false;
      ssize_t n = read(s.fd, buffer, std::min(room, sizeof buffer));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
      if (n <= 0) return false;
      s.kept->append(buffer, static_cast<std::size_t>(n));
    }
  }

  static void close_stream(Stream& s) {
    if (s.source != 0) g_source_remove(s.source);
    s.source = 0;
    if (s.fd >= 0) close(s.fd);  // a child still writing gets a broken pipe
    s.fd = -1;
  }

  void close_streams() {
    for (Stream& s : streams_) close_stream(s);
  }

  void remove_timer() {
    if (timer_ != 0) g_source_remove(timer_);
    timer_ = 0;
  }

  void kill_group() {
    if (pid_ <= 0 || reaped_) return;
    if (kill(-pid_, SIGKILL) != 0) kill(pid_, SIGKILL);
  }

  // The run is over for the caller: the pipes close and the callback comes.
  void deliver() {
    over_ = true;
    close_streams();
    remove_timer();
    RunDone done = std::move(done_);
    done_ = nullptr;
    if (done) done(result_);
  }

  static gboolean on_readable(gint, GIOCondition, gpointer data) {
    Stream& s = *static_cast<Stream*>(data);
    if (read_stream(s)) return G_SOURCE_CONTINUE;
    s.source = 0;  // removed by the return value
    close_stream(s);
    return G_SOURCE_REMOVE;
  }

  static void on_ended(GPid pid, gint status, gpointer data) {
    auto* run = static_cast<SystemRun*>(data);
    std::shared_ptr<SystemRun> keep = std::move(run->self_);
    g_spawn_close_pid(pid);
    run->reaped_ = true;
    if (run->over_) return;
    run->result_.wait_status = status;
    // What it wrote before it ended is in the pipes: take it now. Whatever
    // it left running in the background is not waited for.
    for (Stream& s : run->streams_) {
      if (s.fd >= 0) read_stream(s);
    }
    run->deliver();
  }

  static gboolean on_time_limit(gpointer data) {
    auto* run = static_cast<SystemRun*>(data);
    run->timer_ = 0;
    run->result_.timed_out = true;
    run->kill_group();
    run->deliver();  // the child watch reaps it once the kill has taken effect
    return G_SOURCE_REMOVE;
  }

  static gboolean on_not_started(gpointer data) {
    auto* run = static_cast<SystemRun*>(data);
    std::shared_ptr<SystemRun> keep = std::move(run->self_);
    run->idle_ = 0;
    run->deliver();
    return G_SOURCE_REMOVE;
  }

  RunDone done_;
  RunResult result_;
  pid_t pid_ = 0;
  Stream streams_[2];
  guint timer_ = 0;
  guint idle_ = 0;
  bool reaped_ = false;
  bool over_ = false;
  std::shared_ptr<SystemRun> self_;
};

}  // namespace

bool SystemLauncher::start_shell(const std::string& line) {
  // The user's own environment and PATH: the helper scripts are named by
  // their absolute paths (helper_command), so nothing in the data directory
  // can stand in for a system command inside them.
  const char* argv[] = {"/bin/sh", "-c", line.c_str(), nullptr};
  GPid pid;
  if (!g_spawn_async(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_DO_NOT_REAP_CHILD,
                     shell_child_setup, nullptr, &pid, nullptr)) {
    return false;
  }
  g_child_watch_add(pid, reap_detached, nullptr);
  return true;
}

RunHandle SystemLauncher::start_reading(const std::vector<std::string>& argv,
                                        const OutputLimits& limits, RunDone done) {
  auto run = std::make_shared<SystemRun>(std::move(done));
  run->start(argv, limits, 0);
  return run;
}

RunHandle SystemLauncher::run_with_time_limit(const std::vector<std::string>& argv,
                                              const OutputLimits& limits, int time_limit_ms,
                                              RunDone done) {
  auto run = std::make_shared<SystemRun>(std::move(done));
  run->start(argv, limits, time_limit_ms > 0 ? time_limit_ms : 1);
  return run;
}
