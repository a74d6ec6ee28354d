#include "scan/scan_output.h"

#include <glib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/escaped_text.h"
#include "core/glib_ptr.h"
#include "core/version.h"

namespace {

// A group header or a comment row: no file, and the end of the group before.
bool is_comment(const RowTexts& row) { return is_marker_kind(classify_texts(row)); }
bool is_group(const RowTexts& row) { return classify_texts(row) == ROW_GROUP; }

bool valid_utf8(std::string_view text) {
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

// "Mon-Dec 25,2000" and "12:34:56AM" as "2000-12-25T00:34:56+01:00": the
// local time the row shows, with the offset from UTC it had then.
std::string iso_time(const char* date, const char* time_of_day) {
  std::string both = std::string(date) + " " + time_of_day;
  std::tm tm{};
  const char* end = strptime(both.c_str(), "%a-%b %d,%Y %I:%M:%S%p", &tm);
  if (end == nullptr || *end != '\0') return "";
  std::tm shown = tm;
  tm.tm_isdst = -1;
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &shown);
  std::string iso = text;
  if (std::mktime(&tm) == static_cast<std::time_t>(-1)) return iso;  // no offset known
  long offset = tm.tm_gmtoff;
  char zone[32];
  std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+',
                std::labs(offset) / 3600, std::labs(offset) % 3600 / 60);
  return iso + zone;
}

std::string mask_json(const std::string& mask) {
  if (valid_utf8(mask)) return json_string(mask);
  GCharPtr coded(g_base64_encode(reinterpret_cast<const guchar*>(mask.data()), mask.size()));
  return std::string("{\"bytes\": \"") + coded.get() + "\"}";
}

std::string mask_list_json(const std::vector<std::string>& masks) {
  std::string out = "[";
  for (std::size_t i = 0; i < masks.size(); ++i) {
    if (i > 0) out += ", ";
    out += mask_json(masks[i]);
  }
  return out + "]";
}

const char* yes(bool b) { return b ? "true" : "false"; }

}  // namespace

std::string tsv_field(std::string_view text) {
  std::string out;
  append_escaped(out, text, "\\");
  return out;
}

std::string tsv_line(const RowTexts& row, bool links, HardLinkTracker& tracker) {
  std::string line;
  for (int i = 0; i < COLUMN_COUNT; ++i) {
    if (i > 0) line += '\t';
    line += tsv_field(row.col[i]);
  }
  if (links) {
    line += '\t';
    if (is_comment(row)) {
      tracker.new_group();
    } else if (row.identity != nullptr) {
      if (const std::string* first = tracker.earlier_name(*row.identity, row.col[6])) {
        line += tsv_field(*first);
      } else if (const std::string* sharer = tracker.earlier_sharer(*row.identity, row.col[6])) {
        line += tsv_field(*sharer);
      }
    }
  }
  line += '\n';
  return line;
}

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\u%04X", c);
          out += hex;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

JsonWriter::JsonWriter(std::FILE* out, const ScanOptions& o, bool tags) : out_(out), tags_(tags) {
  const char* times[] = {"modified", "changed", "accessed"};
  int kind = o.time_kind >= 0 && o.time_kind <= 2 ? o.time_kind : 0;
  std::fprintf(out_,
               "{\n  \"program\": \"Pelto Marvish %s\",\n  \"settings\": {\n"
               "    \"compare\": {\"size\": %s, \"name\": %s, \"date\": %s, \"time\": %s, "
               "\"owner\": %s, \"group\": %s, \"crc32\": %s},\n"
               "    \"file_time\": \"%s\",\n",
               program_version(), yes(o.same_size), yes(o.same_name), yes(o.same_date),
               yes(o.same_time), yes(o.same_owner), yes(o.same_group), yes(o.same_crc),
               times[kind]);
  std::fprintf(out_, "    \"include_files\": %s,\n    \"exclude_files\": %s,\n",
               mask_list_json(o.include_file_masks).c_str(),
               mask_list_json(o.exclude_file_masks).c_str());
  std::fprintf(out_, "    \"include_directories\": %s,\n    \"exclude_directories\": %s\n  },\n",
               mask_list_json(o.include_dirs).c_str(), mask_list_json(o.exclude_dirs).c_str());
  std::fputs("  \"groups\": [", out_);
}

