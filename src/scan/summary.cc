#include "scan/summary.h"

#include "core/row_texts.h"

std::string summary_counts_line(const ScanBlock& b) {
  std::int32_t exdirs = b.counters.exdirs_count.load();
  std::int32_t exfiles = b.counters.exfiles_count.load();
  std::string text = thousands(b.counters.dirs_count.load()) + " Dirs";
  if (exdirs != 0) text += ", " + thousands(exdirs) + " ExDirs";
  text += ", " + thousands(b.counters.files_count.load()) + " Files";
  if (exfiles != 0) text += ", " + thousands(exfiles) + " ExFiles";
  // The empty texts of the line's layout leave two blanks before the word.
  text += ", " + thousands(b.counters.dup_count.load()) + "  Duplicates";
  text.resize(STATUS_LINE_WIDTH, ' ');
  return text;
}

std::string totals_line(const ScanBlock& b) {
  return totals_line(b.tagged_count.load(), b.tagged_bytes.load(), b.deleted_count.load(),
                     b.deleted_bytes.load(), (b.settings.reserved & RESERVED_MOVE_TO_TRASH) != 0);
}
