// Runs the real program with a temporary HOME and checks the data directory,
// and that every way of ending leaves no process and no shared segment.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "settings/record_file.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

const char* const SCRIPTS[] = {"pmuser", "pmview", "pmstop", "pmopen"};

std::string proc_field(pid_t pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key + ":", 0) == 0) return line.substr(key.size() + 1);
  }
  return "";
}

// The program's scanner: its only child.
pid_t child_of(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  pid_t child = 0;
  in >> child;
  return child;
}

// Shared segments created by `pid` (the creator column of /proc/sysvipc/shm).
int segments_of(pid_t pid) {
  std::ifstream in("/proc/sysvipc/shm");
  std::string line;
  std::getline(in, line);  // column titles
  int count = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    long key, id, perms, size, cpid;
    if (fields >> key >> id >> perms >> size >> cpid && cpid == pid) ++count;
  }
  return count;
}

// Shared segments of `pid` once the kernel has finished tearing down the
// ended processes: a killed process's memory is released as part of its
// exit, which can trail its reaping by a moment.
int segments_left(pid_t pid) {
  for (int i = 0; i < 200 && segments_of(pid) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return segments_of(pid);
}

bool catches_sigterm(pid_t pid) {
  std::string caught = proc_field(pid, "SigCgt");
  if (caught.empty()) return false;
  unsigned long long mask = std::stoull(caught, nullptr, 16);
  return mask & (1ULL << (SIGTERM - 1));
}

// Ended and reaped (by its parent or, as the tests' subreaper, by us).
bool process_gone(pid_t pid, std::chrono::milliseconds timeout) {
  auto until = std::chrono::steady_clock::now() + timeout;
  do {
    int status;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return true;
    if (r < 0 && kill(pid, 0) != 0 && errno == ESRCH) return true;
    std::this_thread::sleep_for(10ms);
  } while (std::chrono::steady_clock::now() < until);
  return false;
}

class ProgramTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Orphans come to us, so that no test leaves a zombie behind.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
  }

  void TearDown() override {
    if (interface_ > 0 && kill(interface_, 0) == 0) kill(interface_, SIGKILL);
    if (scanner_ > 0 && kill(scanner_, 0) == 0) kill(scanner_, SIGKILL);
    if (interface_ > 0) process_gone(interface_, 5s);
    if (scanner_ > 0) process_gone(scanner_, 5s);
  }

  // Starts the program with HOME set to `home`, in the directory `cwd`, and
  // waits until its signal handlers are in place and its scanner runs.
  void start(const std::string& home, const std::string& cwd) {
    std::string out = dir / "stdout";
    std::string err = dir / "stderr";
    interface_ = fork();
    ASSERT_GE(interface_, 0);
    if (interface_ == 0) {
      // Never outlive the test: a test that ends early would otherwise leave
      // the program running with the test's output open.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      setenv("HOME", home.c_str(), 1);
      // No session bus: GTK would launch daemons that outlive the program
      // and hold this test's output open.
      setenv("NO_AT_BRIDGE", "1", 1);
      setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
      if (chdir(cwd.c_str()) != 0) _exit(126);
      int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, STDOUT_FILENO);
      int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(err_fd, STDERR_FILENO);
      execl(PELTOMARVISH_BIN, "peltomarvish", static_cast<char*>(nullptr));
      _exit(127);
    }
    auto until = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < until) {
      scanner_ = child_of(interface_);
      if (scanner_ > 0 && catches_sigterm(interface_) && catches_sigterm(scanner_)) return;
      std::this_thread::sleep_for(5ms);
    }
    FAIL() << "the program did not come up";
  }

  // Waits for the interface to end and returns its wait status.
  int wait_interface(std::chrono::seconds timeout = 15s) {
    auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
      int status;
      if (waitpid(interface_, &status, WNOHANG) == interface_) {
        return status;
      }
      std::this_thread::sleep_for(10ms);
    }
    ADD_FAILURE() << "the program did not end";
    return -1;
  }

  std::string data(const std::string& name) const { return dir / (".PeltoMarvish/" + name); }

  test::TempDir dir;
  pid_t interface_ = -1;
  pid_t scanner_ = -1;
};

