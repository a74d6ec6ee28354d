// Hand-over operations on the shared scan block, one set per side.
//
// Scanner side: a list record waits only while the record ring is full (or
// until the scanner is aborting); status texts and progress never wait. Interface side: called from
// the interface's 5 ms tick, in the order records, first label, second label, progress, end of
// scan.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

#include "core/row_texts.h"
#include "core/scan_block.h"

// ---- Scanner side -------------------------------------------------------

// Set by the scanner's signal handler; ends every wait and tree walk.
extern volatile std::sig_atomic_t g_scanner_abort;

// Posts one row (file row, group header or comment row) with its file
// identity, and counts it in row_count. Each text is cut to its slot.
// Returns false, posting nothing, when the wait was ended by the abort flag
// or a quit command.
bool post_row(ScanBlock& block, const RowTexts& row);

// Asks the interface to clear the list; row_count becomes 0 at once.
bool post_clear(ScanBlock& block);

// Ask the interface to stop and resume redrawing the list while many rows arrive.
bool post_freeze(ScanBlock& block);
bool post_thaw(ScanBlock& block);

// Publishes done / total (0.0 when either is 0) as the newest progress value.
void report_progress(ScanBlock& block, std::int64_t done, std::int64_t total);

// Posts a text for the first status label if the label mailbox is empty;
// otherwise the text is dropped. A text cut to the label's size is never cut
// inside a UTF-8 character. A text that must not be lost (the summary
// lines at the end of a scan) may wait up to `wait_ms` for the mailbox.
void post_dir_text(ScanBlock& block, const char* text, int wait_ms = 0);

// Cuts `text` to 76 characters, pads it with blanks to exactly 76 and posts
// it with post_dir_text.
void post_status_line(ScanBlock& block, const char* text, int wait_ms = 0);

// Posts a text for the second status label if its mailbox is empty.
void post_message(ScanBlock& block, const char* text, int wait_ms = 0);

// ---- Interface side -----------------------------------------------------

// What the interface does with the records it takes. A row's texts and
// identity live in the block: they are valid during append_row only.
class ListRecordSink {
 public:
  virtual ~ListRecordSink() = default;
  virtual void clear_list() = 0;
  virtual void freeze_list() = 0;
  virtual void thaw_list() = 0;
  virtual void append_row(const RowTexts& row) = 0;
};

// Takes every waiting list record. While rows keep flowing it goes on waiting
// a little for the next one, so a fast scanner is not paced by the tick, but
// it returns after at most `budget_us` microseconds so the window stays live.
// Returns the number of records taken.
int take_list_records(ScanBlock& block, ListRecordSink& sink, long budget_us);

// Each takes its mailbox's content when it is full; false when it was empty.
bool take_dir_text(ScanBlock& block, std::string& text);
bool take_message(ScanBlock& block, std::string& text);
bool take_progress(ScanBlock& block, float& fraction);

// True when records are in the ring, not yet taken.
bool records_waiting(const ScanBlock& block);

// True once per scan: the scan has ended and all its records were taken.
bool take_scan_finished(ScanBlock& block);

// ---- Command and status words -------------------------------------------

// Writes a word and wakes a process sleeping in wait_word_change on it.
void set_word(Atomic32& word, std::int32_t value);

// Sleeps until `word` no longer holds `current` or `timeout_ms` has passed;
// returns the value read last. Works across processes on the shared block.
std::int32_t wait_word_change(Atomic32& word, std::int32_t current, int timeout_ms);

// Taking a scan command, and Stop, so that a Scan never stays half done.
// Start Scan takes the busy word and writes CMD_START; the end of the scan
// (scan_finished) gives the word back. A Stop that comes before the scanner
// took the command must give the word back itself, since no scan runs and so
// none ends. The scanner marks itself busy and then reads the command; Stop
// withdraws the command and then reads the status. While the scanner is
// between its two steps Stop cannot tell whether a scan will run, so it
// leaves the question open and the interface settles it at its next ticks:
// once the scanner is idle again with no scan end waiting, no scan ran (a
// scan that ran publishes its end before the scanner goes idle).
enum class StopOutcome {
  NOTHING_WITHDRAWN,  // no Scan was waiting: a running scan ends, or none was asked for
  GIVEN_BACK,         // the Scan was withdrawn before the scanner took it: the list is free
  // The scanner is busy: a scan runs (Stop ends it, and its end gives the
  // word back), or the scanner is just taking the withdrawn command and will
  // run none: settle_withdrawn_scan() at each tick tells.
  UNSETTLED,
};
// Stop: the command back to CMD_IDLE.
StopOutcome stop_scan_command(ScanBlock& block);
// After UNSETTLED, at each tick until it returns true: true once the scanner
// is idle with no scan end waiting, and then the busy word is given back.
// False while the scanner is busy (a scan that ran gives the word back by
// its end, as any scan does).
bool settle_withdrawn_scan(ScanBlock& block);
// The scanner's side, on seeing CMD_START: marks itself busy and returns
// whether the command still stands. False: a Stop withdrew it first; the
// status is idle again and no scan must run.
bool take_scan_command(ScanBlock& block);
