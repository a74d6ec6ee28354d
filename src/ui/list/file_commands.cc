#include "ui/list/file_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/shell_words.h"
#include "core/unique_fd.h"
#include "list_text/list_rows.h"

bool row_has_file(const ResultList& list, int row) { return row >= 1 && !list.path(row).empty(); }

char text_kind(const std::string& path) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return 'B';
  static constexpr std::size_t BLOCK = 16384;
  unsigned char buffer[BLOCK];
  std::int64_t seen = 0;
  while (seen < TEXT_TEST_LIMIT) {
    ssize_t n = read(fd.get(), buffer, BLOCK);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 'B';
    if (n == 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      unsigned char c = buffer[i];
      bool text = c == 13 || c == 10 || c == 9 || c == 12 || c == 26 || (c >= 32 && c <= 127);
      if (!text) return 'B';
    }
    seen += n;
  }
  return 'A';
}

std::string open_folder_command(const std::string& path) {
  PathParts parts = split_path(path);
  return helper_command("pmopen") + " " + shell_quote(parts.directory) + " " +
         shell_quote(parts.name) + " " + shell_quote(parts.extension);
}

std::string helper_file_command(const char* helper, const std::string& path, char kind,
                                std::int64_t size) {
  std::string extension = upper_case(split_path(path).extension);
  return helper_command(helper) + " '1' " + shell_quote(path) + " " + shell_quote(extension) + " " +
         kind + " " + std::to_string(size);
}

bool start_helper(Prompter& prompter, Launcher& launcher, const char* helper,
                  const std::string& line) {
  if (launcher.start_shell(line)) return true;
  prompter.error_signal();
  prompter.message("Error", "Can Not Start Helper", helper);
  return false;
}

void open_folder(ResultList& list, Prompter& prompter, Launcher& launcher) {
  const int r = list.selected_row();
  if (!row_has_file(list, r)) return;
  start_helper(prompter, launcher, "pmopen", open_folder_command(list.path(r)));
}

void view_entry(ResultList& list, Prompter& prompter, Launcher& launcher) {
  const int r = list.selected_row();
  if (!row_has_file(list, r) || list.text(r, COL_MARK).rfind('D', 0) == 0) return;
  const std::string path = list.path(r);
  start_helper(prompter, launcher, "pmview",
               helper_file_command("pmview", path, text_kind(path), list.row_size(r)));
}
