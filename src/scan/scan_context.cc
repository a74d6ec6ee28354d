#include "scan/scan_context.h"

#include <cstdio>
#include <cstring>

#include "core/row_texts.h"
#include "core/scan_channel.h"
#include "scan/content_cache.h"
#include "scan/read_ahead.h"

bool is_comment_entry(const char* text) {
  return std::strncmp(text, "/*", 2) == 0 && std::strstr(text, "*/") != nullptr;
}

namespace {

std::vector<std::string> masks_in_use(const MaskList& list) {
  std::vector<std::string> masks;
  int n = mask_count(list);
  for (int i = 0; i < n; ++i) {
    // A slot is read as a text of at most 64 characters, whatever it holds.
    std::string text(list[i], strnlen(list[i], MASK_SLOT_SIZE - 1));
    if (!is_comment_entry(text.c_str())) masks.push_back(std::move(text));
  }
  return masks;
}

}  // namespace

ScanOptions scan_options_from(const SettingsRecord& s) {
  ScanOptions o;
  if ((s.reserved & RESERVED_NO_CONTENT_CACHE) == 0) o.content_cache = content_cache_file();
  o.include_file_masks = masks_in_use(s.include_file_masks);
  o.exclude_file_masks = masks_in_use(s.exclude_file_masks);
  o.include_dirs = masks_in_use(s.include_dirs);
  o.exclude_dirs = masks_in_use(s.exclude_dirs);
  o.min_file_size = s.min_file_size;
  o.max_file_size = s.max_file_size;
  o.attr_set_mask = s.attr_set_mask;
  o.attr_care_mask = s.attr_care_mask;
  o.same_name = s.same_name != 0;
  o.same_time = s.same_time != 0;
  o.same_date = s.same_date != 0;
  o.same_size = s.same_size != 0;
  o.same_crc = s.same_crc != 0;
  o.display_crc = s.display_crc != 0;
  o.same_owner = s.same_owner != 0;
  o.same_group = s.same_group != 0;
  o.min_date = std::int64_t{s.min_year} * 10000 + std::int64_t{s.min_month} * 100 + s.min_day;
  o.max_date = std::int64_t{s.max_year} * 10000 + std::int64_t{s.max_month} * 100 + s.max_day;
  o.time_kind = s.time_kind;
  o.stop_after = s.stop_after;
  o.group_min = s.group_min;
  o.group_max = s.group_max;
  return o;
}

bool walk_may_go_on(const ScanContext& ctx) {
  return !g_scanner_abort && ctx.block.command_word.load(std::memory_order_relaxed) == CMD_START;
}

bool crc_pass_may_go_on(const ScanContext& ctx) {
  std::int32_t command = ctx.block.command_word.load(std::memory_order_relaxed);
  return !g_scanner_abort && command != CMD_IDLE && command != CMD_QUIT;
}

void insert_file(ScanContext& ctx, GroupTree& tree, std::string_view key, std::string_view path,
                 std::int64_t size, std::uint32_t crc, bool readable) {
  FileFacts facts;
  facts.size = size;
  insert_file(ctx, tree, key, path, facts, crc, readable);
}

namespace {

// Without the CRC pass the duplicate limit ends the walk's filing: once it
// is reached no file enters a tree (nor the store).
bool limit_reached(const ScanContext& ctx) {
  const ScanOptions& o = ctx.options;
  return o.stop_after > 0 && !o.same_crc && ctx.block.counters.dup_count.load() >= o.stop_after;
}

}  // namespace

void insert_file(ScanContext& ctx, GroupTree& tree, std::string_view key, std::string_view path,
                 const FileFacts& facts, std::uint32_t crc, bool readable) {
  if (limit_reached(ctx)) return;
  const std::uint32_t file = ctx.files.add(path, facts);
  GroupMember& m = ctx.files[file];
  m.crc = crc;
  m.readable = readable;
  insert_file(ctx, tree, key, file);
}

void insert_file(ScanContext& ctx, GroupTree& tree, std::string_view key, std::uint32_t file) {
  const ScanOptions& o = ctx.options;
  ScanBlock& b = ctx.block;
  if (limit_reached(ctx)) return;

  GroupNode* group = nullptr;
  std::int32_t count = tree.insert(key, file, &group);
  if (ctx.read_ahead != nullptr && &tree == &ctx.key_tree) {
    ctx.read_ahead->file_added(*group, count);
  }
  if (count < 2) return;  // a new key

  std::int32_t dups = b.counters.dup_count.fetch_add(1) + 1;
  if (!o.same_crc && o.stop_after > 0 && dups >= o.stop_after) note_stopped_by_limit(ctx, dups);
  // A group's second member also brings its header and its first member's row.
  ctx.rows_expected += (count == 2) ? 3 : 1;
  if (ctx.phase == ScanPhase::WALK && o.stop_after > 0) {
    report_progress(b, dups % o.stop_after, o.stop_after);
  }
}

void note_stopped_by_limit(ScanContext& ctx, long duplicates) {
  char text[64];
  std::snprintf(text, sizeof text, "Stopped %ld Duplicates Found", duplicates);
  ctx.end_message = text;
  std::snprintf(text, sizeof text, "(Limit = %ld)", static_cast<long>(ctx.options.stop_after));
  ctx.end_detail = text;
}

std::string walk_counts_text(long files, long folders, long duplicates) {
  return thousands(files) + " Files, " + thousands(folders) + " Folders, " + thousands(duplicates) +
         " Duplicates So Far";
}

namespace {

// "512 Bytes", "1.5 KB", "12 MB", "3.4 GB": a size a glance can take in.
std::string short_size(std::int64_t bytes) {
  static const char* const UNITS[] = {"Bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1024 && unit < 6) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0) {
    std::snprintf(text, sizeof text, "%lld %s", static_cast<long long>(bytes), UNITS[0]);
  } else {
    std::snprintf(text, sizeof text, value < 10 ? "%.1f %s" : "%.0f %s", value, UNITS[unit]);
  }
  return text;
}

}  // namespace

std::string compare_progress_text(long duplicates, std::int64_t bytes_done,
                                  std::int64_t bytes_total, double seconds) {
  std::string text = thousands(duplicates) + " Duplicates, " + short_size(bytes_done) + " Of " +
                     short_size(bytes_total) + " Compared";
  if (seconds >= 1.0 && bytes_done > 0 && bytes_total >= bytes_done) {
    double left =
        seconds * static_cast<double>(bytes_total - bytes_done) / static_cast<double>(bytes_done);
    long whole = static_cast<long>(left + 0.5);
    char eta[48];
    if (whole >= 3600) {
      std::snprintf(eta, sizeof eta, ", About %ld:%02ld:%02ld Left", whole / 3600, whole / 60 % 60,
                    whole % 60);
    } else {
      std::snprintf(eta, sizeof eta, ", About %ld:%02ld Left", whole / 60, whole % 60);
    }
    text += eta;
  }
  return text;
}
