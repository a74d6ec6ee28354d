#include "settings/settings_file.h"

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "settings/record_file.h"

namespace {

void set_slot(MaskList& list, int slot, const char* text) {
  std::strncpy(list[slot], text, MASK_SLOT_SIZE - 1);
  list[slot][MASK_SLOT_SIZE - 1] = '\0';
}

}  // namespace

int mask_count(const MaskList& list) {
  int n = 0;
  while (n < MASK_SLOTS && list[n][0] != '\0') ++n;
  return n;
}

void default_settings(SettingsRecord& r) {
  std::memset(r.magic, 0, sizeof r.magic);
  std::memcpy(r.magic, RECORD_MAGIC, sizeof RECORD_MAGIC - 1);

  // Emptying a slot clears only its first byte.
  set_slot(r.include_file_masks, 0, "*");
  r.include_file_masks[1][0] = '\0';
  set_slot(r.exclude_file_masks, 0, "*.backup");
  set_slot(r.exclude_file_masks, 1, "lib*.so.*");
  r.exclude_file_masks[2][0] = '\0';
  set_slot(r.exclude_dirs, 0, "/var/*");
  set_slot(r.exclude_dirs, 1, "/root/*");
  r.exclude_dirs[2][0] = '\0';
  set_slot(r.include_dirs, 0, "/home/*");
  set_slot(r.include_dirs, 1, "/usr/*");
  r.include_dirs[2][0] = '\0';

  r.stop_after = 1000;
  r.beep_on_stop = 1;
  r.group_min = 2;
  r.group_max = 99999;
  r.min_file_size = 0;
  r.max_file_size = 0;
  r.same_name = 1;
  r.same_time = 0;
  r.same_date = 0;
  r.same_size = 1;
  r.same_crc = 1;
  r.display_crc = 1;
  r.same_owner = 0;
  r.same_group = 0;
  r.min_month = 1;
  r.min_day = 1;
  r.min_year = 1901;
  r.max_month = 12;
  r.max_day = 31;
  r.max_year = 2999;
  r.time_kind = TIME_CREATED;
}

bool save_settings(const SettingsRecord& record, RecordWriteStep* failed) {
  return write_record_file(SETTINGS_FILE_NAME, &record, sizeof record, failed);
}

void apply_consistency_rule(SettingsRecord& r) {
  if (r.same_crc != 0) {
    r.same_size = 1;
    r.display_crc = 1;
  } else {
    r.same_name = 1;
  }
}

void end_mask_slots(SettingsRecord& r) {
  for (MaskList* list :
       {&r.include_file_masks, &r.exclude_file_masks, &r.include_dirs, &r.exclude_dirs}) {
    for (int i = 0; i < MASK_SLOTS; ++i) (*list)[i][MASK_SLOT_SIZE - 1] = '\0';
  }
}

int load_settings(SettingsRecord& record) {
  int defaulted = 0;
  if (!read_record_file(SETTINGS_FILE_NAME, &record, sizeof record)) {
    // A file that is there but may not be read is the user's: the defaults
    // hold for this run, and the file stays as it is.
    bool unreadable = errno == EACCES || errno == EPERM;
    default_settings(record);
    if (!unreadable) save_settings(record);
    defaulted = 1;
  }
  end_mask_slots(record);
  apply_consistency_rule(record);
  return defaulted;
}
