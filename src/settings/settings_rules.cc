#include "settings/settings_rules.h"

int days_in_month(int month, int year) {
  switch (month) {
    case 2: {
      bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
      return leap ? 29 : 28;
    }
    case 4:
    case 6:
    case 9:
    case 11:
      return 30;
    default:
      return 31;
  }
}

bool date_before(const CalendarDate& a, const CalendarDate& b) {
  if (a.year != b.year) return a.year < b.year;
  if (a.month != b.month) return a.month < b.month;
  return a.day < b.day;
}

namespace {

CalendarDate clamped(CalendarDate d) {
  int last = days_in_month(d.month, d.year);
  if (d.day > last) d.day = last;
  return d;
}

}  // namespace

DateRange min_date_edited(DateRange range) {
  range.min = clamped(range.min);
  if (date_before(range.max, range.min)) range.max = range.min;
  return range;
}

DateRange max_date_edited(DateRange range) {
  range.max = clamped(range.max);
  if (date_before(range.max, range.min)) range.min = range.max;
  return range;
}

CompareChoice crc_toggled(CompareChoice c) {
  if (c.crc) {
    c.size = c.display_crc = true;
    c.size_sensitive = c.display_sensitive = false;
  } else {
    c.size_sensitive = c.display_sensitive = true;
    c.name = true;
  }
  return c;
}

CompareChoice name_toggled(CompareChoice c) {
  if (!c.name && !c.crc) {
    c.crc = true;
    c = crc_toggled(c);
  }
  return c;
}

const char* page_default_text(int page) {
  switch (page) {
    case PAGE_FILE_MASKS:
      return "/* this is a comment */\n/* include all files */\n*\n";
    case PAGE_EXCLUDE_FILES:
      return "/* exclude shared libraries */\nlib*so.*\n";
    case PAGE_INCLUDE_DIRECTORIES:
      return "/* include these directories */\n/home/*\n/etc/*\n/usr/*\n/bin/*\n"
             "/* include / (root) to scan everything */\n";
    case PAGE_EXCLUDE_DIRECTORIES:
      return "/* exclude these directories */\n/var/*\n/root/*\n*/.netscape/cache";
    default:
      return nullptr;
  }
}

void apply_page_defaults(int page, SettingsRecord& r) {
  switch (page) {
    case PAGE_ATTRIBUTES:
      r.attr_set_mask = 0;
      r.attr_care_mask = 0;
      break;
    case PAGE_DATE_RANGES:
      r.min_month = 1;
      r.min_day = 1;
      r.min_year = 1900;
      r.max_month = 12;
      r.max_day = 31;
      r.max_year = 2999;
      r.time_kind = TIME_CREATED;
      break;
    case PAGE_FILE_SIZES:
      r.min_file_size = 0;
      r.max_file_size = 0;
      break;
    case PAGE_COMPARE_LOGIC:
      r.same_name = 1;
      r.same_crc = 0;
      r.display_crc = 0;
      r.same_time = 0;
      r.same_date = 0;
      r.same_size = 1;
      r.same_owner = 0;
      r.same_group = 0;
      break;
    case PAGE_GROUP_SIZES:
      r.group_min = 2;
      r.group_max = 99999;
      break;
    case PAGE_STOP:
      r.stop_after = 1000;
      r.beep_on_stop = 1;
      break;
    case PAGE_OPERATION:
      r.double_click_action = ACTION_TOGGLE_TAG;
      r.triple_click_action = ACTION_INFO_DIALOG;
      r.confirm_delete = 1;
      r.deleted_mode = DELETED_MARK;
      r.error_beep = 1;
      r.reserved &=
          ~(RESERVED_MOVE_TO_TRASH | RESERVED_NO_CONTENT_CACHE | RESERVED_REMOVE_EMPTY_FOLDERS);
      break;
    default:
      break;  // the mask pages: their text (page_default_text)
  }
}

const char* page_help_topic(int page) {
  static constexpr const char* TOPICS[SETTINGS_PAGES] = {
      "FileMasks",          "Attributes",         "DateRanges",   "FileSizes",  "ExcludeFiles",
      "IncludeDirectories", "ExcludeDirectories", "CompareLogic", "GroupSizes", "Stop",
      "Operation"};
  return page >= 0 && page < SETTINGS_PAGES ? TOPICS[page] : "FileMasks";
}
