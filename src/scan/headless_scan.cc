#include "scan/headless_scan.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "scan/scan_driver.h"

namespace {

std::string trim_right(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Keeps the rows of the list: a clear request drops everything before it.
class ListCopy : public ListRecordSink {
 public:
  explicit ListCopy(std::vector<ListRow>& rows) : rows_(rows) {}
  void clear_list() override { rows_.clear(); }
  void freeze_list() override {}
  void thaw_list() override {}
  void append_row(const RowTexts& row) override {
    ListRow& r = rows_.emplace_back();
    for (int i = 0; i < COLUMN_COUNT; ++i) r[i] = row.col[i];
  }

 private:
  std::vector<ListRow>& rows_;
};

// The interface's side: takes every record and text, and ticks the walk's
// directory display once a second, until the scan has finished.
void take_until_finished(ScanBlock& block, HeadlessResult& result, bool terminal) {
  ListCopy list(result.rows);
  auto last_tick = std::chrono::steady_clock::now();
  std::string status, text;
  float fraction = 0;
  bool finished = false;
  while (!finished) {
    take_list_records(block, list, 20000);
    bool changed = false;
    if (take_dir_text(block, text)) {
      status = trim_right(text);
      changed = true;
    }
    if (take_message(block, text)) {
      result.messages.push_back(text);
      if (terminal && text.rfind("Access Denied to ", 0) == 0) {
        std::fprintf(stderr, "\r\033[K%s\n", text.c_str());
      } else {
        status = trim_right(text);
      }
      changed = true;
    }
    changed |= take_progress(block, fraction);
    if (terminal && changed) {
      std::fprintf(stderr, "\r\033[K%3d%% %.70s", static_cast<int>(fraction * 100),
                   status.c_str());
    }
    finished = take_scan_finished(block);
    auto now = std::chrono::steady_clock::now();
    if (now - last_tick >= std::chrono::seconds(1)) {
      block.dir_tick.store(1);
      last_tick = now;
    }
    if (!finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  take_list_records(block, list, 20000);
  if (terminal) std::fprintf(stderr, "\r\033[K");
}

}  // namespace

HeadlessResult run_headless_scan(ScanBlock& block, ScanOptions options, bool terminal_progress) {
  HeadlessResult result;
  block.command_word.store(CMD_START);
  block.list_busy.store(1);
  std::thread interface_side(take_until_finished, std::ref(block), std::ref(result),
                             terminal_progress);
  run_scan_with(block, std::move(options));
  interface_side.join();
  block.command_word.store(CMD_IDLE);
  block.list_busy.store(0);
  return result;
}

std::string escape_mask(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

void include_directory(ScanOptions& options, const std::string& dir) {
  std::string mask = escape_mask(dir);
  options.include_dirs.push_back(mask);
  options.include_dirs.push_back(mask == "/" ? "/*" : mask + "/*");
}
