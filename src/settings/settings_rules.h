// The rules the settings window keeps while it is edited, and its page
// defaults, as plain functions on values (the window applies them to its
// widgets).
#pragma once

#include <cstdint>

#include "settings/settings_page.h"
#include "settings/settings_record.h"

// ---- Dates ----------------------------------------------------------------------

struct CalendarDate {
  int year;
  int month;  // 1 .. 12
  int day;    // 1 .. 31
  bool operator==(const CalendarDate&) const = default;
};

// 29 for February of a leap year (divisible by 4 and not by 100, or by 400),
// 28 for any other February, 30 for April, June, September and November, 31
// for the other months.
int days_in_month(int month, int year);

// Year, then month, then day.
bool date_before(const CalendarDate& a, const CalendarDate& b);

// The range after its minimum date was edited: the minimum's day clamped to
// its month, and the maximum carried along when it now lies before the
// minimum. max_date_edited is the same with the roles exchanged.
struct DateRange {
  CalendarDate min;
  CalendarDate max;
  bool operator==(const DateRange&) const = default;
};
DateRange min_date_edited(DateRange range);
DateRange max_date_edited(DateRange range);

// ---- Compare logic ---------------------------------------------------------------

// The compare check boxes whose rules tie them together.
struct CompareChoice {
  bool name, crc, size, display_crc;
  bool size_sensitive = true, display_sensitive = true;  // greyed while CRC is on
  bool operator==(const CompareChoice&) const = default;
};

// "Same File CRC-32" toggled to `c.crc`: on, it ticks and greys Size and
// Display CRC; off, it gives them back and ticks Name when Name is off.
CompareChoice crc_toggled(CompareChoice c);
// "Same File Name" toggled to `c.name`: off, it ticks CRC when CRC is off
// (and the CRC rule follows).
CompareChoice name_toggled(CompareChoice c);

// ---- Page defaults ----------------------------------------------------------------

// The text a mask page's Default button puts into its box; null for the
// pages without a text box.
const char* page_default_text(int page);

// Sets the fields shown on `page` (other than a text box) to that page's
// defaults; every other field stays. These are the pages' own defaults, not
// the factory settings (the minimum year is 1900 here, 1901 there).
void apply_page_defaults(int page, SettingsRecord& record);

// The help page of a notebook page ("FileMasks" for any other number).
const char* page_help_topic(int page);
