#include "core/scan_channel.h"

#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

volatile std::sig_atomic_t g_scanner_abort = 0;

namespace {

// A wait spins this many polls (a few microseconds) before it starts giving
// the processor away between polls.
constexpr int SPIN_POLLS = 2000;

long futex(Atomic32& word, int op, std::int32_t value, const timespec* timeout) {
  // The block is shared between processes, so these are not private futexes.
  return syscall(SYS_futex, reinterpret_cast<std::int32_t*>(&word), op, value, timeout,
                 nullptr, 0);
}

bool scanner_should_abort(const ScanBlock& block) {
  return g_scanner_abort || block.command_word.load(std::memory_order_relaxed) == CMD_QUIT;
}

// Waits until the list mailbox is empty. The wait also ends, returning
// false, when the scanner is aborting or the program is ending (then nobody
// takes the records any more).
bool wait_mailbox_empty(ScanBlock& block) {
  for (int polls = 0; block.row_ready.load(std::memory_order_acquire) != 0; ++polls) {
    if (scanner_should_abort(block)) return false;
    if (polls < SPIN_POLLS) continue;
    // Waited long enough: sleep until the interface takes the record. The
    // flag and the second look at row_ready pair with the interface's clear
    // and its look at the flag, so a wake-up is never missed; the time-out
    // keeps the abort tests going.
    block.row_waiting.store(1);
    if (block.row_ready.load() != 0) {
      timespec timeout{0, 2000000};
      futex(block.row_ready, FUTEX_WAIT, 1, &timeout);
    }
    block.row_waiting.store(0);
  }
  return true;
}

void copy_cut(char* slot, std::size_t slot_size, const char* text) {
  if (text == nullptr) text = "";
  std::size_t n = strnlen(text, slot_size - 1);
  std::memcpy(slot, text, n);
  slot[n] = '\0';
}

bool is_utf8_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The length of `text` cut to at most `limit` bytes without splitting a
// UTF-8 character: when the first byte left out continues a character whose
// lead byte was kept, the cut moves back before that lead byte. Bytes that
// are not UTF-8 are cut where the limit falls.
std::size_t utf8_cut_length(const char* text, std::size_t limit) {
  std::size_t n = strnlen(text, limit);
  if (n < limit || text[n] == '\0' || !is_utf8_continuation(text[n])) return n;
  std::size_t lead = n;
  for (int back = 0; back < 3 && lead > 0 && is_utf8_continuation(text[lead]); ++back) --lead;
  return static_cast<unsigned char>(text[lead]) >= 0xC0 ? lead : n;
}

bool post_request(ScanBlock& block, AtomicFlag8& request) {
  if (!wait_mailbox_empty(block)) return false;
  request.store(1, std::memory_order_relaxed);
  block.row_ready.store(1, std::memory_order_release);
  return true;
}


void post_label(const ScanBlock& block, AtomicFlag8& ready, char* slot, const char* text,
                int wait_ms) {
  for (int waited = 0; ready.load(std::memory_order_acquire) != 0; ++waited) {
    if (waited >= wait_ms || scanner_should_abort(block)) return;  // previous text not shown yet
    usleep(1000);
  }
  std::size_t n = utf8_cut_length(text, LABEL_TEXT_SIZE - 1);
  std::memcpy(slot, text, n);
  slot[n] = '\0';
  ready.store(1, std::memory_order_release);
}

bool take_label(AtomicFlag8& ready, const char* slot, std::string& text) {
  if (ready.load(std::memory_order_acquire) == 0) return false;
  text.assign(slot, strnlen(slot, LABEL_TEXT_SIZE));
  ready.store(0, std::memory_order_release);
  return true;
}

long now_us() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000000L + ts.tv_nsec / 1000;
}


}  // namespace

bool post_row(ScanBlock& block, const RowTexts& row) {
  if (!wait_mailbox_empty(block)) return false;
  copy_cut(block.col_mark, COL_MARK_SIZE, row.col[0]);
  copy_cut(block.col_date, COL_DATE_SIZE, row.col[1]);
  copy_cut(block.col_time, COL_TIME_SIZE, row.col[2]);
  copy_cut(block.col_size, COL_SIZE_SIZE, row.col[3]);
  copy_cut(block.col_crc, COL_CRC_SIZE, row.col[4]);
  copy_cut(block.col_mode, COL_MODE_SIZE, row.col[5]);
  copy_cut(block.col_path, COL_PATH_SIZE, row.col[6]);
  block.row_identity = row.identity != nullptr ? *row.identity : FileIdentity{};
  block.row_ready.store(1, std::memory_order_release);
  block.row_count.fetch_add(1, std::memory_order_relaxed);
  return true;
}

