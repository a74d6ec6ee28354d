#include "scan/row_format.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/scan_channel.h"

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

void perm_string(char out[11], mode_t mode) {
  static const char TEMPLATE[] = "lrwxrwxrwx";
  for (int i = 0; i < 10; ++i) {
    mode_t bit = static_cast<mode_t>(01000) >> i;
    out[i] = (mode & bit) ? TEMPLATE[i] : '-';
  }
  out[10] = '\0';
}

time_t chosen_file_time(const struct stat& st, int time_kind) {
  switch (time_kind) {
    case TIME_ACCESSED:
      return st.st_atime;
    case TIME_WRITTEN:
      return st.st_ctime;
    default:
      return st.st_mtime;
  }
}

bool send_file_row(ScanBlock& block, int time_kind, const struct stat* st, std::uint32_t crc,
                   const char* crc_text, const char* path) {
  char date[COL_DATE_SIZE] = "";
  char time_text[COL_TIME_SIZE] = "";
  char size[THOUSANDS_BUFFER] = "";
  char mode[COL_MODE_SIZE] = "";
  if (st != nullptr) {
    time_t t = chosen_file_time(*st, time_kind);
    struct tm local;
    if (localtime_r(&t, &local) != nullptr) {
      std::strftime(date, sizeof date, "%a-%b %d,%Y", &local);
      std::strftime(time_text, sizeof time_text, "%I:%M:%S%p", &local);
    }
    format_thousands(size, st->st_size);
    perm_string(mode, st->st_mode);
  }
  char crc_hex[COL_CRC_SIZE];
  if (crc_text == nullptr) {
    std::snprintf(crc_hex, sizeof crc_hex, "%08X", static_cast<unsigned>(crc));
    crc_text = crc_hex;
  }
  return post_row(block, {{" ", date, time_text, size, crc_text, mode, path}});
}

bool send_group_header(ScanBlock& block, long group_no, long first_entry, long last_entry) {
  char group[COL_DATE_SIZE];
  char span[COL_TIME_SIZE];
  std::snprintf(group, sizeof group, "Group %ld ", group_no);
  std::snprintf(span, sizeof span, "(%ld - %ld)", first_entry, last_entry);
  return post_row(block, {{"/*", group, span, "*/", "", "", ""}});
}

bool send_comment_row(ScanBlock& block, const char* first, const char* second, const char* third) {
  // A text fits when it leaves room for the slot's NUL.
  auto fit = [](const char* text, std::size_t slot) {
    return std::strlen(text) < slot ? text : "Error #1";
  };
  RowTexts row{{"/*", fit(first, COL_DATE_SIZE), "*/", "", "", "", ""}};
  if (second != nullptr) {
    row.col[2] = fit(second, COL_TIME_SIZE);
    if (third != nullptr) {
      // The third text keeps the old size column's limit of 16 characters.
      row.col[3] = std::strlen(third) <= 16 ? third : "Error #1";
      row.col[4] = "*/";
    } else {
      row.col[3] = "*/";
    }
  }
  return post_row(block, row);
}
