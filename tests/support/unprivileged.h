// Runs a piece of a test in a child process, and as the unprivileged user
// "nobody" (when the tests run as root, who may read and write anything).
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace test {

// Runs `fn` in a child process (what it changes there, a limit or a user,
// stays there) and returns the text it returns; "child failed" when the
// child could not run or did not end well.
template <typename Fn>
std::string in_child(Fn fn) {
  int pipe_fd[2];
  if (pipe(pipe_fd) != 0) return "pipe failed";
  pid_t pid = fork();
  if (pid == 0) {
    close(pipe_fd[0]);
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

template <typename Fn>
std::string as_unprivileged_user(Fn fn) {
  return in_child([&] {
    if (geteuid() == 0) {
      struct passwd* nobody = getpwnam("nobody");
      if (nobody == nullptr || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
          setuid(nobody->pw_uid) != 0) {
        _exit(3);
      }
    }
    return fn();
  });
}

}  // namespace test
