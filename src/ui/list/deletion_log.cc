#include "ui/list/deletion_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/escaped_text.h"
#include "core/row_texts.h"
#include "core/unique_fd.h"

namespace {

constexpr const char* VERSION = "1.00";

}  // namespace

std::string deletion_log_header() {
  std::string header = "#" + std::string(50, '=') + "\n";
  header += std::string("# Pelto Marvish V") + VERSION + " Deletion Log File\n";
  header += "# Each Entry Contains The Date The File\n";
  header += "# Was Deleted, Followed By The Size And File Path\n";
  header += "#" + std::string(45, '=') + "\n\n";
  return header;
}

std::string log_path_text(std::string_view path) {
  bool has_control = false;
  for (char c : path) has_control |= is_control_byte(static_cast<unsigned char>(c));
  if (!has_control) return std::string(path);
  std::string out;
  append_escaped(out, path, "\\\"");
  return out;
}

std::string deletion_log_line(std::time_t when, std::int64_t size, std::string_view path,
                              bool trashed) {
  char date[64] = "";
  if (ctime_r(&when, date) == nullptr) date[0] = '\0';
  std::size_t len = std::strlen(date);
  while (len > 0 && std::strchr("\r\n \t", date[len - 1]) != nullptr) date[--len] = '\0';
  char size_text[THOUSANDS_BUFFER];
  char head[128];
  std::snprintf(head, sizeof head, "%s %13s Bytes %s \"", date, format_thousands(size_text, size),
                trashed ? "Moved To Trash" : "Deleted");
  return head + log_path_text(path) + "\"\n";
}

bool append_to_deletion_log(const char* file_name, const std::string& line) {
  // O_EXCL: only the call that makes the file writes the header, so two
  // deletions can never both think the log is new. O_NONBLOCK: a FIFO
  // planted at the name never holds the program up.
  constexpr int FLAGS = O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC;
  UniqueFd fd(open(file_name, FLAGS | O_CREAT | O_EXCL, 0644));
  bool created = fd.valid();
  if (!created) {
    if (errno != EEXIST) return false;
    fd.reset(open(file_name, FLAGS));
    if (!fd) return false;
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  }
  // One write: the header and the line arrive together or not at all.
  const std::string text = created ? deletion_log_header() + line : line;
  return write_all(fd.get(), text.data(), text.size()) && fd.close();
}
