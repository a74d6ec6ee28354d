#include "list_text/list_rows.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <string_view>

namespace {

TEST(ListRows, ClassifiesByMarkFirstTextAndPath) {
  struct Case {
    const char* mark;
    const char* first;
    const char* path;
    RowKind kind;
  };
  const Case cases[] = {
      {"/*", "Group 3 ", "", ROW_GROUP},
      {"/*", "Groups", "", ROW_GROUP},  // the first five characters decide
      {"/*", "Sorted List", "", ROW_COMMENT},
      {"/*", "group 1", "", ROW_COMMENT},  // case counts
      {"/*", "", "/a", ROW_COMMENT},
      {" ", "Mon", "/a", ROW_FILE},
      {"*", "Mon", "/a", ROW_TAGGED},
      {"D", "Mon", "/a", ROW_DELETED},
      {" ", "Mon", "a", ROW_NONE},  // a path always begins with '/'
      {" ", "Mon", "", ROW_NONE},
      {"X", "Mon", "/a", ROW_NONE},
      {"", "", "", ROW_NONE},
      {"/", "Group", "", ROW_NONE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(classify_texts(c.mark, c.first, c.path), c.kind)
        << c.mark << "|" << c.first << "|" << c.path;
  }
}

TEST(ListRows, SizeIsTheDigitsOfTheSizeColumn) {
  constexpr std::int64_t MAX = std::numeric_limits<std::int64_t>::max();
  struct Case {
    const char* text;
    std::int64_t size;
  };
  const Case cases[] = {
      {"1,234,567", 1234567},
      {"0", 0},
      {"", 0},
      {"*/", 0},
      {"3,000,000,000", 3000000000LL},  // past 32 bits
      {"9,223,372,036,854,775,807", MAX},
      {"99,999,999,999,999,999,999", MAX},  // too large: the largest size
      {"-5", 5},
  };
  for (const Case& c : cases) EXPECT_EQ(size_from_text(c.text), c.size) << c.text;
}

TEST(ListRows, DisplayFormIsValidUtf8OnOneLine) {
  struct Case {
    std::string bytes;
    std::string shown;
  };
  const Case cases[] = {
      {"/home/me/a b.txt", "/home/me/a b.txt"},
      {"/home/m\xC3\xA9/caf\xC3\xA9", "/home/m\xC3\xA9/caf\xC3\xA9"},  // UTF-8 stays
      {"/a\nb", "/a\\nb"},
      {"/a\tb\rc", "/a\\tb\\rc"},
      {"/a\x1B"
       "b\x7F",
       "/a\\x1Bb\\x7F"},
      {"/caf\xE9", "/caf\xEF\xBF\xBD"},            // Latin-1 byte
      {"/\xFF\xFE", "/\xEF\xBF\xBD\xEF\xBF\xBD"},  // one replacement per byte
      {"/\xE2\x82", "/\xEF\xBF\xBD\xEF\xBF\xBD"},  // a character cut short
      {"/x\xC3\xA9\xE9\n", "/x\xC3\xA9\xEF\xBF\xBD\\n"},
      {"", ""},
  };
  for (const Case& c : cases) {
    std::string shown = display_text(c.bytes);
    EXPECT_EQ(shown, c.shown) << c.bytes;
    EXPECT_TRUE(g_utf8_validate(shown.data(), static_cast<gssize>(shown.size()), nullptr));
    EXPECT_EQ(shown.find('\n'), std::string::npos);
  }
}

}  // namespace

namespace {

TEST(ListRows, SplitPathGivesDirectoryNameAndExtension) {
  struct Case {
    const char* path;
    const char* directory;
    const char* name;
    const char* extension;
  };
  const Case cases[] = {
      {"/Sub/Gifts.txt", "/Sub/", "Gifts", ".txt"},
      {"/home/ann/notes.old.txt", "/home/ann/", "notes.old", ".txt"},
      {"/home/ann/Makefile", "/home/ann/", "Makefile", ""},
      {"/home/ann/.profile", "/home/ann/", "", ".profile"},
      {"/vmlinuz", "/", "vmlinuz", ""},  // in the root directory: the parts rebuild the path
      {"/x.y", "/", "x", ".y"},
      {"/a.b/c", "/a.b/", "c", ""},  // a dot in the directory is not an extension
      {"name.c", "./", "name", ".c"},
      {"/d/trailing.", "/d/", "trailing", "."},
  };
  for (const Case& c : cases) {
    PathParts parts = split_path(c.path);
    EXPECT_EQ(parts.directory, c.directory) << c.path;
    EXPECT_EQ(parts.name, c.name) << c.path;
    EXPECT_EQ(parts.extension, c.extension) << c.path;
    if (c.path[0] == '/') {
      EXPECT_EQ(parts.directory + parts.name + parts.extension, c.path);
    }
  }
  EXPECT_EQ(upper_case(".txt"), ".TXT");
  EXPECT_EQ(upper_case(".t\xC3\xA9x"), ".T\xC3\xA9X") << "only ASCII letters change";
}

}  // namespace

namespace {

// Valid text without control characters stays as it is, quotes and blanks
// included; anything else becomes one $'...' word.
TEST(ListRows, PastedPathTextQuotesOnlyNamesThatAreNotText) {
  struct Case {
    std::string path;
    std::string text;
  };
  const Case cases[] = {
      {"/home/ann/a b.txt", "/home/ann/a b.txt"},
      {"/home/ann/caf\xC3\xA9 'x' $y\\z.txt", "/home/ann/caf\xC3\xA9 'x' $y\\z.txt"},
      {"", ""},
      {"/tmp/caf\xE9.txt", "$'/tmp/caf\\xe9.txt'"},
      {"/tmp/\xE9"
       "a",
       "$'/tmp/\\xe9a'"},  // two hex digits at most: 'a' stays itself
      {"/tmp/a\nb", "$'/tmp/a\\nb'"},
      {"/tmp/'\\\x7F\r", "$'/tmp/\\'\\\\\\x7f\\r'"},
      {"/tmp/\xC3", "$'/tmp/\\xc3'"},  // a cut character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(pasted_path_text(c.path), c.text);
  }
}

}  // namespace

namespace {

// With a width of N characters (counted as UTF-8 characters).
std::function<bool(std::string_view)> at_most(long n) {
  return [n](std::string_view text) {
    return g_utf8_strlen(text.data(), static_cast<gssize>(text.size())) <= n;
  };
}

TEST(ListRows, FitPathElidesTheDirectoryAndKeepsTheName) {
  struct Case {
    const char* path;
    long width;
    const char* shown;
  };
  const Case cases[] = {
      {"/home/ann/a.txt", 15, "/home/ann/a.txt"},  // fits
      {"/home/ann/photos/2024/a.txt", 20, "/home/a\u2026s/2024/a.txt"},
      {"/home/ann/photos/2024/a.txt", 21, "/home/a\u2026os/2024/a.txt"},
      {"/home/ann/photos/long-name.iso", 16, "/\u2026/long-name.iso"},
      {"/home/ann/photos/long-name.iso", 5, "\u2026/long-name.iso"},      // the name stays whole
      {"/d\u00e9j\u00e0/vu/caf\u00e9/x", 9, "/d\u00e9\u2026af\u00e9/x"},  // never half a character
      {"/name-in-the-root", 5, "\u2026/name-in-the-root"},
      {"no-slash", 3, "no-slash"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " in " + std::to_string(c.width));
    const std::string shown = fit_path(c.path, at_most(c.width));
    EXPECT_EQ(shown, c.shown);
    EXPECT_TRUE(g_utf8_validate(shown.c_str(), -1, nullptr));
  }
}

}  // namespace
