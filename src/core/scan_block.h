// The shared scan block: the only channel between the interface process and
// the scanner process. One System V segment holds command and status words,
// a one-record mailbox for list rows (texts and file identity) and list
// requests, two text mailboxes for the status labels, the progress value,
// the settings record, the scan counters and the busy word.
//
// Both processes run the same binary, so the layout is ours; it is fixed by
// the static_asserts below so that a change to it is always deliberate.
// Every mailbox has one writer per direction: the scanner fills the data and
// then sets the ready byte with a release store, the interface reads the
// data after an acquire load and then clears the ready byte.
#pragma once

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
inline constexpr int LABEL_TEXT_SIZE = 81;   // 80 characters and a NUL
inline constexpr int STATUS_LINE_WIDTH = 76; // status lines are cut and padded to this

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
using AtomicFlag8 = std::atomic<std::uint8_t>;
static_assert(Atomic32::is_always_lock_free && AtomicFlag8::is_always_lock_free &&
                  std::atomic<float>::is_always_lock_free,
              "the block's atomics must be address-free to work across processes");

struct ScanBlock {
  std::int32_t interface_pid;
  Atomic32 scanner_pid;  // 0 until the fork has returned
  std::int32_t segment_id;
  Atomic32 dir_tick;     // interface: 1 every second; walk: shows its directory and clears it
  Atomic32 command_word; // Command
  Atomic32 status;       // ScannerStatus

  // List-record mailbox: at most one of the three request bytes is set with
  // row_ready; none set means the seven slots hold a row to append. A
  // scanner that has waited a while for the mailbox sleeps on row_ready (a
  // futex word) and says so in row_waiting, so the interface wakes it.
  Atomic32 row_ready;
  Atomic32 row_waiting;
  AtomicFlag8 freeze_request;
  AtomicFlag8 thaw_request;
  AtomicFlag8 clear_request;
  char col_mark[COL_MARK_SIZE];
  char col_date[COL_DATE_SIZE];
  char col_time[COL_TIME_SIZE];
  char col_size[COL_SIZE_SIZE];
  char col_crc[COL_CRC_SIZE];
  char col_mode[COL_MODE_SIZE];
  char col_path[COL_PATH_SIZE];

  Atomic32 row_count;     // rows in the list since the last clear
  Atomic32 scan_finished; // 1 = the scan ended and all its records were sent

  // Progress: the scanner publishes the newest value and never waits.
  AtomicFlag8 progress_ready;
  std::atomic<float> progress;  // 0.0 .. 1.0

  SettingsRecord settings;  // written by the interface only

  // Scan counters: written by the scanner during a scan, read by both.
  Atomic32 dirs_count;
  Atomic32 files_count;
  Atomic32 exfiles_count;
  Atomic32 exdirs_count;
  Atomic32 spare_count_1;  // always 0; kept in the contents file
  Atomic32 spare_count_2;  // always 0; kept in the contents file
  Atomic32 dup_count;
  Atomic32 smaller_groups;
  Atomic32 larger_groups;

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

  Atomic32 list_busy;    // 1 while a scan or a long list operation owns the list
  Atomic32 ready_magic;  // BLOCK_READY_MAGIC once the interface is ready
  std::int32_t block_size;

  // Part of the list-record mailbox: the identity of the file a file row
  // names, as the scan read it (type 0 for other rows). The interface keeps
  // it with the row, so a deletion can tell whether the file has changed.
  FileIdentity row_identity;
};

inline constexpr std::size_t SCAN_BLOCK_SIZE = 30728;

static_assert(std::is_standard_layout_v<ScanBlock>);
static_assert(sizeof(ScanBlock) == SCAN_BLOCK_SIZE);
static_assert(offsetof(ScanBlock, command_word) == 16);
static_assert(offsetof(ScanBlock, status) == 20);
static_assert(offsetof(ScanBlock, row_ready) == 24);
static_assert(offsetof(ScanBlock, clear_request) == 34);
static_assert(offsetof(ScanBlock, col_mark) == 35);
static_assert(offsetof(ScanBlock, col_size) == 137);
static_assert(offsetof(ScanBlock, col_path) == 189);
static_assert(offsetof(ScanBlock, row_count) == 4288);
static_assert(offsetof(ScanBlock, progress_ready) == 4296);
static_assert(offsetof(ScanBlock, progress) == 4300);
static_assert(offsetof(ScanBlock, settings) == 4304);
static_assert(offsetof(ScanBlock, dirs_count) == 30444);
static_assert(offsetof(ScanBlock, tagged_bytes) == 30488);
static_assert(offsetof(ScanBlock, walk_depth) == 30504);
static_assert(offsetof(ScanBlock, dir_ready) == 30508);
static_assert(offsetof(ScanBlock, dir_text) == 30509);
static_assert(offsetof(ScanBlock, msg_text) == 30591);
static_assert(offsetof(ScanBlock, list_busy) == 30672);
static_assert(offsetof(ScanBlock, block_size) == 30680);
static_assert(offsetof(ScanBlock, row_identity) == 30688);
static_assert(std::is_standard_layout_v<FileIdentity> && sizeof(FileIdentity) == 40);
static_assert(offsetof(ScanBlock, dirs_count) == offsetof(ScanBlock, settings) + SETTINGS_RECORD_SIZE);
