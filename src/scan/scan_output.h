// How the headless command writes a scan's rows: the print layout, TSV
// (one row per line), and one JSON document.
#pragma once

#include <cstdio>
#include <string>

#include "core/hard_links.h"
#include "core/row_texts.h"
#include "core/scan_block.h"
#include "scan/scan_context.h"

// One TSV line (with its line feed): the seven columns between tabs, and
// with `links` an eighth, the path of the earlier row of the group this file
// is a hard link of, or else shares all its blocks with (empty otherwise). Tab, line feed and
// backslash are written \t, \n, \\; carriage return \r; every other control byte \xHH.
std::string tsv_line(const RowTexts& row, bool links, HardLinkTracker& tracker);

// The text escaped for a TSV column.
std::string tsv_field(std::string_view text);

// Writes the scan as one JSON document: the settings in force, each group
// with its number and members, the comment rows as notes, and the summary
// counts. A path that is not valid UTF-8 is given as "path_bytes" (base64)
// instead of "path".
//
// With `tags` (a tag rule marked the rows), each member says whether it is
// tagged: "tagged": true|false.
class JsonWriter {
 public:
  JsonWriter(std::FILE* out, const ScanOptions& options, bool tags = false);
  void row(const RowTexts& row);
  void finish(const ScanBlock& block);

 private:
  void close_group();
  std::FILE* out_;
  bool tags_;
  HardLinkTracker links_;
  bool in_group_ = false;
  bool first_group_ = true;
  bool first_member_ = true;
  std::string notes_;
};

// JSON string literal of a UTF-8 text (quotes included).
std::string json_string(std::string_view text);
