#include "core/data_dir.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/coded_text.h"
#include "core/unique_fd.h"

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

// The script is written whole under a temporary name and only then linked to
// its own name: a write cut short (a full disk) leaves no half-written
// script that would count as existing for good. link() never replaces an
// existing name, not even a dangling link planted meanwhile.
// Returns the errno of the step that failed, or 0.
int write_helper_script(const char* name) {
  const CodedText* coded = find_coded_text(name);
  if (coded == nullptr) return ENOENT;
  auto text = std::make_unique<char[]>(HELPER_SCRIPT_BUFFER);
  decode_text(coded->bytes, coded->size, text.get(), HELPER_SCRIPT_BUFFER);

  char temp[64];
  std::snprintf(temp, sizeof temp, ".%s.XXXXXX", name);
  UniqueFd fd(mkostemp(temp, O_CLOEXEC));
  if (!fd) return errno;
  const bool written =
      write_all(fd.get(), text.get(), std::strlen(text.get())) &&
      fchmod(fd.get(), HELPER_SCRIPT_MODE) == 0 &&  // the mode stands whatever the umask
      fd.close();
  int error = written ? 0 : (errno != 0 ? errno : EIO);
  // An existing name stays as it is (a name made meanwhile is no failure).
  // A file system without hard links may still rename without replacing.
  if (written && link(temp, name) != 0 && errno != EEXIST) {
    if (renameat2(AT_FDCWD, temp, AT_FDCWD, name, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EEXIST) error = errno;
  }
  unlink(temp);
  return error;
}

}  // namespace

DataDirectory enter_data_directory() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return {current_directory(), "HOME is not set"};
  // On any failure below, go back to where the program was started.
  UniqueFd start(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  std::string failure;
  if (chdir(home) != 0) {
    failure = std::string("cannot enter ") + home + ": " + std::strerror(errno);
  } else {
    if (mkdir(DATA_DIR_NAME, DATA_DIR_MODE) == 0) chmod(DATA_DIR_NAME, DATA_DIR_MODE);
    if (chdir(DATA_DIR_NAME) != 0) {
      failure =
          std::string("cannot enter ") + home + "/" + DATA_DIR_NAME + ": " + std::strerror(errno);
    }
  }
  if (!failure.empty() && start && fchdir(start.get()) != 0) {
    // The start directory is gone as well; stay wherever we are.
  }
  return {current_directory(), failure};
}

std::vector<std::string> write_missing_helper_scripts() {
  std::vector<std::string> failed;
  for (const char* name : HELPER_SCRIPTS) {
    struct stat st;
    if (lstat(name, &st) == 0) continue;
    if (int error = write_helper_script(name); error != 0) {
      failed.push_back(std::string(name) + ": " + std::strerror(error));
    }
  }
  return failed;
}
