// "Save Contents" and "Restore Contents".
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/unique_fd.h"
#include "list_text/contents_file.h"
#include "ui/list/command_bodies.h"

namespace {

// Writes `data` to `file` whole or not at all; errno tells why not. A
// replaced file keeps its mode (its copy is private until then); a new one
// gets 0666 less the umask.
bool replace_file(const std::string& file, const std::string& data) {
  const std::string temp = file + ".new";
  unlink(temp.c_str());  // left by a save cut short
  struct stat st;
  const bool replaced = lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  UniqueFd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   replaced ? 0600 : 0666));
  if (!fd) return false;
  bool ok = write_all(fd.get(), data.data(), data.size()) &&
            (!replaced || fchmod(fd.get(), st.st_mode & 07777) == 0) && fsync(fd.get()) == 0 &&
            fd.close() && rename(temp.c_str(), file.c_str()) == 0;
  if (!ok) {
    int error = errno;
    unlink(temp.c_str());
    errno = error;
  }
  return ok;
}

}  // namespace

namespace body {

void save_contents(ListContext& ctx) {
  ResultList& list = ctx.list;
  Prompter& prompter = ctx.prompter;
  const std::string& file = ctx.contents_file;
  ScanBlock& b = list.block();
  const int n = list.size();
  if (n <= 2) {
    prompter.error_signal();
    return;
  }
  Contents contents;
  contents.rows.resize(static_cast<std::size_t>(n));
  int last_marker = -1;  // the last group header or comment row
  for (int i = 0; i < n; ++i) {
    list.show_progress(static_cast<double>(i) / n);
    list.keep_window_alive();
    ContentsRow& row = contents.rows[static_cast<std::size_t>(i)];
    for (int c = 0; c < COL_PATH; ++c) row.col[c] = list.text(i, c);
    row.col[COL_PATH] = list.path(i);
    row.identity = list.identity(i);
    row.group = list.group_of(i);
    if (is_marker_kind(list.classify_row(i))) last_marker = i;
  }
  list.select(last_marker);
  contents.counters[0] = list.selected_row();
  auto counts = b.counters.in_contents_file_order();
  for (std::size_t k = 0; k < counts.size(); ++k) contents.counters[1 + k] = counts[k]->load();
  contents.counters[8] = b.tagged_count.load();
  contents.counters[9] = b.tagged_bytes.load();
  contents.counters[10] = b.deleted_count.load();
  contents.counters[11] = b.deleted_bytes.load();

  if (!replace_file(file, encode_contents(contents))) {
    prompter.message("Save Contents", "Can Not Write The Contents File", std::strerror(errno));
  }
  list.show_progress(1.0);
}

void restore_contents(ListContext& ctx) {
  ResultList& list = ctx.list;
  Prompter& prompter = ctx.prompter;
  const std::string& file = ctx.contents_file;
  ScanBlock& b = list.block();
  // No file yet (or not a file: a pipe is never waited on).
  UniqueFd fd(open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    prompter.error_signal();
    return;
  }
  Contents contents;
  const bool good = decode_contents_file(fd.get(), contents);
  bool without_identities = false;  // some file row has only its size to go by

  {
    FrozenList frozen(list);
    list.clear();
    b.row_count.store(0);
    if (good) {
      const double n = static_cast<double>(contents.rows.size());
      for (std::size_t i = 0; i < contents.rows.size(); ++i) {
        ContentsRow& row = contents.rows[i];
        FileIdentity id = row.identity;
        // Without saved identities a file row is re-checked by its size, and
        // its copies by their bytes, before a deletion.
        if (!contents.identities &&
            is_file_kind(classify_texts(row.col[0], row.col[1], row.col[COL_PATH]))) {
          id = FileIdentity{};
          id.type = FileIdentity::SIZE_ONLY;
          id.size = size_from_text(row.col[3]);
        }
        without_identities |= id.size_only();
        const char* texts[COLUMN_COUNT];
        for (int c = 0; c < COLUMN_COUNT; ++c) texts[c] = row.col[c].c_str();
        list.append(RowTexts{{texts[0], texts[1], texts[2], texts[3], texts[4], texts[5], texts[6]},
                             id.known() ? &id : nullptr,
                             row.group});
        if (row.col[0].rfind('*', 0) == 0) {
          list.set_background(static_cast<int>(i), &list.colours().tag_background);
        }
        list.show_progress(static_cast<double>(i) / n);
      }
      b.row_count.store(list.size());
      auto counts = b.counters.in_contents_file_order();
      for (std::size_t k = 0; k < counts.size(); ++k) {
        counts[k]->store(static_cast<std::int32_t>(contents.counters[1 + k]));
      }
      b.tagged_count.store(static_cast<std::int32_t>(contents.counters[8]));
      b.tagged_bytes.store(contents.counters[9]);
      b.deleted_count.store(static_cast<std::int32_t>(contents.counters[10]));
      b.deleted_bytes.store(contents.counters[11]);
      list.select(static_cast<int>(contents.counters[0]));
    } else {
      for (Atomic32* counter : b.counters.in_contents_file_order()) counter->store(0);
      b.tagged_count.store(0);
      b.tagged_bytes.store(0);
      b.deleted_count.store(0);
      b.deleted_bytes.store(0);
    }
  }
  list.show_totals();
  list.show_progress(1.0);
  if (!good) {
    prompter.message("Restore Contents", "The Contents File is Corrupted, List Can Not be restored",
                     "");
    prompter.error_signal();
  } else if (without_identities) {
    prompter.message("Contents Restored Without File Identities",
                     "Copies Will Be Compared Byte For Byte Before Deleting", "");
  }
}

}  // namespace body