bool post_clear(ScanBlock& block) {
  if (!post_request(block, block.clear_request)) return false;
  block.row_count.store(0, std::memory_order_relaxed);
  return true;
}

bool post_freeze(ScanBlock& block) { return post_request(block, block.freeze_request); }

bool post_thaw(ScanBlock& block) { return post_request(block, block.thaw_request); }

void report_progress(ScanBlock& block, std::int64_t done, std::int64_t total) {
  float fraction = (done == 0 || total == 0)
                       ? 0.0f
                       : static_cast<float>(static_cast<double>(done) / static_cast<double>(total));
  block.progress.store(fraction, std::memory_order_relaxed);
  block.progress_ready.store(1, std::memory_order_release);
}

void post_dir_text(ScanBlock& block, const char* text, int wait_ms) {
  post_label(block, block.dir_ready, block.dir_text, text, wait_ms);
}

void post_status_line(ScanBlock& block, const char* text, int wait_ms) {
  char line[STATUS_LINE_WIDTH + 1];
  std::size_t n = utf8_cut_length(text, STATUS_LINE_WIDTH);
  std::memcpy(line, text, n);
  std::memset(line + n, ' ', STATUS_LINE_WIDTH - n);
  line[STATUS_LINE_WIDTH] = '\0';
  post_dir_text(block, line, wait_ms);
}

void post_message(ScanBlock& block, const char* text, int wait_ms) {
  post_label(block, block.msg_ready, block.msg_text, text, wait_ms);
}

int take_list_records(ScanBlock& block, ListRecordSink& sink, long budget_us) {
  // After the last record, wait this long for the scanner's next one before
  // handing the processor back to the main loop.
  constexpr long LINGER_US = 200;
  int taken = 0;
  long start = now_us();
  long last_record = start;
  for (;;) {
    if (block.row_ready.load(std::memory_order_acquire) == 0) {
      long now = now_us();
      if (taken == 0 || now - last_record > LINGER_US || now - start > budget_us) break;
      sched_yield();  // on a busy machine the scanner may need this very processor
      continue;
    }
    if (block.clear_request.load(std::memory_order_relaxed) != 0) {
      sink.clear_list();
      block.clear_request.store(0, std::memory_order_relaxed);
    } else if (block.freeze_request.load(std::memory_order_relaxed) != 0) {
      sink.freeze_list();
      block.freeze_request.store(0, std::memory_order_relaxed);
    } else if (block.thaw_request.load(std::memory_order_relaxed) != 0) {
      sink.thaw_list();
      block.thaw_request.store(0, std::memory_order_relaxed);
    } else {
      const FileIdentity* identity = block.row_identity.known() ? &block.row_identity : nullptr;
      RowTexts row{{block.col_mark, block.col_date, block.col_time, block.col_size, block.col_crc,
                    block.col_mode, block.col_path},
                   identity};
      sink.append_row(row);
    }
    block.row_ready.store(0);
    if (block.row_waiting.load() != 0) futex(block.row_ready, FUTEX_WAKE, 1, nullptr);
    ++taken;
    last_record = now_us();
    if (last_record - start > budget_us) break;
  }
  return taken;
}

bool take_dir_text(ScanBlock& block, std::string& text) {
  return take_label(block.dir_ready, block.dir_text, text);
}

bool take_message(ScanBlock& block, std::string& text) {
  return take_label(block.msg_ready, block.msg_text, text);
}

bool take_progress(ScanBlock& block, float& fraction) {
  if (block.progress_ready.exchange(0, std::memory_order_acquire) == 0) return false;
  fraction = block.progress.load(std::memory_order_relaxed);
  return true;
}

bool take_scan_finished(ScanBlock& block) {
  if (block.scan_finished.load(std::memory_order_acquire) == 0) return false;
  block.scan_finished.store(0, std::memory_order_relaxed);
  return true;
}

void set_word(Atomic32& word, std::int32_t value) {
  word.store(value, std::memory_order_release);
  futex(word, FUTEX_WAKE, INT32_MAX, nullptr);
}

std::int32_t wait_word_change(Atomic32& word, std::int32_t current, int timeout_ms) {
  std::int32_t value = word.load(std::memory_order_acquire);
  if (value != current) return value;
  timespec timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
  futex(word, FUTEX_WAIT, current, &timeout);
  return word.load(std::memory_order_acquire);
}
