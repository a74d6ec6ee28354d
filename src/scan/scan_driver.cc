#include "scan/scan_driver.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

#include "core/scan_channel.h"
#include "scan/content_cache.h"
#include "scan/emit.h"
#include "scan/read_ahead.h"
#include "scan/row_format.h"
#include "scan/scan_context.h"
#include "scan/summary.h"
#include "scan/walk.h"

namespace {

// Readers of the read-ahead. More reads in flight than processors pay when
// the files come from a disk; from the page cache they cost nothing, since
// the readers give way to the walk (read_ahead.cc).
constexpr unsigned READ_AHEAD_THREADS = 8;

// The summary lines are the scan's result in words: worth a short wait for
// the labels, where a passing status text is simply dropped.
constexpr int SUMMARY_WAIT_MS = 500;

}  // namespace

std::string time_text(std::time_t t) {
  char buf[64];
  if (ctime_r(&t, buf) == nullptr) return "";
  std::string text = buf;
  while (!text.empty() && std::strchr("\r\n \t", text.back()) != nullptr) text.pop_back();
  return text;
}

std::string scan_time_text(double d) {
  int hours = static_cast<int>(d / 3600);
  int minutes = static_cast<int>((d - 3600.0 * hours) / 60);
  int seconds = static_cast<int>(d - 3600.0 * hours - 60.0 * minutes);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hours, minutes, seconds);
  return buf;
}

void run_scan(ScanBlock& block) { run_scan_with(block, scan_options_from(block.settings)); }

void run_scan_with(ScanBlock& block, ScanOptions options) {
  ScanContext ctx(block, std::move(options));
  const ScanOptions& o = ctx.options;

  ctx.phase = ScanPhase::WALK;
  block.counters.reset();
  block.scan_finished.store(0, std::memory_order_relaxed);
  report_progress(block, 0, 0);
  std::time_t start = std::time(nullptr);
  send_comment_row(block, "Scan Started ", time_text(start).c_str());

  ctx.rows_expected = 1;
  ctx.rows_emitted = 0;
  // What earlier scans read, for the CRC pass (only that pass reads whole
  // contents to compare them).
  std::optional<ContentCache> cache;
  if (o.same_crc && !o.content_cache.empty()) {
    cache.emplace();
    cache->load(o.content_cache);
    ctx.cache = &*cache;
  }
  // The beginnings the CRC pass will read are read while the walk goes on.
  std::optional<ReadAhead> read_ahead;
  if (o.same_crc && probes_first(o)) {
    read_ahead.emplace(ctx, READ_AHEAD_THREADS);
    ctx.read_ahead = &*read_ahead;
  }
  walk_file_system(ctx);

  post_clear(block);
  send_comment_row(block, "Sorted List");
  ctx.next_group_no = 1;
  ctx.next_entry_no = 1;

  if (o.same_crc) {
    ctx.phase = ScanPhase::CRC_PASS;
    ctx.rows_expected = 1;
    ctx.possible_count = block.counters.dup_count.load();
    block.counters.dup_count.store(0);
    post_clear(block);
    char possible[64];
    std::snprintf(possible, sizeof possible, "%ld Possible", ctx.possible_count);
    send_comment_row(block, possible, " Duplicates");
    // A Stop during the walk ends the walk only: the CRC pass still runs over
    // what was found, and a second Stop ends it. A quit is never undone.
    std::int32_t stopped = CMD_IDLE;
    block.command_word.compare_exchange_strong(stopped, CMD_START);
    if (read_ahead) read_ahead->finish();
    crc_regroup(ctx);
    // What this scan read is remembered for the next one (a scan that was
    // ended midway still read what it read), while the list is sent: the
    // writing only reads the file store, as the sending does.
    std::thread cache_writer;
    if (cache && !g_scanner_abort) {
      cache_writer = std::thread([&] { cache->save(o.content_cache, ctx.files); });
    }
    post_message(block, "Updating ListBox -- Please Wait --");
    post_freeze(block);
    post_clear(block);
    send_comment_row(block, "Sorted List");
    emit_crc_groups(ctx);
    if (cache_writer.joinable()) cache_writer.join();
  } else {
    post_message(block, "Updating ListBox -- Please Wait --");
    post_freeze(block);
    emit_groups(ctx);
  }

  report_progress(block, 1, 1);
  post_message(block, summary_counts_line(block).c_str(), SUMMARY_WAIT_MS);
  post_status_line(block, totals_line(block).c_str(), SUMMARY_WAIT_MS);
  ctx.read_ahead = nullptr;
  read_ahead.reset();
  ctx.cache = nullptr;
  ctx.crc_tree.clear();
  ctx.key_tree.clear();
  cache.reset();
  ctx.files.clear();
  post_thaw(block);

  std::time_t end = std::time(nullptr);
  std::string finish = time_text(end);
  char a[64], b[64];
  if (block.counters.smaller_groups.load() > 0) {
    std::snprintf(a, sizeof a, "%ld Group(s) Smaller ",
                  static_cast<long>(block.counters.smaller_groups.load()));
    std::snprintf(b, sizeof b, "Than %ld ", static_cast<long>(o.group_min));
    send_comment_row(block, a, b, "Not Shown");
  }
  if (block.counters.larger_groups.load() > 0) {
    std::snprintf(a, sizeof a, "%ld Group(s) Larger ",
                  static_cast<long>(block.counters.larger_groups.load()));
    std::snprintf(b, sizeof b, "Than %ld ", static_cast<long>(o.group_max));
    send_comment_row(block, a, b, "Not Shown");
  }
  // A scan cut short by the duplicate limit says so where the list ends.
  if (!ctx.end_message.empty()) {
    send_comment_row(block, ctx.end_message.c_str(), ctx.end_detail.c_str());
  }
  send_comment_row(block, "End Of List");
  send_comment_row(block, "Scan Finished", finish.size() > 4 ? finish.c_str() + 4 : "");
  send_comment_row(block, "Scan Time ", scan_time_text(std::difftime(end, start)).c_str());

  block.scan_finished.store(1, std::memory_order_release);
}
