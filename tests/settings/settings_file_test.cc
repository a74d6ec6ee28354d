#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "support/temp_dir.h"

namespace {

const std::string MAGIC_BYTES(RECORD_MAGIC, sizeof RECORD_MAGIC);  // 22 characters and a NUL

std::string record_bytes(const SettingsRecord& r) {
  return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

class SettingsFileTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::InDirectory in{dir.path()};
  // As in the shared block: the record starts zero-filled.
  std::unique_ptr<SettingsRecord> record = std::make_unique<SettingsRecord>();
};

TEST_F(SettingsFileTest, MissingFileBuildsAndWritesTheFactoryDefaults) {
  EXPECT_EQ(load_settings(*record), 1);

  std::string file = test::read_file("Settings");
  ASSERT_EQ(file.size(), 26140u);
  EXPECT_EQ(file.substr(0, 24), std::string(RECORD_MAGIC) + std::string(2, '\0'));
  EXPECT_EQ(file, record_bytes(*record));

  EXPECT_STREQ(record->include_file_masks[0], "*");
  EXPECT_EQ(mask_count(record->include_file_masks), 1);
  EXPECT_EQ(mask_count(record->exclude_file_masks), 2);
  EXPECT_STREQ(record->exclude_file_masks[0], "*.backup");
  EXPECT_STREQ(record->exclude_file_masks[1], "lib*.so.*");
  EXPECT_STREQ(record->include_dirs[0], "/home/*");
  EXPECT_STREQ(record->include_dirs[1], "/usr/*");
  EXPECT_STREQ(record->exclude_dirs[0], "/var/*");
  EXPECT_STREQ(record->exclude_dirs[1], "/root/*");
  EXPECT_EQ(record->stop_after, 1000);
  EXPECT_EQ(record->group_min, 2);
  EXPECT_EQ(record->group_max, 99999);
  EXPECT_EQ(record->same_name, 1);
  EXPECT_EQ(record->same_size, 1);
  EXPECT_EQ(record->same_crc, 1);
  EXPECT_EQ(record->display_crc, 1);
  EXPECT_EQ(record->beep_on_stop, 1);
  EXPECT_EQ(record->min_year, 1901);
  EXPECT_EQ(record->max_year, 2999);
  EXPECT_EQ(record->max_day, 31);
  // Fields without a factory value stay as the zero-filled block had them.
  EXPECT_EQ(record->double_click_action, ACTION_NONE);
  EXPECT_EQ(record->triple_click_action, ACTION_NONE);
  EXPECT_EQ(record->confirm_delete, 0);
  EXPECT_EQ(record->error_beep, 0);
  EXPECT_EQ(record->deleted_mode, DELETED_MARK);
  EXPECT_EQ(record->attr_care_mask, 0);
}

TEST_F(SettingsFileTest, DefaultsTouchOnlyTheirOwnFieldsAndSlots) {
  std::memset(record.get(), 'x', sizeof *record);
  default_settings(*record);
  EXPECT_EQ(record->include_file_masks[1][0], '\0');
  EXPECT_EQ(record->include_file_masks[1][1], 'x');  // emptying clears only the first byte
  EXPECT_EQ(record->include_file_masks[2][0], 'x');
  EXPECT_EQ(record->magic[22], '\0');
  EXPECT_EQ(record->magic[23], '\0');
  std::int32_t untouched;
  std::memset(&untouched, 'x', sizeof untouched);
  EXPECT_EQ(record->confirm_delete, untouched);
  EXPECT_EQ(record->reserved, untouched);
}

TEST_F(SettingsFileTest, SavedRecordLoadsBackByteForByte) {
  default_settings(*record);
  std::strcpy(record->include_dirs[0], "/srv/*");
  record->same_name = 0;
  record->double_click_action = ACTION_OPEN_FOLDER;
  record->reserved = 77;
  save_settings(*record);

  auto loaded = std::make_unique<SettingsRecord>();
  EXPECT_EQ(load_settings(*loaded), 0);
  EXPECT_EQ(record_bytes(*loaded), record_bytes(*record));
}

// A file whose header is not ours is replaced by the defaults.
TEST_F(SettingsFileTest, ForeignHeadersAreReplacedByTheDefaults) {
  struct Case {
    const char* what;
    std::string file;
  };
  std::string other_version = MAGIC_BYTES;
  other_version[15] = '2';
  std::string byte22_set = MAGIC_BYTES + std::string(26140 - 23, '\0');
  byte22_set[22] = 'x';
  const Case cases[] = {
      {"empty file", ""},
      {"shorter than the header", MAGIC_BYTES.substr(0, 22)},
      {"another version", other_version + std::string(26140 - 23, '\0')},
      {"byte 22 not NUL", byte22_set},
      {"plain text", "hello world, this is not a settings file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::write_file("Settings", c.file);
    auto r = std::make_unique<SettingsRecord>();
    EXPECT_EQ(load_settings(*r), 1);
    EXPECT_EQ(r->stop_after, 1000);
    EXPECT_EQ(test::read_file("Settings"), record_bytes(*r));
  }
}

TEST_F(SettingsFileTest, ByteTwentyThreeIsNotExamined) {
  default_settings(*record);
  std::string file = record_bytes(*record);
  file[23] = 'Q';
  test::write_file("Settings", file);
  auto r = std::make_unique<SettingsRecord>();
  EXPECT_EQ(load_settings(*r), 0);
  EXPECT_EQ(r->magic[23], 'Q');
}

TEST_F(SettingsFileTest, ShortFileReplacesOnlyTheBytesItHolds) {
  default_settings(*record);
  std::string full = record_bytes(*record);
  // Good header and the include-file masks, nothing after them.
  test::write_file("Settings", full.substr(0, 24 + 65));

  auto r = std::make_unique<SettingsRecord>();
  std::memset(r.get(), 0, sizeof *r);
  r->group_max = 4242;
  std::strcpy(r->exclude_dirs[0], "/kept/*");
  EXPECT_EQ(load_settings(*r), 0);
  EXPECT_STREQ(r->include_file_masks[0], "*");
  EXPECT_EQ(r->group_max, 4242);
  EXPECT_STREQ(r->exclude_dirs[0], "/kept/*");
  EXPECT_EQ(test::read_file("Settings").size(), 24u + 65u) << "a loaded file is not rewritten";
}

// A damaged file whose mask slots have no end byte: every slot is ended
// within itself, so the matcher and the settings window never run past it.
TEST_F(SettingsFileTest, MaskSlotsWithoutAnEndAreEndedWithinTheirSlot) {
  test::write_file("Settings", MAGIC_BYTES + std::string(1, '\0') +
                                   std::string(offsetof(SettingsRecord, min_file_size) - 24, 'A'));
  EXPECT_EQ(load_settings(*record), 0);
  for (const MaskList* list : {&record->include_file_masks, &record->exclude_file_masks,
                               &record->include_dirs, &record->exclude_dirs}) {
    for (int i = 0; i < MASK_SLOTS; ++i) {
      EXPECT_EQ(strnlen((*list)[i], MASK_SLOT_SIZE), MASK_SLOT_SIZE - 1u) << i;
    }
  }
  EXPECT_EQ(mask_count(record->include_dirs), MASK_SLOTS);
}

TEST_F(SettingsFileTest, ConsistencyRuleHoldsAfterEveryLoad) {
  struct Case {
    int name, size, crc, display;
    int want_name, want_size, want_display;
  };
  const Case cases[] = {
      {0, 0, 0, 0, 1, 0, 0},  // neither name nor CRC: compare names
      {0, 0, 1, 0, 0, 1, 1},  // CRC implies size and showing the CRC
      {1, 1, 0, 0, 1, 1, 0},  // already consistent
      {1, 0, 1, 1, 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "name " << c.name << " size " << c.size << " crc " << c.crc);
    default_settings(*record);
    record->same_name = c.name;
    record->same_size = c.size;
    record->same_crc = c.crc;
    record->display_crc = c.display;
    save_settings(*record);
    auto r = std::make_unique<SettingsRecord>();
    EXPECT_EQ(load_settings(*r), 0);
    EXPECT_EQ(r->same_name, c.want_name);
    EXPECT_EQ(r->same_size, c.want_size);
    EXPECT_EQ(r->display_crc, c.want_display);
    EXPECT_EQ(r->same_crc, c.crc);
  }
}

TEST_F(SettingsFileTest, MaskListEndsAtItsFirstEmptySlot) {
  std::strcpy(record->include_dirs[1], "/ignored/*");
  EXPECT_EQ(mask_count(record->include_dirs), 0);
  for (int i = 0; i < MASK_SLOTS; ++i) std::strcpy(record->exclude_dirs[i], "/x/*");
  EXPECT_EQ(mask_count(record->exclude_dirs), MASK_SLOTS);
}

TEST_F(SettingsFileTest, UnwritableFileIsSilentAndKeepsTheRecord) {
  // "Settings" is a directory: it can be neither read as a record nor replaced.
  ASSERT_EQ(mkdir("Settings", 0755), 0);
  test::write_file("Settings/keep", "x");
  EXPECT_EQ(load_settings(*record), 1);
  EXPECT_EQ(record->stop_after, 1000);
  EXPECT_EQ(test::read_file("Settings/keep"), "x");
  EXPECT_FALSE(std::filesystem::exists("Settings.new"));
}

}  // namespace
