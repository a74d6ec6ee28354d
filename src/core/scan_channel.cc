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

// A 32-bit word of the block: sleeps while it holds `value`, for at most
// `timeout_us` microseconds (returns at once when it holds something else).
template <typename Word>
void futex_wait(Word& word, std::uint32_t value, long timeout_us) {
  static_assert(sizeof(Word) == 4);
  timespec timeout{timeout_us / 1000000, (timeout_us % 1000000) * 1000};
  // The block is shared between processes, so these are not private futexes.
  syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAIT, value, &timeout, nullptr,
          0);
}

// Wakes every sleeper on the word.
template <typename Word>
void futex_wake(Word& word) {
  static_assert(sizeof(Word) == 4);
  syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAKE, INT32_MAX, nullptr,
          nullptr, 0);
}

bool scanner_should_abort(const ScanBlock& block) {
  return g_scanner_abort || block.command_word.load(std::memory_order_relaxed) == CMD_QUIT;
}

constexpr std::uint32_t RING_MASK = RECORD_RING_SLOTS - 1;

// A scanner that found the ring full goes on only when half of it is free
// again, so that it and the interface each work through a batch instead of
// waking each other for every record.
constexpr std::uint32_t RESUME_AT = RECORD_RING_SLOTS / 2;

// The interface, sleeping because the ring is empty, is woken once this
// many records are waiting (or a request, which may be the last record for
// a while); a few rows left behind are taken at its next tick.
constexpr std::uint32_t WAKE_INTERFACE_AT = RECORD_RING_SLOTS / 4;

// Waits for a free record in the ring and returns it. Returns null when the
// wait was ended because the scanner is aborting or the program is ending
// (then nobody takes the records any more).
ListRecord* next_free_record(ScanBlock& block) {
  const std::uint32_t posted = block.records_posted.load(std::memory_order_relaxed);
  auto waiting = [&] { return posted - block.records_taken.load(std::memory_order_acquire); };
  if (waiting() >= RECORD_RING_SLOTS) {
    for (int polls = 0; waiting() > RESUME_AT; ++polls) {
      if (scanner_should_abort(block)) return nullptr;
      if (polls < SPIN_POLLS) continue;
      // Waited long enough: sleep until the interface has taken a batch.
      // The flag and the second look at the counter pair with the
      // interface's advance and its look at the flag, so a wake-up is never
      // missed; the time-out keeps the abort tests going.
      block.scanner_waiting.store(1);
      std::uint32_t taken = block.records_taken.load();
      if (posted - taken > RESUME_AT) futex_wait(block.records_taken, taken, 2000);
      block.scanner_waiting.store(0);
    }
  }
  return &block.record_ring[posted & RING_MASK];
}

