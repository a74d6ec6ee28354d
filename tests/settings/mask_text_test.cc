#include "settings/mask_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

using Lines = std::vector<std::string>;

Lines stored(const MaskList& list) {
  Lines lines;
  for (int i = 0; i < MASK_SLOTS && list[i][0] != '\0'; ++i) lines.emplace_back(list[i]);
  return lines;
}

TEST(MaskText, ReadingPacksTheTrimmedLines) {
  struct Case {
    const char* name;
    std::string text;
    Lines masks;
  };
  const Case cases[] = {
      {"one per line", "*.c\n*.h\n", {"*.c", "*.h"}},
      {"no line feed at the end", "*.c\n*.h", {"*.c", "*.h"}},
      {"blank lines vanish", "\n\n*.c\n\n\n*.h\n\n", {"*.c", "*.h"}},
      {"trailing slashes and blanks go", "/home/me/ \t\n/usr//\r\n", {"/home/me", "/usr"}},
      {"a comment keeps its */", "/* all of them */  \n*\n", {"/* all of them */", "*"}},
      // A line that trims to nothing is skipped: the masks after it stay.
      {"blank line of blanks", "/a\n   \n/b\n", {"/a", "/b"}},
      {"a lone slash", "/a\n/\n/b\n", {"/a", "/b"}},
      {"only slashes", "/a\n////\n/b\n", {"/a", "/b"}},
      {"leading blanks stay", "  x\n", {"  x"}},
      {"empty", "", {}},
  };
  for (const Case& c : cases) {
    MaskList list{};
    std::memset(list, 'z', sizeof(MaskList));  // whatever was there before
    read_mask_text(c.text, list);
    EXPECT_EQ(stored(list), c.masks) << c.name;
    EXPECT_EQ(list[c.masks.size()][0], '\0') << c.name;
  }
}

TEST(MaskText, TooLongAndTooManyAreToldBeforeAnythingIsStored) {
  std::string line;
  std::string mask64(64, 'a'), mask65(65, 'b');
  EXPECT_EQ(check_mask_text(mask64 + "\n", line), MaskProblem::NONE);
  EXPECT_EQ(check_mask_text("ok\n" + mask65 + "\n" + mask65 + "c\n", line), MaskProblem::TOO_LONG);
  EXPECT_EQ(line, mask65) << "the first one at fault";
  EXPECT_EQ(check_mask_text(mask64 + "//  \n", line), MaskProblem::NONE) << "measured as stored";

  std::string hundred, hundred_and_one;
  for (int i = 0; i < 100; ++i) hundred += "m" + std::to_string(i) + "\n\n";
  EXPECT_EQ(check_mask_text(hundred, line), MaskProblem::NONE) << "blank lines do not count";
  hundred_and_one = hundred + "m100\nm101\n";
  EXPECT_EQ(check_mask_text(hundred_and_one, line), MaskProblem::TOO_MANY);
  EXPECT_EQ(line, "m100");

  // Stored anyway (the window refuses first): cut to 64, the first 100.
  MaskList list{};
  read_mask_text(mask65 + "\n" + hundred_and_one, list);
  Lines masks = stored(list);
  ASSERT_EQ(masks.size(), 100u);
  EXPECT_EQ(masks[0], std::string(64, 'b'));
  EXPECT_EQ(masks[99], "m98");
}

TEST(MaskText, AListShowsAsItsLinesAndReadsBackTheSame) {
  MaskList list{};
  read_mask_text("/* comment */\n/home/*\n" + std::string(64, 'x') + "\n", list);
  std::string text = mask_list_text(list);
  EXPECT_EQ(text, "/* comment */\n/home/*\n" + std::string(64, 'x') + "\n");
  MaskList again{};
  read_mask_text(text, again);
  EXPECT_EQ(stored(again), stored(list));

  MaskList full{};
  for (int i = 0; i < MASK_SLOTS; ++i) std::snprintf(full[i], MASK_SLOT_SIZE, "m%d", i);
  std::string full_text = mask_list_text(full);
  EXPECT_EQ(std::count(full_text.begin(), full_text.end(), '\n'), 100)
      << "a full list has no empty slot to end it";
}

TEST(MaskText, NextLineStepsOverLineFeeds) {
  std::string text = "\n\nab\ncd";
  std::size_t pos = 0;
  std::string line;
  ASSERT_TRUE(next_mask_line(text, pos, line));
  EXPECT_EQ(line, "ab");
  ASSERT_TRUE(next_mask_line(text, pos, line));
  EXPECT_EQ(line, "cd");
  EXPECT_FALSE(next_mask_line(text, pos, line));
}

}  // namespace
