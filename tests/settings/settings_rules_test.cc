#include "settings/settings_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "settings/settings_file.h"

namespace {

TEST(SettingsRules, DaysInMonth) {
  struct Case {
    int month, year, days;
  };
  const Case cases[] = {{2, 1900, 28},  {2, 2000, 29},  {2, 2004, 29}, {2, 2001, 28}, {2, 2100, 28},
                        {2, 2400, 29},  {1, 2001, 31},  {4, 2001, 30}, {6, 2001, 30}, {9, 2001, 30},
                        {11, 2001, 30}, {12, 2001, 31}, {7, 2001, 31}, {8, 2001, 31}};
  for (const Case& c : cases)
    EXPECT_EQ(days_in_month(c.month, c.year), c.days) << c.month << "/" << c.year;
}

TEST(SettingsRules, EditedDatesAreClampedAndCarryTheOtherAlong) {
  struct Case {
    const char* name;
    bool min_side;
    DateRange before, after;
  };
  const Case cases[] = {
      {"Feb 31 in 2000", true, {{2000, 2, 31}, {2999, 12, 31}}, {{2000, 2, 29}, {2999, 12, 31}}},
      {"Feb 31 in 1900", true, {{1900, 2, 31}, {2999, 12, 31}}, {{1900, 2, 28}, {2999, 12, 31}}},
      {"Feb 30 in 2004", false, {{1900, 1, 1}, {2004, 2, 30}}, {{1900, 1, 1}, {2004, 2, 29}}},
      {"min past max carries max",
       true,
       {{2010, 5, 6}, {2009, 1, 1}},
       {{2010, 5, 6}, {2010, 5, 6}}},
      {"max before min carries min",
       false,
       {{2010, 5, 6}, {2010, 5, 5}},
       {{2010, 5, 5}, {2010, 5, 5}}},
      {"clamped, then carried",
       true,
       {{2001, 4, 31}, {2001, 4, 1}},
       {{2001, 4, 30}, {2001, 4, 30}}},
      {"in order: nothing moves", true, {{2001, 1, 1}, {2002, 1, 1}}, {{2001, 1, 1}, {2002, 1, 1}}},
      {"equal dates stay", false, {{2001, 1, 1}, {2001, 1, 1}}, {{2001, 1, 1}, {2001, 1, 1}}},
  };
  for (const Case& c : cases) {
    DateRange after = c.min_side ? min_date_edited(c.before) : max_date_edited(c.before);
    EXPECT_EQ(after, c.after) << c.name;
  }
}

TEST(SettingsRules, CompareLogicNeverLetsNameAndCrcBothBeOff) {
  // name, crc, size, display, size sensitive, display sensitive
  CompareChoice crc_on = crc_toggled({true, true, false, false});
  EXPECT_EQ(crc_on, (CompareChoice{true, true, true, true, false, false}));
  CompareChoice crc_off = crc_toggled({false, false, true, true, false, false});
  EXPECT_EQ(crc_off, (CompareChoice{true, false, true, true, true, true}))
      << "Name comes on; Size and Display keep their ticks and come back";
  CompareChoice name_off = name_toggled({false, false, false, false});
  EXPECT_EQ(name_off, (CompareChoice{false, true, true, true, false, false}));
  CompareChoice name_off_crc_on = name_toggled({false, true, true, true, false, false});
  EXPECT_EQ(name_off_crc_on, (CompareChoice{false, true, true, true, false, false}));
  CompareChoice name_on = name_toggled({true, false, false, false});
  EXPECT_EQ(name_on, (CompareChoice{true, false, false, false}));
}

TEST(SettingsRules, PageDefaultsTouchTheirPageOnly) {
  auto factory = std::make_unique<SettingsRecord>();
  default_settings(*factory);
  factory->reserved = RESERVED_MOVE_TO_TRASH | 0x100;
  factory->attr_set_mask = 0400;
  factory->attr_care_mask = 0700;
  for (int page = 0; page < SETTINGS_PAGES; ++page) {
    auto r = std::make_unique<SettingsRecord>(*factory);
    apply_page_defaults(page, *r);
    std::string changed;
    auto differs = [&](const char* field, bool d) {
      if (d) changed += std::string(changed.empty() ? "" : " ") + field;
    };
    differs("attr", r->attr_care_mask != factory->attr_care_mask);
    differs("dates", r->min_year != factory->min_year || r->time_kind != factory->time_kind);
    differs("sizes", r->max_file_size != factory->max_file_size);
    differs("compare", r->same_crc != factory->same_crc);
    differs("stop", r->stop_after != factory->stop_after);
    differs("operation", r->double_click_action != factory->double_click_action);
    differs("masks", std::memcmp(r->include_dirs, factory->include_dirs, sizeof(MaskList)) != 0);
    const char* expected[SETTINGS_PAGES] = {"", "attr",    "dates", "", "",         "",
                                            "", "compare", "",      "", "operation"};
    EXPECT_EQ(changed, expected[page]) << "page " << page;
  }

  auto r = std::make_unique<SettingsRecord>(*factory);
  r->max_file_size = 5;
  r->stop_after = 5;
  r->beep_on_stop = 0;
  apply_page_defaults(2, *r);
  EXPECT_EQ(r->min_year, 1900) << "the page's own default, where the factory has 1901";
  apply_page_defaults(3, *r);
  EXPECT_EQ(r->max_file_size, 0);
  apply_page_defaults(9, *r);
  EXPECT_EQ(r->stop_after, 1000);
  EXPECT_EQ(r->beep_on_stop, 1);
  apply_page_defaults(10, *r);
  EXPECT_EQ(r->triple_click_action, ACTION_INFO_DIALOG);
  EXPECT_EQ(r->reserved, 0x100) << "the trash is off; other bits stay";

  EXPECT_STREQ(page_default_text(0), "/* this is a comment */\n/* include all files */\n*\n");
  EXPECT_STREQ(page_default_text(6),
               "/* exclude these directories */\n/var/*\n/root/*\n*/.netscape/cache");
  EXPECT_EQ(page_default_text(3), nullptr);
}

TEST(SettingsRules, TheNamedPagesAreTheNotebooksOrder) {
  const struct {
    SettingsPage page;
    const char* topic;
  } pages[] = {{PAGE_FILE_MASKS, "FileMasks"},
               {PAGE_ATTRIBUTES, "Attributes"},
               {PAGE_DATE_RANGES, "DateRanges"},
               {PAGE_FILE_SIZES, "FileSizes"},
               {PAGE_EXCLUDE_FILES, "ExcludeFiles"},
               {PAGE_INCLUDE_DIRECTORIES, "IncludeDirectories"},
               {PAGE_EXCLUDE_DIRECTORIES, "ExcludeDirectories"},
               {PAGE_COMPARE_LOGIC, "CompareLogic"},
               {PAGE_GROUP_SIZES, "GroupSizes"},
               {PAGE_STOP, "Stop"},
               {PAGE_OPERATION, "Operation"}};
  ASSERT_EQ(std::size(pages), static_cast<std::size_t>(SETTINGS_PAGES));
  for (std::size_t i = 0; i < std::size(pages); ++i) {
    EXPECT_EQ(pages[i].page, static_cast<int>(i)) << pages[i].topic;
    EXPECT_STREQ(page_help_topic(pages[i].page), pages[i].topic);
  }
  EXPECT_LT(PAGE_SHOWN_LAST, 0) << "never a page of the notebook";
}

TEST(SettingsRules, HelpTopicOfEachPage) {
  const char* topics[] = {
      "FileMasks",          "Attributes",         "DateRanges",   "FileSizes",  "ExcludeFiles",
      "IncludeDirectories", "ExcludeDirectories", "CompareLogic", "GroupSizes", "Stop",
      "Operation"};
  for (int page = 0; page < SETTINGS_PAGES; ++page)
    EXPECT_STREQ(page_help_topic(page), topics[page]);
  EXPECT_STREQ(page_help_topic(-1), "FileMasks");
  EXPECT_STREQ(page_help_topic(11), "FileMasks");
}

}  // namespace
