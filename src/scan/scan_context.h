// What one scan works with: the settings as they stood when it started, the
// two grouping trees, and the running numbers of the emission.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/scan_block.h"
#include "scan/group_tree.h"

// The settings a scan reads, taken from the settings record when the scan
// starts, so that a change applied meanwhile cannot make one scan follow
// two sets of rules. Mask lists hold only the entries in use: comment
// entries and everything after the first empty slot are left out.
struct ScanOptions {
  std::vector<std::string> include_file_masks;
  std::vector<std::string> exclude_file_masks;
  std::vector<std::string> include_dirs;
  std::vector<std::string> exclude_dirs;
  std::int64_t min_file_size = 0;
  std::int64_t max_file_size = 0;  // 0: no upper limit
  std::int32_t attr_set_mask = 0;
  std::int32_t attr_care_mask = 0;
  bool same_name = false, same_time = false, same_date = false, same_size = false;
  bool same_crc = false, display_crc = false, same_owner = false, same_group = false;
  std::int64_t min_date = 0;  // yyyymmdd, computed in 64 bits: any year a file can hold
  std::int64_t max_date = 0;  // yyyymmdd
  int time_kind = TIME_CREATED;
  std::int32_t stop_after = 0;  // 0 or less: no limit
  std::int32_t group_min = 0;
  std::int32_t group_max = 0;
  // The list takes at most this many rows ("List Box Is Full" says where it
  // was cut); 0: every group is listed.
  std::int32_t list_limit = LIST_ROW_LIMIT;
  // The file that remembers file contents between scans (see
  // content_cache.h); empty: every file is read.
  std::string content_cache;
};

// A mask list entry that begins with "/*" and contains "*/" is a comment.
bool is_comment_entry(const char* text);

ScanOptions scan_options_from(const SettingsRecord& settings);

// The stages of a scan, in order.
enum class ScanPhase { WALK = 1, CRC_PASS = 2 };

class ReadAhead;

class ContentCache;

struct ScanContext {
  ScanBlock& block;
  ScanOptions options;
  ScanPhase phase = ScanPhase::WALK;
  FileStore files;  // every file the walk took; the trees hold their numbers
  GroupTree key_tree;
  GroupTree crc_tree;
  long rows_expected = 1;  // rows the emission will send
  long rows_emitted = 0;
  long next_group_no = 1;
  long next_entry_no = 1;
  long possible_count = 0;  // duplicates the walk found, before the CRC pass
  // Why the scan stopped early, if it did: shown where the list ends.
  std::string end_message;      // "Stopped N Duplicates Found"
  std::string end_detail;       // "(Limit = N)"
  bool list_full_told = false;  // the "List Box Is Full" row was sent
  // Reads beginnings while the walk goes on, when the CRC pass will want them.
  ReadAhead* read_ahead = nullptr;
  // What earlier scans read (null: no cache).
  ContentCache* cache = nullptr;

  ScanContext(ScanBlock& b, ScanOptions o) : block(b), options(std::move(o)) {}
};

// True while the interface has not asked the scan to stop (and the scanner
// is not being ended).
bool walk_may_go_on(const ScanContext& ctx);
bool crc_pass_may_go_on(const ScanContext& ctx);

// Files file number `file` of ctx.files under `key` in `tree`, counting
// duplicates and the rows the emission will send. Without the CRC pass, once
// `stop_after` duplicates are found no further file enters the tree.
void insert_file(ScanContext& ctx, GroupTree& tree, std::string_view key, std::uint32_t file);
// The same for a file not yet in ctx.files: it is added first.
void insert_file(ScanContext& ctx, GroupTree& tree, std::string_view key, std::string_view path,
                 const FileFacts& facts, std::uint32_t crc, bool readable = true);
// A file of which only the size is known.
void insert_file(ScanContext& ctx, GroupTree& tree, std::string_view key, std::string_view path,
                 std::int64_t size, std::uint32_t crc, bool readable = true);

// The scan was ended by the "Stop After" limit with `duplicates` found: the
// list says so where it ends ("Stopped N Duplicates Found", "(Limit = L)").
void note_stopped_by_limit(ScanContext& ctx, long duplicates);

// The progress texts of the second status line: the counts while walking,
// and while the contents are compared the bytes done of the total and the
// time left (once a second has passed and something was read).
std::string walk_counts_text(long files, long folders, long duplicates);
std::string compare_progress_text(long duplicates, std::int64_t bytes_done,
                                  std::int64_t bytes_total, double seconds);
