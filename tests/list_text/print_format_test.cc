#include "list_text/print_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// Each row stays on its lines whatever its name holds: a control character
// is written as the list shows it, and bytes that are not UTF-8 as U+FFFD.
TEST(PrintFormat, WritesEachRowInTheFormTheListShows) {
  struct Case {
    const char* name;
    std::string path;
    std::string printed;
  };
  const Case cases[] = {
      {"plain", "/home/ann/a b.txt", "/home/ann/a b.txt"},
      {"line feed", "/home/ann/two\nlines.txt", "/home/ann/two\\nlines.txt"},
      {"tab and return", "/tmp/a\tb\r", "/tmp/a\\tb\\r"},
      {"escape byte", "/tmp/\x1b[31mred", "/tmp/\\x1B[31mred"},
      {"not UTF-8", "/tmp/caf\xe9.txt", "/tmp/caf\xef\xbf\xbd.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RowTexts row{
        {" ", "Mon-Dec 25,2000", "12:34:56AM", "1", "352441C2", "-rw-r--r--", c.path.c_str()}};
    const std::string text = format_print_row(row);
    EXPECT_EQ(text, "  Mon-Dec 25,2000 12:34:56AM 1 352441C2 -rw-r--r--\n" + c.printed + "\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
  }
  RowTexts header{{"/*", "Group 1 \n", "(1 - 2)", "*/", "", "", ""}};
  EXPECT_EQ(format_print_row(header), "\n/* Group 1 \\n (1 - 2) */  \n");
}

}  // namespace