// Hands the filled record to the interface.
void publish_record(ScanBlock& block, const ListRecord& record) {
  const std::uint32_t posted = block.records_posted.load(std::memory_order_relaxed) + 1;
  block.records_posted.store(posted);
  if (block.interface_waiting.load() != 0 &&
      (record.kind != RECORD_ROW ||
       posted - block.records_taken.load(std::memory_order_relaxed) >= WAKE_INTERFACE_AT)) {
    futex_wake(block.records_posted);
  }
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

bool post_request(ScanBlock& block, ListRecordKind kind) {
  ListRecord* record = next_free_record(block);
  if (record == nullptr) return false;
  record->kind = kind;
  publish_record(block, *record);
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
  ListRecord* record = next_free_record(block);
  if (record == nullptr) return false;
  record->kind = RECORD_ROW;
  copy_cut(record->col_mark, COL_MARK_SIZE, row.col[0]);
  copy_cut(record->col_date, COL_DATE_SIZE, row.col[1]);
  copy_cut(record->col_time, COL_TIME_SIZE, row.col[2]);
  copy_cut(record->col_size, COL_SIZE_SIZE, row.col[3]);
  copy_cut(record->col_crc, COL_CRC_SIZE, row.col[4]);
  copy_cut(record->col_mode, COL_MODE_SIZE, row.col[5]);
  copy_cut(record->col_path, COL_PATH_SIZE, row.col[6]);
  record->identity = row.identity != nullptr ? *row.identity : FileIdentity{};
  publish_record(block, *record);
  block.row_count.fetch_add(1, std::memory_order_relaxed);
  return true;
}

bool post_clear(ScanBlock& block) {
  if (!post_request(block, RECORD_CLEAR)) return false;
  block.row_count.store(0, std::memory_order_relaxed);
  return true;
}

bool post_freeze(ScanBlock& block) { return post_request(block, RECORD_FREEZE); }

bool post_thaw(ScanBlock& block) { return post_request(block, RECORD_THAW); }

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
  // After the last record, sleep this long for the scanner's next ones
  // before handing the processor back to the main loop.
  constexpr long LINGER_US = 200;
  int taken_now = 0;
  const long start = now_us();
  std::uint32_t taken = block.records_taken.load(std::memory_order_relaxed);
  for (;;) {
    std::uint32_t posted = block.records_posted.load(std::memory_order_acquire);
    if (posted == taken) {
      if (taken_now == 0 || now_us() - start > budget_us) break;
      block.interface_waiting.store(1);
      if (block.records_posted.load() == taken) futex_wait(block.records_posted, taken, LINGER_US);
      block.interface_waiting.store(0);
      if (block.records_posted.load(std::memory_order_acquire) == taken) break;  // nothing came
      continue;
    }
    for (; taken != posted; ++taken) {
      const ListRecord& record = block.record_ring[taken & RING_MASK];
      switch (record.kind) {
        case RECORD_CLEAR:
          sink.clear_list();
          break;
        case RECORD_FREEZE:
          sink.freeze_list();
          break;
        case RECORD_THAW:
          sink.thaw_list();
          break;
        default: {
          const FileIdentity* identity = record.identity.known() ? &record.identity : nullptr;
          RowTexts row{{record.col_mark, record.col_date, record.col_time, record.col_size,
                        record.col_crc, record.col_mode, record.col_path},
                       identity};
          sink.append_row(row);
        }
      }
      // The record is handed on: its slot may be filled again.
      block.records_taken.store(taken + 1);
      ++taken_now;
      if (block.scanner_waiting.load() != 0 &&
          block.records_posted.load(std::memory_order_relaxed) - (taken + 1) <= RESUME_AT) {
        futex_wake(block.records_taken);
      }
      if (now_us() - start > budget_us) return taken_now;
    }
  }
  return taken_now;
}

bool records_waiting(const ScanBlock& block) {
  return block.records_posted.load(std::memory_order_acquire) !=
         block.records_taken.load(std::memory_order_relaxed);
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
  // The end of the scan comes after its last record.
  if (records_waiting(block)) return false;
  block.scan_finished.store(0, std::memory_order_relaxed);
  return true;
}

void set_word(Atomic32& word, std::int32_t value) {
  word.store(value, std::memory_order_release);
  futex_wake(word);
}

StopOutcome stop_scan_command(ScanBlock& block) {
  std::int32_t expected = CMD_START;
  if (!block.command_word.compare_exchange_strong(expected, CMD_IDLE)) {
    set_word(block.command_word, CMD_IDLE);  // no scan asked for, or a quit (rewritten as it goes)
    return StopOutcome::NOTHING_WITHDRAWN;
  }
  futex_wake(block.command_word);
  return settle_withdrawn_scan(block) ? StopOutcome::GIVEN_BACK : StopOutcome::UNSETTLED;
}

bool settle_withdrawn_scan(ScanBlock& block) {
  // Idle, after the command was withdrawn: the scanner either never read
  // CMD_START, or read it, then read CMD_IDLE and went back to idle, or ran
  // a scan that had taken the command first, whose end is published before
  // the scanner is idle again.
  if (block.status.load() != SCANNER_IDLE) return false;
  if (block.scan_finished.load() != 0) return false;  // that end gives the word back
  block.list_busy.store(0);
  return true;
}

bool take_scan_command(ScanBlock& block) {
  block.status.store(SCANNER_BUSY);
  futex_wake(block.status);
  if (block.command_word.load() == CMD_START) return true;
  set_word(block.status, SCANNER_IDLE);
  return false;
}

std::int32_t wait_word_change(Atomic32& word, std::int32_t current, int timeout_ms) {
  std::int32_t value = word.load(std::memory_order_acquire);
  if (value != current) return value;
  futex_wait(word, static_cast<std::uint32_t>(current), timeout_ms * 1000L);
  return word.load(std::memory_order_acquire);
}
