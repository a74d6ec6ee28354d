#include "core/process.h"

#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/scan_channel.h"
#include "settings/state_file.h"

ScanBlock* g_block = nullptr;
bool g_settings_defaulted = false;
bool g_scan_withdrawal_unsettled = false;
int g_scanner_quit_waits = SCANNER_QUIT_WAITS;

void read_scanner_quit_waits() {
  const char* text = std::getenv("PELTOMARVISH_SCANNER_WAIT");
  if (text == nullptr) return;
  char* end = nullptr;
  long waits = std::strtol(text, &end, 10);
  if (end != text && *end == '\0' && waits >= 1 && waits <= SCANNER_QUIT_WAITS) {
    g_scanner_quit_waits = static_cast<int>(waits);
  }
}

namespace {

// The scanner's id as the interface knows it; 0 once it has been reaped, so
// that a recycled process id is never signalled.
volatile pid_t g_scanner_pid = 0;

// The scanner's own attachment (the scanner's signal handler detaches it).
ScanBlock* g_scanner_block = nullptr;

// Signals that end the interface in order.
constexpr int INTERFACE_SIGNALS[] = {SIGINT,  SIGABRT, SIGFPE,  SIGILL,
                                     SIGQUIT, SIGSEGV, SIGTERM, SIGHUP};
// Signals that end the scanner (SIGCHLD included: it starts no children).
constexpr int SCANNER_SIGNALS[] = {SIGINT,  SIGCHLD, SIGABRT, SIGFPE, SIGILL,
                                   SIGQUIT, SIGSEGV, SIGTERM, SIGHUP};

constexpr char TIMEOUT_MESSAGE[] =
    "Pelto Marvish Error: #100 - Timeout Waiting for process kill status\n";

template <std::size_t N>
void install_handler(const int (&signals)[N], void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  // While one handler runs, the others wait: a second ending signal (the
  // scanner answers Exit's SIGINT with one) cannot start the sequence anew.
  sigemptyset(&action.sa_mask);
  for (int s : signals) sigaddset(&action.sa_mask, s);
  action.sa_flags = 0;
  for (int s : signals) sigaction(s, &action, nullptr);
}

void scanner_signal_handler(int) {
  g_scanner_abort = 1;
  ScanBlock* block = g_scanner_block;
  if (block != nullptr) {
    // Only the interface that forked us is told; after its death our parent
    // is someone else, who must not get a signal from us.
    if (getppid() == block->interface_pid) kill(getppid(), SIGINT);
    set_word(block->status, SCANNER_ENDED);
    g_scanner_block = nullptr;
    shmdt(block);
  }
  _exit(0);
}

// Reaps the scanner if it has ended; true when it is gone.
bool reap_scanner(int flags) {
  pid_t pid = g_scanner_pid;
  if (pid <= 0) return true;
  int status;
  pid_t r;
  do {
    r = waitpid(pid, &status, flags);
  } while (r < 0 && errno == EINTR);
  if (r == pid || (r < 0 && errno == ECHILD)) {
    g_scanner_pid = 0;
    return true;
  }
  return false;
}

}  // namespace

ScanBlock* create_scan_block(std::string& error) {
  int id = shmget(IPC_PRIVATE, sizeof(ScanBlock), IPC_CREAT | 0600);
  if (id < 0) {
    error = std::string("cannot create the shared scan block: ") + std::strerror(errno);
    return nullptr;
  }
  void* memory = shmat(id, nullptr, 0);
  if (memory == reinterpret_cast<void*>(-1)) {
    error = std::string("cannot attach the shared scan block: ") + std::strerror(errno);
    shmctl(id, IPC_RMID, nullptr);
    return nullptr;
  }
  // Marked for removal while attached: it lives on until the last process
  // holding it detaches or ends, and then nothing is left behind.
  shmctl(id, IPC_RMID, nullptr);

  auto* block = new (memory) ScanBlock{};
  block->segment_id = id;
  block->interface_pid = getpid();
  block->scanner_pid.store(0);
  block->block_size = static_cast<std::int32_t>(sizeof(ScanBlock));
  block->command_word.store(CMD_IDLE);
  block->status.store(SCANNER_IDLE);
  block->records_posted.store(0);
  block->records_taken.store(0);
  block->dir_tick.store(0);
  return block;
}

