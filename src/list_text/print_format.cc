#include "list_text/print_format.h"

#include "list_text/list_rows.h"

std::string format_print_row(const RowTexts& row) {
  std::string line;
  const RowKind kind = classify_texts(row);
  const bool comment = is_marker_kind(kind);
  if (kind == ROW_GROUP) line += '\n';
  for (int i = 0; i < 6; ++i) {
    if (i > 0) line += ' ';
    line += display_text(row.col[i]);
  }
  line += '\n';
  if (!comment) {
    line += display_text(row.col[6]);
    line += '\n';
  }
  return line;
}