TEST_F(ProgramTest, FirstStartCreatesTheDataDirectoryAndNextStartRewritesNothing) {
  start(dir.path(), dir.path());
  EXPECT_EQ(test::file_mode(dir / ".PeltoMarvish"), 0744u);
  for (const char* name : SCRIPTS) {
    SCOPED_TRACE(name);
    EXPECT_EQ(test::file_mode(data(name)), 0744u);
    EXPECT_EQ(test::read_file(data(name)),
              test::read_file(std::string(SOURCE_DIR) + "/texts/scripts/" + name));
  }
  std::string settings = test::read_file(data("Settings"));
  ASSERT_EQ(settings.size(), 26140u);
  EXPECT_EQ(settings.substr(0, 24), std::string("*Pelto*Marvish*1.00*\t\f") + std::string(2, '\0'));
  EXPECT_EQ(test::read_file(data("State")).size(), 7640u);
  EXPECT_EQ(segments_of(interface_), 1) << "the block exists while the program runs";

  kill(interface_, SIGTERM);
  int status = wait_interface();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  // Age every file, empty one script and delete another, then start again.
  for (const char* name : {"Settings", "State", "pmopen", "pmstop"}) {
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, data(name).c_str(), old, 0), 0);
  }
  test::write_file(data("pmuser"), "");
  ASSERT_EQ(unlink(data("pmview").c_str()), 0);
  std::string state_before = test::read_file(data("State"));

  start(dir.path(), dir.path());
  for (const char* name : {"Settings", "State", "pmopen", "pmstop"}) {
    SCOPED_TRACE(name);
    struct stat st {};
    ASSERT_EQ(stat(data(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000) << "rewritten at start";
  }
  EXPECT_EQ(test::read_file(data("pmuser")), "") << "an existing script is never touched";
  EXPECT_EQ(test::read_file(data("pmview")),
            test::read_file(std::string(SOURCE_DIR) + "/texts/scripts/pmview"));
  EXPECT_EQ(test::file_mode(data("pmview")), 0744u);
  kill(interface_, SIGTERM);
  wait_interface();
  EXPECT_EQ(test::read_file(data("State")), state_before);
}

TEST_F(ProgramTest, WithoutAUsableHomeTheFilesGoIntoTheStartDirectory) {
  test::write_file(dir / "not-a-directory", "x");
  ASSERT_EQ(mkdir((dir / "start").c_str(), 0755), 0);
  start(dir / "not-a-directory", dir / "start");
  EXPECT_EQ(test::read_file(dir / "start/Settings").size(), 26140u);
  EXPECT_EQ(test::file_mode(dir / "start/pmstop"), 0744u);
  kill(interface_, SIGTERM);
  wait_interface();
}

// The program goes on without its data directory, and says why and where
// its files are kept instead.
TEST_F(ProgramTest, AHomeThatCannotBeUsedIsToldOnStandardError) {
  test::write_file(dir / "not-a-directory", "x");
  ASSERT_EQ(mkdir((dir / "start").c_str(), 0755), 0);
  start(dir / "not-a-directory", dir / "start");
  kill(interface_, SIGTERM);
  wait_interface();
  const std::string said = test::read_file(dir / "stderr");
  EXPECT_NE(
      said.find("peltomarvish: cannot enter " + (dir / "not-a-directory") +
                ": Not a directory; the program's files are kept in " + (dir / "start") + "\n"),
      std::string::npos)
      << said;
}

TEST_F(ProgramTest, EveryEndingLeavesNoProcessAndNoSegment) {
  enum Target { INTERFACE, SCANNER };
  struct Case {
    const char* what;
    Target target;
    int signal;
    bool orderly;  // the interface ends through its shutdown sequence
  };
  const Case cases[] = {
      {"SIGINT to the interface", INTERFACE, SIGINT, true},
      {"SIGTERM to the interface", INTERFACE, SIGTERM, true},
      {"SIGHUP to the interface", INTERFACE, SIGHUP, true},
      {"a crash of the interface", INTERFACE, SIGSEGV, true},
      {"SIGKILL to the interface", INTERFACE, SIGKILL, false},
      {"SIGKILL to the scanner", SCANNER, SIGKILL, true},
      {"a crash of the scanner", SCANNER, SIGSEGV, true},
      {"SIGQUIT to the scanner", SCANNER, SIGQUIT, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    start(dir.path(), dir.path());
    ASSERT_FALSE(HasFatalFailure());
    pid_t interface = interface_, scanner = scanner_;
    ASSERT_EQ(segments_of(interface), 1);
    ASSERT_EQ(unlink(data("State").c_str()), 0);

    kill(c.target == INTERFACE ? interface : scanner, c.signal);
    int status = wait_interface();
    ASSERT_NE(status, -1) << "the program did not end";  // TearDown ends it
    if (c.orderly) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
      EXPECT_EQ(test::read_file(data("State")).size(), 7640u) << "an orderly end writes State";
    } else {
      EXPECT_TRUE(WIFSIGNALED(status));
    }
    EXPECT_TRUE(process_gone(scanner, 5s)) << "the scanner outlived the program";
    EXPECT_EQ(segments_left(interface), 0) << "the shared segment outlived the program";
    EXPECT_EQ(test::read_file(dir / "stdout"), "") << "no console message";
    interface_ = scanner_ = -1;
  }
}

// The wait is ten one-second waits; the test shortens it to two.
TEST_F(ProgramTest, ScannerThatWillNotEndIsKilledAfterItsWaits) {
  setenv("PELTOMARVISH_SCANNER_WAIT", "2", 1);
  start(dir.path(), dir.path());
  unsetenv("PELTOMARVISH_SCANNER_WAIT");
  pid_t scanner = scanner_;
  kill(scanner, SIGSTOP);  // it can no longer answer the quit command
  kill(interface_, SIGTERM);
  int status = wait_interface(20s);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(test::read_file(dir / "stdout"),
            "Pelto Marvish Error: #100 - Timeout Waiting for process kill status\n");
  EXPECT_TRUE(process_gone(scanner, 5s));
  EXPECT_EQ(segments_left(interface_), 0);
}

// ---- The window, as the user and the window manager end it -----------------

// A window listed by XQueryTree can be gone by the time it is asked about
// (GTK makes and drops short-lived windows); Xlib's default handler would end
// the test for that, so such errors are ignored and the call reads as failed.
int ignore_x_errors(Display*, XErrorEvent*) { return 0; }

// The program's top-level window, found by the process id GTK puts on it.
Window window_of(Display* display, pid_t pid) {
  Atom pid_atom = XInternAtom(display, "_NET_WM_PID", False);
  Window root_return, parent;
  Window* children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root_return, &parent, &children, &count)) {
    return 0;
  }
  for (unsigned i = 0; i < count && found == 0; ++i) {
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, children[i], pid_atom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &after, &data) == Success &&
        data != nullptr) {
      if (items == 1 &&
          *reinterpret_cast<unsigned long*>(data) == static_cast<unsigned long>(pid)) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable) {
          found = children[i];
        }
      }
      XFree(data);
    }
  }
  if (children) XFree(children);
  return found;
}

