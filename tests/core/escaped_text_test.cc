// The one escaping of bytes: control bytes only (the log, the scan's
// outputs), and the UTF-8 forms of the list's display and the clipboard.
#include "core/escaped_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct EscapeCase {
  const char* what;
  std::string text;
  EscapeStyle style;
  std::string bytes;  // append_escaped
  std::string utf8;   // append_escaped_utf8
};

TEST(EscapedText, EachStyleWritesTheBytesItSays) {
  const EscapeStyle pasted{.also_escaped = "\\'", .lower_hex = true, .hex_for_invalid = true};
  const EscapeCase cases[] = {
      {"plain text", "a b/c", {}, "a b/c", "a b/c"},
      {"line feed, tab, return", "a\nb\tc\rd", {}, "a\\nb\\tc\\rd", "a\\nb\\tc\\rd"},
      {"other controls", std::string("\x1B[0m\x7F", 5), {}, "\\x1B[0m\\x7F", "\\x1B[0m\\x7F"},
      {"lower hex", "\x1B", pasted, "\\x1b", "\\x1b"},
      {"quote and backslash", "it's a\\b", pasted, "it\\'s a\\\\b", "it\\'s a\\\\b"},
      {"not UTF-8, replaced", "caf\xE9.txt", {}, "caf\xE9.txt", "caf\xEF\xBF\xBD.txt"},
      {"not UTF-8, as hex", "caf\xE9.txt", pasted, "caf\xE9.txt", "caf\\xe9.txt"},
      {"UTF-8 kept", "caf\xC3\xA9", pasted, "caf\xC3\xA9", "caf\xC3\xA9"},
      {"a NUL starts no character",
       std::string("a\0b", 3),
       {},
       "a\\x00b",
       "a\xEF\xBF\xBD"
       "b"},
  };
  for (const EscapeCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = "<";
    append_escaped(bytes, c.text, c.style);
    EXPECT_EQ(bytes, "<" + c.bytes) << "appends to what is there";
    std::string utf8;
    append_escaped_utf8(utf8, c.text, c.style);
    EXPECT_EQ(utf8, c.utf8);
  }
}

}  // namespace