void JsonWriter::close_group() {
  if (in_group_) std::fputs("\n    ]}", out_);
  in_group_ = false;
}

void JsonWriter::row(const RowTexts& row) {
  if (is_group(row)) {
    close_group();
    links_.new_group();
    long number = std::atol(row.col[1] + 6);  // "Group N "
    std::fprintf(out_, "%s\n    {\"number\": %ld, \"members\": [", first_group_ ? "" : ",", number);
    first_group_ = false;
    first_member_ = true;
    in_group_ = true;
    return;
  }
  if (is_comment(row)) {
    close_group();
    links_.new_group();
    std::string note;
    for (int i = 1; i < COLUMN_COUNT; ++i) {
      std::string_view part = row.col[i];
      if (part.empty() || part == "*/") continue;
      if (!note.empty() && note.back() != ' ' && part.front() != ' ') note += ' ';
      note += part;
    }
    while (!note.empty() && note.back() == ' ') note.pop_back();
    if (note == "Sorted List") return;
    if (!notes_.empty()) notes_ += ", ";
    notes_ += json_string(valid_utf8(note) ? note : "?");
    return;
  }
  // A file row.
  std::string member = first_member_ ? "\n      {" : ",\n      {";
  first_member_ = false;
  std::string_view path = row.col[6];
  if (valid_utf8(path)) {
    member += "\"path\": " + json_string(path);
  } else {
    GCharPtr coded(g_base64_encode(reinterpret_cast<const guchar*>(path.data()), path.size()));
    member += std::string("\"path_bytes\": \"") + coded.get() + "\"";
  }
  const FileIdentity* id = row.identity;
  std::int64_t size = id != nullptr ? id->size : 0;
  member += ", \"size\": " + std::to_string(size);
  std::string when = iso_time(row.col[1], row.col[2]);
  member += ", \"time\": " + (when.empty() ? std::string("null") : json_string(when));
  member += ", \"crc32\": " + json_string(row.col[4]);
  member += ", \"mode\": " + json_string(row.col[5]);
  if (tags_) member += row.col[0][0] == '*' ? ", \"tagged\": true" : ", \"tagged\": false";
  if (id != nullptr && id->known()) {
    member +=
        ", \"device\": " + std::to_string(id->device) + ", \"inode\": " + std::to_string(id->inode);
    auto path_value = [](const std::string& p) {
      if (valid_utf8(p)) return json_string(p);
      GCharPtr coded(g_base64_encode(reinterpret_cast<const guchar*>(p.data()), p.size()));
      return std::string("{\"bytes\": \"") + coded.get() + "\"}";
    };
    if (const std::string* first = links_.earlier_name(*id, std::string(path))) {
      member += ", \"hard_link_of\": " + path_value(*first);
    } else if (const std::string* sharer = links_.earlier_sharer(*id, std::string(path))) {
      member += ", \"shares_blocks_with\": " + path_value(*sharer);
    }
  }
  member += "}";
  std::fputs(member.c_str(), out_);
}

void JsonWriter::finish(const ScanBlock& b) {
  close_group();
  std::fprintf(out_, "%s],\n  \"notes\": [%s],\n", first_group_ ? "" : "\n  ", notes_.c_str());
  std::fprintf(out_,
               "  \"summary\": {\"directories\": %d, \"excluded_directories\": %d, \"files\": %d, "
               "\"excluded_files\": %d, \"duplicates\": %d, \"smaller_groups_not_shown\": %d, "
               "\"larger_groups_not_shown\": %d}\n}\n",
               b.counters.dirs_count.load(), b.counters.exdirs_count.load(),
               b.counters.files_count.load(), b.counters.exfiles_count.load(),
               b.counters.dup_count.load(), b.counters.smaller_groups.load(),
               b.counters.larger_groups.load());
}
