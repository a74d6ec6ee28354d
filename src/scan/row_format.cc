#include "scan/row_format.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/scan_channel.h"

RowTexts BuiltRow::texts() const {
  RowTexts row{{col[0].c_str(), col[1].c_str(), col[2].c_str(), col[3].c_str(), col[4].c_str(),
                col[5].c_str(), col[6].c_str()},
               identity.known() ? &identity : nullptr};
  return row;
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

FileFacts facts_of(const struct stat& st, int time_kind) {
  FileFacts f;
  f.size = static_cast<std::int64_t>(st.st_size);
  f.shown_time = static_cast<std::int64_t>(chosen_file_time(st, time_kind));
  f.mtime_sec = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  f.mtime_nsec = static_cast<std::int32_t>(st.st_mtim.tv_nsec);
  f.ctime_sec = static_cast<std::int64_t>(st.st_ctim.tv_sec);
  f.ctime_nsec = static_cast<std::int32_t>(st.st_ctim.tv_nsec);
  f.mode = static_cast<std::uint32_t>(st.st_mode);
  f.device = static_cast<std::uint64_t>(st.st_dev);
  f.inode = static_cast<std::uint64_t>(st.st_ino);
  return f;
}

BuiltRow file_row(const FileFacts* facts, std::uint32_t crc, const char* crc_text,
                  const char* path) {
  BuiltRow row;
  row.col[0] = " ";
  if (facts != nullptr && facts->mode != 0) {
    char date[COL_DATE_SIZE] = "";
    char time_text[COL_TIME_SIZE] = "";
    time_t t = static_cast<time_t>(facts->shown_time);
    struct tm local;
    if (localtime_r(&t, &local) != nullptr) {
      std::strftime(date, sizeof date, "%a-%b %d,%Y", &local);
      std::strftime(time_text, sizeof time_text, "%I:%M:%S%p", &local);
    }
    char mode[COL_MODE_SIZE];
    perm_string(mode, static_cast<mode_t>(facts->mode));
    row.col[1] = date;
    row.col[2] = time_text;
    row.col[3] = thousands(facts->size);
    row.col[5] = mode;
    row.identity.device = facts->device;
    row.identity.inode = facts->inode;
    row.identity.size = facts->size;
    row.identity.mtime_sec = facts->mtime_sec;
    row.identity.mtime_nsec = facts->mtime_nsec;
    row.identity.ctime_sec = facts->ctime_sec;
    row.identity.ctime_nsec = facts->ctime_nsec;
    row.identity.type = facts->mode & S_IFMT;
  }
  if (crc_text != nullptr) {
    row.col[4] = crc_text;
  } else {
    char crc_hex[COL_CRC_SIZE];
    std::snprintf(crc_hex, sizeof crc_hex, "%08X", static_cast<unsigned>(crc));
    row.col[4] = crc_hex;
  }
  row.col[6] = path;
  return row;
}

BuiltRow file_row(int time_kind, const struct stat* st, std::uint32_t crc, const char* crc_text,
                  const char* path) {
  if (st == nullptr) return file_row(static_cast<const FileFacts*>(nullptr), crc, crc_text, path);
  FileFacts facts = facts_of(*st, time_kind);
  return file_row(&facts, crc, crc_text, path);
}

BuiltRow group_header_row(long group_no, long first_entry, long last_entry) {
  char group[COL_DATE_SIZE];
  char span[COL_TIME_SIZE];
  std::snprintf(group, sizeof group, "Group %ld ", group_no);
  std::snprintf(span, sizeof span, "(%ld - %ld)", first_entry, last_entry);
  BuiltRow row;
  row.col[0] = "/*";
  row.col[1] = group;
  row.col[2] = span;
  row.col[3] = "*/";
  return row;
}

BuiltRow comment_row(const char* first, const char* second, const char* third) {
  // A text fits when it leaves room for the slot's NUL.
  auto fit = [](const char* text, std::size_t slot) {
    return std::strlen(text) < slot ? text : "Error #1";
  };
  BuiltRow row;
  row.col[0] = "/*";
  row.col[1] = fit(first, COL_DATE_SIZE);
  row.col[2] = "*/";
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
  return row;
}

bool send_file_row(ScanBlock& block, int time_kind, const struct stat* st, std::uint32_t crc,
                   const char* crc_text, const char* path) {
  return post_row(block, file_row(time_kind, st, crc, crc_text, path).texts());
}

bool send_group_header(ScanBlock& block, long group_no, long first_entry, long last_entry) {
  return post_row(block, group_header_row(group_no, first_entry, last_entry).texts());
}

bool send_comment_row(ScanBlock& block, const char* first, const char* second, const char* third) {
  return post_row(block, comment_row(first, second, third).texts());
}
