// The shared scan block: the only channel between the interface process and
// the scanner process. One System V segment holds command and status words,
// a ring of list records (rows with their file identity, and list requests),
// two text mailboxes for the status labels, the progress value, the
// settings record, the scan counters and the busy word.
//
// Both processes run the same binary, so the layout is ours; it is fixed by
// the static_asserts below so that a change to it is always deliberate.
// Every mailbox has one writer per direction: the scanner fills the data and
// then sets the ready byte with a release store, the interface reads the
// data after an acquire load and then clears the ready byte. The record
// ring works the same way with two counters instead of a ready byte: the
// scanner fills the next free record and then advances records_posted, the
// interface hands the record on and then advances records_taken.
#pragma once

#include <array>
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "core/row_texts.h"
#include "settings/settings_record.h"

enum Command : std::int32_t { CMD_IDLE = 0, CMD_START = 1, CMD_QUIT = 2 };
enum ScannerStatus : std::int32_t { SCANNER_IDLE = 0, SCANNER_BUSY = 1, SCANNER_ENDED = 2 };

inline constexpr std::int32_t BLOCK_READY_MAGIC = 6387750;  // 0x617826
inline constexpr int LIST_ROW_LIMIT = 50000;
inline constexpr int LABEL_TEXT_SIZE = 81;    // 80 characters and a NUL
inline constexpr int STATUS_LINE_WIDTH = 76;  // status lines are cut and padded to this

// Widths of the seven column slots of a list record, NUL included. The size
// slot holds any 64-bit size with its thousands separators; the path slot
// holds any path the system can name (a longer one is never listed, since a
// cut path would name another file).
inline constexpr std::size_t COL_MARK_SIZE = 5;
inline constexpr std::size_t COL_DATE_SIZE = 46;
inline constexpr std::size_t COL_TIME_SIZE = 51;
inline constexpr std::size_t COL_SIZE_SIZE = 32;
inline constexpr std::size_t COL_CRC_SIZE = 9;
inline constexpr std::size_t COL_MODE_SIZE = 11;
inline constexpr std::size_t COL_PATH_SIZE = PATH_MAX;
static_assert(PATH_MAX == 4096);

using Atomic32 = std::atomic<std::int32_t>;
using AtomicCount32 = std::atomic<std::uint32_t>;
using AtomicFlag8 = std::atomic<std::uint8_t>;
static_assert(Atomic32::is_always_lock_free && AtomicCount32::is_always_lock_free &&
                  AtomicFlag8::is_always_lock_free && std::atomic<float>::is_always_lock_free,
              "the block's atomics must be address-free to work across processes");

// Records the ring holds: enough that the scanner goes on working while the
// interface appends a batch, small enough to stay a few hundred kilobytes.
inline constexpr std::uint32_t RECORD_RING_SLOTS = 64;
static_assert((RECORD_RING_SLOTS & (RECORD_RING_SLOTS - 1)) == 0, "counters wrap around the ring");

enum ListRecordKind : std::uint8_t {
  RECORD_ROW = 0,
  RECORD_CLEAR = 1,
  RECORD_FREEZE = 2,
  RECORD_THAW = 3
};

// One list record: a row to append (its seven texts, each cut to its slot,
// and the identity of the file a file row names, type 0 for other rows) or
// a request to clear, freeze or thaw the list.
struct ListRecord {
  FileIdentity identity;
  std::uint8_t kind;  // ListRecordKind
  char col_mark[COL_MARK_SIZE];
  char col_date[COL_DATE_SIZE];
  char col_time[COL_TIME_SIZE];
  char col_size[COL_SIZE_SIZE];
  char col_crc[COL_CRC_SIZE];
  char col_mode[COL_MODE_SIZE];
  char col_path[COL_PATH_SIZE];
};

// The scan's counters: written by the scanner during a scan, read by both;
// all cleared by reset() when a scan starts, and seven of them kept in the
// contents file (in_contents_file_order).
struct ScanCounters {
  Atomic32 dirs_count;
  Atomic32 files_count;
  Atomic32 exfiles_count;
  Atomic32 exdirs_count;
  Atomic32 spare_count_1;  // always 0; kept in the contents file
  Atomic32 spare_count_2;  // always 0; kept in the contents file
  Atomic32 dup_count;
  Atomic32 smaller_groups;
  Atomic32 larger_groups;

  void reset() {
    for (Atomic32* counter : all()) counter->store(0, std::memory_order_relaxed);
  }
  // The counters the contents file keeps, in its order.
  std::array<Atomic32*, 7> in_contents_file_order() {
    return {&dirs_count,    &files_count,   &exfiles_count, &exdirs_count,
            &spare_count_1, &spare_count_2, &dup_count};
  }

