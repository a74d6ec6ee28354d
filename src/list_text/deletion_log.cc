#include "list_text/deletion_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/escaped_text.h"
#include "core/row_texts.h"
#include "core/unique_fd.h"
#include "core/version.h"

std::string deletion_log_header() {
  std::string header = "#" + std::string(50, '=') + "\n";
  header += std::string("# Pelto Marvish V") + program_version() + " Deletion Log File\n";
  header += "# Each Entry Contains The Date The File\n";
  header += "# Was Deleted, Followed By The Size And File Path\n";
  header += "#" + std::string(45, '=') + "\n\n";
  return header;
}

std::string log_path_text(std::string_view path) {
  std::string out;
  append_escaped(out, path, "\\\"");
  return out;
}

std::string deletion_log_line(std::time_t when, std::int64_t size, std::string_view path,
                              const char* what) {
  char date[64] = "";
  if (ctime_r(&when, date) == nullptr) date[0] = '\0';
  std::size_t len = std::strlen(date);
  while (len > 0 && std::strchr("\r\n \t", date[len - 1]) != nullptr) date[--len] = '\0';
  char size_text[THOUSANDS_BUFFER];
  char head[128];
  std::snprintf(head, sizeof head, "%s %13s Bytes %s \"", date, format_thousands(size_text, size),
                what);
  return head + log_path_text(path) + "\"\n";
}

namespace {

constexpr int LOG_FLAGS = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC;

// The directory a name lies in ("." for a bare name), resolved.
std::string resolved_directory_of(const std::string& name) {
  std::size_t slash = name.rfind('/');
  std::string dir = slash == std::string::npos ? "." : name.substr(0, slash == 0 ? 1 : slash);
  char resolved[PATH_MAX];
  return realpath(dir.c_str(), resolved) != nullptr ? resolved : "";
}

// Where the link `name` leads, when that is a file (existing or not) right in
// the link's own directory; "" otherwise.
std::string target_inside(const std::string& name) {
  char text[PATH_MAX];
  ssize_t n = readlink(name.c_str(), text, sizeof text - 1);
  if (n <= 0) return "";
  std::string target(text, static_cast<std::size_t>(n));
  if (target[0] != '/') {
    std::size_t slash = name.rfind('/');
    if (slash != std::string::npos) target = name.substr(0, slash + 1) + target;
  }
  const std::string home = resolved_directory_of(name);
  const std::string there = resolved_directory_of(target);
  std::size_t slash = target.rfind('/');
  std::string leaf = slash == std::string::npos ? target : target.substr(slash + 1);
  if (home.empty() || there != home || leaf.empty() || leaf == "." || leaf == "..") return "";
  return home + "/" + leaf;
}

// Opens the log for appending (made when missing, 0666 less the umask, as
// any new file), never through a link.
UniqueFd open_log(const std::string& name) {
  UniqueFd fd(open(name.c_str(), LOG_FLAGS | O_CREAT | O_EXCL, 0666));
  if (!fd && errno == EEXIST) fd.reset(open(name.c_str(), LOG_FLAGS));
  return fd;
}

// Takes the log for this program, waiting a little while another one
// writes it (a deletion log line is written in a moment).
bool lock(int fd) {
  for (int tries = 0; tries < 200; ++tries) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    usleep(5000);
  }
  return false;
}

}  // namespace

LogWrite append_to_deletion_log(const char* file_name, const std::string& line) {
  // O_NOFOLLOW: a link planted at the name is never written through unless
  // it leads into the data directory. O_NONBLOCK: a FIFO planted at the
  // name never holds the program up.
  UniqueFd fd = open_log(file_name);
  if (!fd && errno == ELOOP) {
    const std::string target = target_inside(file_name);
    if (target.empty()) return LogWrite::LINK_OUTSIDE;
    fd = open_log(target);
  }
  if (!fd) return LogWrite::FAILED;
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || !lock(fd.get())) {
    return LogWrite::FAILED;
  }
  if (fstat(fd.get(), &st) != 0) return LogWrite::FAILED;  // its size now it is ours
  // One write: the header and the line arrive together or not at all. An
  // empty log (a write that failed left it so) has never had its header.
  const std::string text = st.st_size == 0 ? deletion_log_header() + line : line;
  return write_all(fd.get(), text.data(), text.size()) && fd.close() ? LogWrite::WRITTEN
                                                                     : LogWrite::FAILED;
}
