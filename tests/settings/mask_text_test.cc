#include "settings/mask_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

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

// ---- The display form: bytes in a UTF-8 text box --------------------------------

TEST(MaskDisplay, BytesShowVisiblyAndReadBackExactly) {
  struct Case {
    const char* name;
    std::string mask;
    std::string shown;
  };
  const Case cases[] = {
      {"plain", "/home/*", "/home/*"},
      {"UTF-8 stays", "/home/caf\xC3\xA9/*", "/home/caf\xC3\xA9/*"},
      {"a byte that is not UTF-8", "caf\xE9*.tx", "caf\\xE9*.tx"},
      {"a cut sequence", "a\xE2\x82", "a\\xE2\\x82"},
      {"an overlong slash", "a\xC0\xAF", "a\\xC0\\xAF"},
      {"a surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
      {"control bytes", "a\tb\x7F\x01", "a\\x09b\\x7F\\x01"},
      {"the matcher's escapes stay", "\\*\\?\\[x\\]\\\\", "\\*\\?\\[x\\]\\\\"},
      {"a backslash before xHH doubles", "a\\x41", "a\\\\x41"},
      {"lower-case hex too", "a\\\\xe9", "a\\\\\\\\xe9"},
      {"before an escaped byte", "\\\xE9", "\\\\\\xE9"},
      {"x00 is no byte", "\\x00", "\\x00"},
      {"nor xZ1", "\\xZ1", "\\xZ1"},
      {"trailing slashes and blanks would be trimmed", "/srv/ /", "/srv\\x2F\\x20\\x2F"},
      {"a comment keeps its slash but not its blank", "/* c */ ", "/* c */\\x20"},
      {"only blanks", "  ", "\\x20\\x20"},
      {"a trailing backslash", "a\\", "a\\"},
  };
  for (const Case& c : cases) {
    std::string shown = mask_display_text(c.mask);
    EXPECT_EQ(shown, c.shown) << c.name;
    EXPECT_TRUE(is_valid_utf8(shown)) << c.name;
    EXPECT_EQ(mask_lines(shown + "\n"), Lines{c.mask}) << c.name;
  }
}

TEST(MaskDisplay, TypedEscapesAreBytes) {
  EXPECT_EQ(mask_lines("caf\\xe9*\n"), Lines{"caf\xE9*"});
  EXPECT_EQ(mask_lines("\\\\xe9 \\\\\\xe9 \\x00\n"), (Lines{"\\xe9 \\\xE9 \\x00"}));
}

// Every byte string a mask can hold (no NUL) shows as valid UTF-8 on one
// line and reads back to itself.
TEST(MaskDisplay, RandomBytesRoundTrip) {
  std::mt19937 random(20240611);
  // Bytes that matter most, often; any byte now and then.
  const std::string common = "\\\\\\xX0aF9/ *?[]\xE9\xC3\xA9\xE2\x82\xAC\xF0\x9F\n\t";
  for (int round = 0; round < 20000; ++round) {
    std::string mask(random() % 40 + 1, ' ');
    for (char& b : mask) {
      b = random() % 3 != 0 ? common[random() % common.size()]
                            : static_cast<char>(random() % 255 + 1);
    }
    std::string shown = mask_display_text(mask);
    ASSERT_TRUE(is_valid_utf8(shown)) << shown;
    ASSERT_EQ(shown.find('\n'), std::string::npos) << shown;
    ASSERT_EQ(mask_lines(shown + "\n"), Lines{mask}) << shown;
  }
}

TEST(MaskDisplay, AListReadsBackSlotForSlot) {
  MaskList list{};
  std::strcpy(list[0], "caf\xE9*.tx");
  std::strcpy(list[1], "lit\\x41");
  std::strcpy(list[2], "/* old */ ");
  std::strcpy(list[3], "/srv/");
  std::string text = mask_list_text(list);
  EXPECT_EQ(text, "caf\\xE9*.tx\nlit\\\\x41\n/* old */\\x20\n/srv\\x2F\n");
  MaskList again{};
  read_mask_text(text, again);
  EXPECT_EQ(std::memcmp(list, again, 5 * MASK_SLOT_SIZE), 0);
}

TEST(MaskDisplay, LengthIsCountedInBytesStored) {
  std::string line;
  std::string e_acute;
  for (int i = 0; i < 32; ++i) e_acute += "\xC3\xA9";
  EXPECT_EQ(check_mask_text(e_acute + "\n", line), MaskProblem::NONE) << "64 bytes";
  EXPECT_EQ(check_mask_text(e_acute + "\xC3\xA9\n", line), MaskProblem::TOO_LONG) << "66 bytes";
  std::string escapes;
  for (int i = 0; i < 64; ++i) escapes += "\\xE9";
  EXPECT_EQ(check_mask_text(escapes + "\n", line), MaskProblem::NONE) << "64 bytes in 256 signs";
  EXPECT_EQ(check_mask_text(escapes + "\\xE9\n", line), MaskProblem::TOO_LONG);
  EXPECT_EQ(line, escapes + "\\xE9") << "named as shown";
}

TEST(MaskDisplay, PathsBecomeMasksThatMatchOnlyThem) {
  EXPECT_EQ(mask_for_path("/home/me"), "/home/me");
  EXPECT_EQ(mask_for_path("/a*b?[c]\\d"), "/a\\*b\\?\\[c\\]\\\\d");
}
