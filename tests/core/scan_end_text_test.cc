// The "Scan Completed" notice's second line: the attributes compared, and
// what cut the list short.
#include "core/scan_end_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::unique_ptr<SettingsRecord> no_flags() {
  auto record = std::make_unique<SettingsRecord>();
  record->same_name = record->same_size = record->same_date = record->same_time = 0;
  record->same_owner = record->same_group = record->same_crc = 0;
  record->display_crc = 1;  // shown, not compared: never named
  return record;
}

TEST(ComparedText, NamesEachSetFlagInTheWindowsOrder) {
  struct Case {
    const char* what;
    std::int32_t SettingsRecord::*set[7];
    const char* expected;
  };
  const Case cases[] = {
      {"none", {}, "Compared: nothing"},
      {"size only", {&SettingsRecord::same_size}, "Compared: size"},
      {"name, size, crc set out of order",
       {&SettingsRecord::same_crc, &SettingsRecord::same_size, &SettingsRecord::same_name},
       "Compared: name, size, CRC-32"},
      {"date and time",
       {&SettingsRecord::same_time, &SettingsRecord::same_date},
       "Compared: date, time"},
      {"owner and group",
       {&SettingsRecord::same_group, &SettingsRecord::same_owner},
       "Compared: owner, group"},
      {"all",
       {&SettingsRecord::same_name, &SettingsRecord::same_size, &SettingsRecord::same_date,
        &SettingsRecord::same_time, &SettingsRecord::same_owner, &SettingsRecord::same_group,
        &SettingsRecord::same_crc},
       "Compared: name, size, date, time, owner, group, CRC-32"},
  };
  for (const Case& c : cases) {
    auto record = no_flags();
    for (auto field : c.set) {
      if (field != nullptr) record.get()->*field = 1;
    }
    EXPECT_EQ(compared_text(*record), c.expected) << c.what;
  }
}

TEST(ListCut, ReadsOnlyTheRowsThatCutTheList) {
  struct Case {
    const char* first;
    const char* second;
    bool stop_limit;
    bool list_full;
  };
  const Case cases[] = {
      {"Stopped 1000 Duplicates Found", "(Limit = 1000)", true, false},
      {"List Box", " Is Full", false, true},
      {"End Of List", "", false, false},
      {"Scan Finished", "Dec 11 12:00:00 2026", false, false},
      {"2 Group(s) Smaller ", "Than 3 ", false, false},
      {"Stopped 5 Duplicates Found", "", false, false},  // no limit beside it
      {"List Box", "", false, false},
      {"/home/u/Stopped 5 Duplicates Found", "(Limit = 5)", false, false},
  };
  for (const Case& c : cases) {
    ListCut cut;
    note_list_cut(cut, c.first, c.second);
    EXPECT_EQ(cut.stop_limit, c.stop_limit) << c.first << "|" << c.second;
    EXPECT_EQ(cut.list_full, c.list_full) << c.first << "|" << c.second;
  }
}

TEST(ScanCompletedDetail, AddsALinePerCutWithThePageThatChangesIt) {
  auto record = no_flags();
  record->same_size = 1;
  record->same_crc = 1;
  EXPECT_EQ(scan_completed_detail(*record, {}), "Compared: size, CRC-32");
  EXPECT_EQ(scan_completed_detail(*record, {.stop_limit = true}),
            "Compared: size, CRC-32\nThe Stop Limit Cut The List: Settings, Stop Page");
  const std::string both = scan_completed_detail(*record, {.stop_limit = true, .list_full = true});
  EXPECT_EQ(both.rfind("Compared: size, CRC-32\nThe Stop Limit Cut The List: Settings, Stop Page\n"
                       "The List Box Is Full: ",
                       0),
            0u)
      << both;
}

}  // namespace
