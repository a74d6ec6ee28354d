#include "list_text/print_format.h"

#include <cstring>

std::string format_print_row(const RowTexts& row) {
  std::string line;
  bool comment = row.col[0][0] == '/';
  if (comment && std::strncmp(row.col[1], "Group", 5) == 0) line += '\n';
  for (int i = 0; i < 6; ++i) {
    if (i > 0) line += ' ';
    line += row.col[i];
  }
  line += '\n';
  if (!comment) {
    line += row.col[6];
    line += '\n';
  }
  return line;
}
