#include "scan/summary.h"

#include "scan/row_format.h"

namespace {

std::string thousands(std::int64_t n) {
  char buf[THOUSANDS_BUFFER];
  return format_thousands(buf, n);
}

// "0 Files <verb> (...)", "1 File <verb> (...)", "N Files <verb> (...)".
std::string count_and_bytes(std::int32_t count, std::int64_t bytes, const char* verb) {
  std::string files = count == 1 ? " File " : " Files ";
  return thousands(count) + files + verb + " (" + thousands(bytes) + " bytes)";
}

}  // namespace

std::string summary_counts_line(const ScanBlock& b) {
  std::int32_t exdirs = b.exdirs_count.load();
  std::int32_t exfiles = b.exfiles_count.load();
  std::string text = thousands(b.dirs_count.load()) + " Dirs";
  if (exdirs != 0) text += ", " + thousands(exdirs) + " ExDirs";
  text += ", " + thousands(b.files_count.load()) + " Files";
  if (exfiles != 0) text += ", " + thousands(exfiles) + " ExFiles";
  // The empty texts of the line's layout leave two blanks before the word.
  text += ", " + thousands(b.dup_count.load()) + "  Duplicates";
  text.resize(STATUS_LINE_WIDTH, ' ');
  return text;
}

std::string totals_line(const ScanBlock& b) {
  return count_and_bytes(b.tagged_count.load(), b.tagged_bytes.load(), "Tagged") + ", " +
         count_and_bytes(b.deleted_count.load(), b.deleted_bytes.load(), "Deleted");
}
