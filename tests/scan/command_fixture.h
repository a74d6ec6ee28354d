// The headless command run as a separate program, for tests of its options
// and outputs (the scan tests' tree and options as in scan_fixture.h).
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "scan_fixture.h"

namespace test {

class CommandTest : public ScanTest {
 protected:
  // The headless command, run as a separate program with this test's
  // directory as its HOME; its outputs pass through files there (standard
  // error is not a terminal).
  struct CommandResult {
    int status = -1;
    std::string out, err;
  };
  static std::string shell_quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  }
  CommandResult run_command(const std::string& args) {
    std::string cmd = "TZ=UTC HOME=" + shell_quote(dir.path()) + " " +
                      std::string(std::filesystem::path(PELTOMARVISH_BIN).parent_path()) +
                      "/peltomarvish-scan " + args + " >" + shell_quote(dir / "out") + " 2>" +
                      shell_quote(dir / "err");
    CommandResult r;
    int status = std::system(cmd.c_str());
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = read_file(dir / "out");
    r.err = read_file(dir / "err");
    return r;
  }
};

}  // namespace test