 private:
  std::array<Atomic32*, 9> all() {
    return {&dirs_count,    &files_count, &exfiles_count,  &exdirs_count, &spare_count_1,
            &spare_count_2, &dup_count,   &smaller_groups, &larger_groups};
  }
};

struct ScanBlock {
  std::int32_t interface_pid;
  Atomic32 scanner_pid;  // 0 until the fork has returned
  std::int32_t segment_id;
  Atomic32 dir_tick;      // interface: 1 every second; walk: shows its directory and clears it
  Atomic32 command_word;  // Command
  Atomic32 status;        // ScannerStatus

  // The record ring's counters (they wrap; their difference is the number
  // of records waiting). Record n lives in record_ring[n % RECORD_RING_SLOTS].
  // A side that finds nothing to do sleeps on the other side's counter (a
  // futex word) and says so in its waiting word, so the other side wakes it.
  AtomicCount32 records_posted;  // S: records filled since the block was made
  AtomicCount32 records_taken;   // I: records handed on
  Atomic32 scanner_waiting;      // S: 1 while the ring is full and the scanner sleeps
  Atomic32 interface_waiting;    // I: 1 while the ring is empty and the interface sleeps

  Atomic32 row_count;      // rows in the list since the last clear
  Atomic32 scan_finished;  // 1 = the scan ended and all its records were sent

  // Progress: the scanner publishes the newest value and never waits.
  AtomicFlag8 progress_ready;
  std::atomic<float> progress;  // 0.0 .. 1.0

  SettingsRecord settings;  // written by the interface only

  ScanCounters counters;  // written by the scanner during a scan, read by both

  // Totals of the list, kept by the interface (the scanner zeroes the
  // tagged ones at scan start). Byte totals are 64-bit.
  Atomic32 tagged_count;
  Atomic32 deleted_count;
  std::atomic<std::int64_t> tagged_bytes;
  std::atomic<std::int64_t> deleted_bytes;

  Atomic32 walk_depth;

  AtomicFlag8 dir_ready;  // dir_text waits for the first status label
  char dir_text[LABEL_TEXT_SIZE];
  AtomicFlag8 msg_ready;  // msg_text waits for the second status label
  char msg_text[LABEL_TEXT_SIZE];

  // 1 while a scan or a long list command owns the list. Written by the
  // interface alone: Start Scan takes it and the intake gives it back when
  // it takes the scan's end; the list commands hold it for their run.
  Atomic32 list_busy;
  Atomic32 ready_magic;  // BLOCK_READY_MAGIC once the interface is ready
  std::int32_t block_size;

  ListRecord record_ring[RECORD_RING_SLOTS];
};

inline constexpr std::size_t SCAN_BLOCK_SIZE = 302408;

static_assert(std::is_standard_layout_v<ScanBlock>);
static_assert(sizeof(ScanBlock) == SCAN_BLOCK_SIZE);
static_assert(offsetof(ScanBlock, command_word) == 16);
static_assert(offsetof(ScanBlock, status) == 20);
static_assert(offsetof(ScanBlock, records_posted) == 24);
static_assert(offsetof(ScanBlock, interface_waiting) == 36);
static_assert(offsetof(ScanBlock, row_count) == 40);
static_assert(offsetof(ScanBlock, progress_ready) == 48);
static_assert(offsetof(ScanBlock, progress) == 52);
static_assert(offsetof(ScanBlock, settings) == 56);
static_assert(offsetof(ScanBlock, counters) == 26196);
static_assert(offsetof(ScanBlock, tagged_bytes) == 26240);
static_assert(offsetof(ScanBlock, walk_depth) == 26256);
static_assert(offsetof(ScanBlock, dir_ready) == 26260);
static_assert(offsetof(ScanBlock, dir_text) == 26261);
static_assert(offsetof(ScanBlock, msg_text) == 26343);
static_assert(offsetof(ScanBlock, list_busy) == 26424);
static_assert(offsetof(ScanBlock, block_size) == 26432);
static_assert(offsetof(ScanBlock, record_ring) == 26440);
static_assert(std::is_standard_layout_v<FileIdentity> && sizeof(FileIdentity) == 56);
static_assert(sizeof(ListRecord) == 4312 && offsetof(ListRecord, col_path) == 211);
static_assert(offsetof(ScanBlock, counters) ==
              offsetof(ScanBlock, settings) + SETTINGS_RECORD_SIZE);
static_assert(sizeof(ScanCounters) == 36 && std::is_standard_layout_v<ScanCounters>);
