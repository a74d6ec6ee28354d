// Runs a piece of a test as the unprivileged user "nobody" (when the tests
// run as root, who may read and write anything), in a child process, and
// returns what it returns. "child failed" when it could not run.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace test {

template <typename Fn>
std::string as_unprivileged_user(Fn fn) {
  int pipe_fd[2];
  if (pipe(pipe_fd) != 0) return "pipe failed";
  pid_t pid = fork();
  if (pid == 0) {
    close(pipe_fd[0]);
    if (geteuid() == 0) {
      struct passwd* nobody = getpwnam("nobody");
      if (nobody == nullptr || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
          setuid(nobody->pw_uid) != 0) {
        _exit(3);
      }
    }
    std::string out = fn();
    ssize_t unused = write(pipe_fd[1], out.data(), out.size());
    (void)unused;
    _exit(0);
  }
  close(pipe_fd[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(pipe_fd[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
  close(pipe_fd[0]);
  int status;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? out : "child failed";
}

}  // namespace test
