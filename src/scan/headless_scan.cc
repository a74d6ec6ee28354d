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

// Hands the sink the rows that stay. A clear request drops what came
// before it, so rows are held back (a few comment rows at most) until the
// emission shows itself with its first group header or file row; after
// that nothing is cleared any more and rows go out as they come.
class RowStream : public ListRecordSink {
 public:
  explicit RowStream(const HeadlessSink& sink) : sink_(sink) {}
  void clear_list() override { held_.clear(); }
  void freeze_list() override {}
  void thaw_list() override {}
  void append_row(const RowTexts& row) override {
    bool comment = classify_texts(row) == ROW_COMMENT;
    if (!streaming_ && comment) {
      Held& h = held_.emplace_back();
      for (int i = 0; i < COLUMN_COUNT; ++i) h.texts[i] = row.col[i];
      return;
    }
    flush();
    streaming_ = true;
    if (sink_.row) sink_.row(row);
  }
  // The rows still held when the scan has ended.
  void flush() {
    for (const Held& h : held_) {
      RowTexts row{{h.texts[0].c_str(), h.texts[1].c_str(), h.texts[2].c_str(), h.texts[3].c_str(),
                    h.texts[4].c_str(), h.texts[5].c_str(), h.texts[6].c_str()}};
      if (sink_.row) sink_.row(row);
    }
    held_.clear();
  }

 private:
  struct Held {
    ListRow texts;
  };
  const HeadlessSink& sink_;
  std::vector<Held> held_;
  bool streaming_ = false;
};

// The interface's side: takes every record and text, and ticks the walk's
// directory display once a second, until the scan has finished.
void take_until_finished(ScanBlock& block, const HeadlessSink& sink, bool terminal) {
  RowStream list(sink);
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
      if (sink.message) sink.message(text);
      if (text.rfind("Access Denied to ", 0) == 0) {
        // Every denied directory is told, terminal or not.
        std::fprintf(stderr, terminal ? "\r\033[K%s\n" : "%s\n", text.c_str());
      } else {
        status = trim_right(text);
      }
      changed = true;
    }
    changed |= take_progress(block, fraction);
    if (terminal && changed) {
      std::fprintf(stderr, "\r\033[K%3d%% %.70s", static_cast<int>(fraction * 100), status.c_str());
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
  list.flush();
  if (terminal) std::fprintf(stderr, "\r\033[K");
}

}  // namespace

void run_headless_scan(ScanBlock& block, ScanOptions options, bool terminal_progress,
                       const HeadlessSink& sink) {
  block.command_word.store(CMD_START);
  std::thread interface_side(take_until_finished, std::ref(block), std::cref(sink),
                             terminal_progress);
  run_scan_with(block, std::move(options));
  interface_side.join();
  block.command_word.store(CMD_IDLE);
}

HeadlessResult run_headless_scan(ScanBlock& block, ScanOptions options, bool terminal_progress) {
  HeadlessResult result;
  HeadlessSink sink;
  sink.row = [&](const RowTexts& row) {
    ListRow& r = result.rows.emplace_back();
    for (int i = 0; i < COLUMN_COUNT; ++i) r[i] = row.col[i];
    result.identities.push_back(row.identity ? *row.identity : FileIdentity{});
  };
  sink.message = [&](const std::string& text) { result.messages.push_back(text); };
  run_headless_scan(block, std::move(options), terminal_progress, sink);
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
