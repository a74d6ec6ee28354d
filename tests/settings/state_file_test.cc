#include "settings/state_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "support/temp_dir.h"

namespace {

std::string record_bytes(const StateRecord& r) {
  return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

class StateFileTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::InDirectory in{dir.path()};
  std::unique_ptr<StateRecord> record = std::make_unique<StateRecord>();
};

TEST_F(StateFileTest, MissingFileWritesTheDefaults) {
  load_state(*record);
  std::string file = test::read_file("State");
  ASSERT_EQ(file.size(), 7640u);
  EXPECT_EQ(file, record_bytes(*record));
  EXPECT_EQ(file.substr(0, 24), std::string(RECORD_MAGIC) + std::string(2, '\0'));
  EXPECT_STREQ(record->find_has_history[0], "*junk*");
  EXPECT_STREQ(record->find_not_history[0], "*save*");
  EXPECT_EQ(record->find_has_history[1][0], '\0');
  EXPECT_STREQ(record->script_name, "PeltoMarvishScript.sh");
  EXPECT_STREQ(record->script_template, "# %D %T %S %C\n'%P%F%E'\n\n");
  EXPECT_EQ(record->only_tagged, 0);
  EXPECT_EQ(
      record->comment_pound + record->comment_c + record->comment_blank + record->comment_none, 0);
}

TEST_F(StateFileTest, ChangedStateSurvivesSaveAndLoad) {
  default_state(*record);
  std::strcpy(record->find_has_history[0], "*.iso");
  std::strcpy(record->find_has_history[1], "*junk*");
  std::strcpy(record->script_name, "clean.sh");
  record->only_tagged = 1;
  record->comment_c = 1;
  save_state(*record);

  auto loaded = std::make_unique<StateRecord>();
  load_state(*loaded);
  EXPECT_EQ(record_bytes(*loaded), record_bytes(*record));
}

TEST_F(StateFileTest, HeaderDifferingInAnyOfItsFirst23BytesIsReplaced) {
  for (int index : {0, 7, 21, 22}) {
    SCOPED_TRACE(index);
    default_state(*record);
    std::strcpy(record->script_name, "mine.sh");
    std::string file = record_bytes(*record);
    file[index] = '#';
    test::write_file("State", file);
    auto loaded = std::make_unique<StateRecord>();
    load_state(*loaded);
    EXPECT_STREQ(loaded->script_name, "PeltoMarvishScript.sh");
    EXPECT_EQ(test::read_file("State"), record_bytes(*loaded));
  }
}

TEST_F(StateFileTest, ShortFileReplacesOnlyItsLeadingBytes) {
  default_state(*record);
  std::strcpy(record->find_has_history[0], "*.tmp");
  test::write_file("State", record_bytes(*record).substr(0, 100));
  auto loaded = std::make_unique<StateRecord>();
  loaded->comment_blank = 1;
  load_state(*loaded);
  EXPECT_STREQ(loaded->find_has_history[0], "*.tmp");
  EXPECT_EQ(loaded->comment_blank, 1);
}

// A damaged file whose text slots have no end byte: every slot is ended
// within itself, so no reader runs past the record.
TEST_F(StateFileTest, TextSlotsWithoutAnEndAreEndedWithinTheirSlot) {
  test::write_file("State", std::string(RECORD_MAGIC) + std::string(2, '\0') +
                                std::string(STATE_RECORD_SIZE - RECORD_MAGIC_SIZE, 'A'));
  load_state(*record);
  for (int i = 0; i < HISTORY_SLOTS; ++i) {
    EXPECT_EQ(strnlen(record->find_has_history[i], HISTORY_SLOT_SIZE), HISTORY_SLOT_SIZE - 1u);
    EXPECT_EQ(strnlen(record->find_not_history[i], HISTORY_SLOT_SIZE), HISTORY_SLOT_SIZE - 1u);
  }
  EXPECT_EQ(strnlen(record->script_name, SCRIPT_NAME_SIZE), SCRIPT_NAME_SIZE - 1u);
  EXPECT_EQ(strnlen(record->script_template, SCRIPT_TEMPLATE_SIZE), SCRIPT_TEMPLATE_SIZE - 1u);
  EXPECT_EQ(record->find_has_history[0][0], 'A') << "the text itself stays";
}

TEST_F(StateFileTest, DefaultScriptResetsOnlyNameAndTemplate) {
  default_state(*record);
  std::strcpy(record->script_name, "x.sh");
  std::strcpy(record->script_template, "rm %P%F%E\n");
  std::strcpy(record->find_has_history[0], "*.mp3");
  record->only_tagged = 1;
  record->comment_none = 1;
  default_script(*record);
  EXPECT_STREQ(record->script_name, "PeltoMarvishScript.sh");
  EXPECT_STREQ(record->script_template, "# %D %T %S %C\n'%P%F%E'\n\n");
  EXPECT_STREQ(record->find_has_history[0], "*.mp3");
  EXPECT_EQ(record->only_tagged, 1);
  EXPECT_EQ(record->comment_none, 1);
}

}  // namespace
