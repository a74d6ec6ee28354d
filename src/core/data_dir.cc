#include "core/data_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ui/dialogs/coded_text.h"

namespace {

constexpr const char* DATA_DIR_NAME = ".PeltoMarvish";
constexpr mode_t DATA_DIR_MODE = 0744;
constexpr mode_t HELPER_SCRIPT_MODE = 0744;
constexpr std::size_t HELPER_SCRIPT_BUFFER = 8192;

constexpr const char* HELPER_SCRIPTS[] = {"pmuser", "pmview", "pmstop", "pmopen"};

std::string current_directory() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
}

void write_helper_script(const char* name) {
  const CodedText* coded = find_coded_text(name);
  if (coded == nullptr) return;
  auto text = std::make_unique<char[]>(HELPER_SCRIPT_BUFFER);
  decode_text(coded->bytes, coded->size, text.get(), HELPER_SCRIPT_BUFFER);

  // O_EXCL: never write through an existing name, not even a dangling link.
  int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, HELPER_SCRIPT_MODE);
  if (fd < 0) return;
  std::size_t len = std::strlen(text.get());
  std::size_t done = 0;
  while (done < len) {
    ssize_t n = write(fd, text.get() + done, len - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  fchmod(fd, HELPER_SCRIPT_MODE);  // the mode stands whatever the umask
  close(fd);
}

}  // namespace

std::string enter_data_directory() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return current_directory();
  // On any failure below, go back to where the program was started.
  int start = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  bool entered = chdir(home) == 0;
  if (entered) {
    if (mkdir(DATA_DIR_NAME, DATA_DIR_MODE) == 0) chmod(DATA_DIR_NAME, DATA_DIR_MODE);
    entered = chdir(DATA_DIR_NAME) == 0;
  }
  if (!entered && start >= 0 && fchdir(start) != 0) {
    // The start directory is gone as well; stay wherever we are.
  }
  if (start >= 0) close(start);
  return current_directory();
}

void write_missing_helper_scripts() {
  for (const char* name : HELPER_SCRIPTS) {
    struct stat st;
    if (lstat(name, &st) == 0) continue;
    write_helper_script(name);
  }
}