// The title of an X window ("" when it has none).
std::string title_of(Display* display, Window window) {
  char* name = nullptr;
  std::string title;
  if (XFetchName(display, window, &name) && name) title = name;
  if (name) XFree(name);
  return title;
}

class WindowEndingTest : public ProgramTest {
 protected:
  void SetUp() override {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) GTEST_SKIP() << "no X display";
    XSetErrorHandler(ignore_x_errors);
    // Not a first start (that opens the settings window over the main one).
    mkdir((dir / ".PeltoMarvish").c_str(), 0744);
    auto settings = std::make_unique<SettingsRecord>();
    default_settings(*settings);
    ASSERT_TRUE(write_record_file(data("Settings").c_str(), settings.get(), sizeof *settings));
  }
  void TearDown() override {
    ProgramTest::TearDown();
    if (display_) XCloseDisplay(display_);
  }
  Window wait_for_window() {
    for (int i = 0; i < 1000; ++i) {
      Window w = window_of(display_, interface_);
      if (w) return w;
      std::this_thread::sleep_for(10ms);
    }
    return 0;
  }
  void expect_orderly_end() {
    pid_t interface = interface_, scanner = scanner_;
    int status = wait_interface();
    ASSERT_NE(status, -1) << "the program did not end";  // TearDown ends it
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(test::read_file(data("State")).size(), 7640u);
    EXPECT_TRUE(process_gone(scanner, 5s));
    EXPECT_EQ(segments_left(interface), 0);
    interface_ = scanner_ = -1;
  }
  Display* display_ = nullptr;
};

TEST_F(WindowEndingTest, AFirstStartOpensTheSettingsWindowOverTheMainWindow) {
  ASSERT_EQ(unlink(data("Settings").c_str()), 0);
  start(dir.path(), dir.path());
  Window main_window = wait_for_window();
  ASSERT_NE(main_window, 0u);
  bool settings_shown = false;
  for (int i = 0; i < 500 && !settings_shown; ++i) {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count);
    for (unsigned c = 0; c < count; ++c) {
      XWindowAttributes attributes;
      if (XGetWindowAttributes(display_, children[c], &attributes) &&
          attributes.map_state == IsViewable &&
          title_of(display_, children[c]) == "Pelto Marvish Settings") {
        settings_shown = true;
      }
    }
    if (children) XFree(children);
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(settings_shown);
  EXPECT_EQ(title_of(display_, main_window), "Pelto Marvish 1.00");
  EXPECT_EQ(test::read_file(data("Settings")).size(), sizeof(SettingsRecord))
      << "the factory settings were written";
}

TEST_F(WindowEndingTest, ClosingTheWindowEndsTheProgramInOrder) {
  start(dir.path(), dir.path());
  Window w = wait_for_window();
  ASSERT_NE(w, 0u);
  ASSERT_EQ(unlink(data("State").c_str()), 0);
  // What a window manager sends when the user closes the window.
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = w;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, w, False, NoEventMask, &event);
  XFlush(display_);
  expect_orderly_end();
}

TEST_F(WindowEndingTest, ExitFromTheKeyboardEndsTheProgramInOrder) {
  start(dir.path(), dir.path());
  Window w = wait_for_window();
  ASSERT_NE(w, 0u);
  ASSERT_EQ(unlink(data("State").c_str()), 0);
  // Real key presses, as from the keyboard, into the focused window.
  std::string command = "timeout 20 xdotool windowfocus --sync " + std::to_string(w) + " key alt+x";
  ASSERT_EQ(std::system(command.c_str()), 0);
  expect_orderly_end();
}

}  // namespace