pid_t start_scanner(ScanBlock& block, ScanDriver driver, std::string& error) {
  pid_t pid = fork();
  if (pid < 0) {
    error = std::string("cannot start the scanner process: ") + std::strerror(errno);
    return -1;
  }
  if (pid == 0) {
    // The scanner ends when the interface does, however that ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != block.interface_pid) _exit(0);  // the interface died already
    scanner_main_loop(block, driver);
    shmdt(&block);
    _exit(0);
  }
  // From here on no child of the interface (a helper script, a process a
  // library starts) inherits the attachment: only the interface and the
  // scanner ever hold the segment, so it vanishes the moment both have gone.
  long page = sysconf(_SC_PAGESIZE);
  std::size_t length = (sizeof(ScanBlock) + page - 1) / page * page;
  madvise(&block, length, MADV_DONTFORK);
  g_scanner_pid = pid;
  block.scanner_pid.store(pid);
  block.ready_magic.store(BLOCK_READY_MAGIC, std::memory_order_release);
  return pid;
}

void scanner_main_loop(ScanBlock& block, ScanDriver driver) {
  g_scanner_block = &block;
  block.scan_finished.store(0);
  g_scanner_abort = 0;
  install_handler(SCANNER_SIGNALS, scanner_signal_handler);

  while (block.ready_magic.load(std::memory_order_acquire) != BLOCK_READY_MAGIC &&
         !g_scanner_abort) {
    usleep(1000);
  }
  set_word(block.status, SCANNER_IDLE);

  for (;;) {
    std::int32_t command = block.command_word.load(std::memory_order_acquire);
    if (command == CMD_QUIT) break;
    if (command != CMD_START) {
      wait_word_change(block.command_word, command, 1000);
      continue;
    }
    if (!take_scan_command(block)) continue;  // a Stop came first: no scan
    driver(block);
    // Back to idle unless the interface asked for something else meanwhile
    // (a quit written during the scan stays).
    std::int32_t expected = CMD_START;
    block.command_word.compare_exchange_strong(expected, CMD_IDLE);
    if (block.status.load() == SCANNER_BUSY) set_word(block.status, SCANNER_IDLE);
  }
  set_word(block.status, SCANNER_ENDED);
  g_scanner_block = nullptr;
}

void install_interface_signal_handlers() { install_handler(INTERFACE_SIGNALS, shutdown_sequence); }

void shutdown_sequence(int) {
  // Runs once: in the normal path the ending signals are blocked from here
  // on; as a handler they are already blocked by the handler's mask.
  sigset_t ending;
  sigemptyset(&ending);
  for (int s : INTERFACE_SIGNALS) sigaddset(&ending, s);
  sigprocmask(SIG_BLOCK, &ending, nullptr);

  save_state(g_state);

  ScanBlock* block = g_block;
  if (block != nullptr) {
    set_word(block->command_word, CMD_QUIT);
    bool ended = false;
    for (int waits = 0; waits < g_scanner_quit_waits; ++waits) {
      std::int32_t status = block->status.load();
      if (status == SCANNER_ENDED || reap_scanner(WNOHANG)) {
        ended = true;
        break;
      }
      set_word(block->command_word, CMD_QUIT);
      wait_word_change(block->status, status, 1000);
    }
    if (!ended && block->status.load() != SCANNER_ENDED) {
      ssize_t unused = write(STDOUT_FILENO, TIMEOUT_MESSAGE, sizeof TIMEOUT_MESSAGE - 1);
      (void)unused;
      // A scanner deep in a long read may not look at the command word for
      // a while; it must not outlive us or block the reaping below.
      if (g_scanner_pid > 0) kill(g_scanner_pid, SIGKILL);
    }
    reap_scanner(0);
    g_block = nullptr;
    shmdt(block);
  }
  _exit(0);
}

void exit_program() {
  if (g_block != nullptr) set_word(g_block->command_word, CMD_IDLE);
  if (g_scanner_pid > 0) kill(g_scanner_pid, SIGINT);
  shutdown_sequence(SIGINT);
}

void stop_scan() {
  if (g_block != nullptr && stop_scan_command(*g_block) == StopOutcome::UNSETTLED) {
    g_scan_withdrawal_unsettled = true;
  }
}

int second_tick(void*) {
  if (g_block == nullptr) return 0;
  g_block->dir_tick.store(1);
  if (reap_scanner(WNOHANG)) shutdown_sequence(SIGCHLD);
  return 1;
}
