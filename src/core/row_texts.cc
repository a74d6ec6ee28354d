#include "core/row_texts.h"

FileIdentity identity_of(const struct stat& st) {
  FileIdentity id;
  id.device = static_cast<std::uint64_t>(st.st_dev);
  id.inode = static_cast<std::uint64_t>(st.st_ino);
  id.size = static_cast<std::int64_t>(st.st_size);
  id.mtime_sec = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  id.mtime_nsec = static_cast<std::int32_t>(st.st_mtim.tv_nsec);
  id.type = static_cast<std::uint32_t>(st.st_mode & S_IFMT);
  id.ctime_sec = static_cast<std::int64_t>(st.st_ctim.tv_sec);
  id.ctime_nsec = static_cast<std::int32_t>(st.st_ctim.tv_nsec);
  return id;
}

bool still_the_same(const FileIdentity& seen, const FileIdentity& now) {
  if (!seen.known()) return false;
  if (seen.size_only()) return now.type != S_IFDIR && now.size == seen.size;
  return seen == now;
}

RowKind classify_texts(std::string_view mark, std::string_view first, std::string_view path) {
  if (mark.substr(0, 2) == "/*") return first.substr(0, 5) == "Group" ? ROW_GROUP : ROW_COMMENT;
  if (mark.empty() || path.empty() || path[0] != '/') return ROW_NONE;
  switch (mark[0]) {
    case ' ':
      return ROW_FILE;
    case '*':
      return ROW_TAGGED;
    case 'D':
      return ROW_DELETED;
    default:
      return ROW_NONE;
  }
}

char* format_thousands(char* buf, std::int64_t n) {
  // Work on the magnitude as unsigned, so the most negative value has one too.
  bool negative = n < 0;
  std::uint64_t v = negative ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  char* out = buf;
  if (negative) *out++ = '-';
  for (int i = count - 1; i >= 0; --i) {
    *out++ = digits[i];
    if (i > 0 && i % 3 == 0) *out++ = ',';
  }
  *out = '\0';
  return buf;
}

std::string thousands(std::int64_t n) {
  char buf[THOUSANDS_BUFFER];
  return format_thousands(buf, n);
}

namespace {

// "0 Files <verb> (...)", "1 File <verb> (...)", "N Files <verb> (...)".
std::string count_and_bytes(std::int32_t count, std::int64_t bytes, const char* verb) {
  std::string files = count == 1 ? " File " : " Files ";
  return thousands(count) + files + verb + " (" + thousands(bytes) + " bytes)";
}

}  // namespace

std::string totals_line(std::int32_t tagged_count, std::int64_t tagged_bytes,
                        std::int32_t deleted_count, std::int64_t deleted_bytes, bool to_trash) {
  return count_and_bytes(tagged_count, tagged_bytes, "Tagged") + ", " +
         count_and_bytes(deleted_count, deleted_bytes, to_trash ? "Moved To Trash" : "Deleted");
}
