#include "core/coded_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tools/text_encoder.h"

namespace {

std::string decode(const std::vector<unsigned char>& coded, std::size_t out_size = 16384) {
  std::vector<char> out(out_size, '#');
  std::size_t len = decode_text(coded.data(), coded.size(), out.data(), out.size());
  EXPECT_EQ(out[len], '\0');
  return std::string(out.data(), len);
}

// Table "abcdefghijklmn" with NUL at code 14; codes follow the table.
std::vector<unsigned char> with_table(std::vector<unsigned char> codes) {
  static const unsigned char table[] = "abcdefghijklmn";  // its NUL is code 14
  codes.insert(codes.begin(), table, table + sizeof table);
  return codes;
}

TEST(DecodeText, HandBuiltCodes) {
  struct Case {
    const char* what;
    std::vector<unsigned char> codes;
    std::string text;
  };
  const Case cases[] = {
      {"table codes, high half first", {0x01, 0x2E}, "abc"},
      {"escape followed by the two halves of 0 is the empty text", {0xF0, 0x0E}, ""},
      {"escaped literal between table codes", {0x0F, 0x5A, 0x1E}, "aZb"},
      {"escape across a byte boundary", {0x3F, 0x7A, 0xE0}, "dz"},
      {"a table NUL ends the text early", {0x0E, 0x12}, "a"},
      {"an escaped high byte", {0xFF, 0xFE}, "\xFF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(decode(with_table(c.codes)), c.text);
  }
}

TEST(DecodeText, NeverRunsPastEitherBuffer) {
  // No terminating NUL in the codes: decoding stops where the bytes end.
  EXPECT_EQ(decode(with_table({0x01, 0x23})), "abcd");
  // An escape cut short by the end of the bytes adds nothing.
  EXPECT_EQ(decode(with_table({0x0F})), "a");
  // Too short to hold the table at all.
  EXPECT_EQ(decode({'a', 'b'}), "");
  // The output buffer bounds the text; it stays NUL-terminated.
  EXPECT_EQ(decode(encode_text("hello, world"), 6), "hello");
}

TEST(DecodeText, RoundTripsEveryByteThroughTheEncoder) {
  std::string all;
  for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
  std::mt19937 rng(12345);
  std::vector<std::string> texts = {"", "x", "aaaaaaaaaaaaaaaaaaaaaa", all, all + all};
  for (int n = 0; n < 50; ++n) {
    std::string t(rng() % 3000, ' ');
    for (char& c : t) c = static_cast<char>(1 + rng() % (n % 2 ? 255 : 20));
    texts.push_back(t);
  }
  for (const std::string& t : texts) {
    EXPECT_EQ(decode(encode_text(t)), t);
  }
}

TEST(StoredTexts, HelperScriptDefaultsDecodeToTheirSourceFiles) {
  for (const char* name : {"pmopen", "pmview", "pmuser", "pmstop"}) {
    SCOPED_TRACE(name);
    const CodedText* coded = find_coded_text(name);
    ASSERT_NE(coded, nullptr);
    std::string text =
        decode(std::vector<unsigned char>(coded->bytes, coded->bytes + coded->size), 8192);
    EXPECT_LT(text.size(), 8191u) << "must fit the 8192-byte buffer with its NUL";
    EXPECT_EQ(text, test::read_file(std::string(SOURCE_DIR) + "/texts/scripts/" + name));
    EXPECT_EQ(text.rfind("#!/bin/sh\n", 0), 0u);
  }
  EXPECT_EQ(find_coded_text("no-such-text"), nullptr);
}

// The default "User Function" script prints a name as it is under dash,
// the shell /bin/sh is on Debian: no backslash in a name is interpreted.
TEST(StoredTexts, DefaultUserScriptPrintsEveryNameAsItIs) {
  const CodedText* coded = find_coded_text("pmuser");
  ASSERT_NE(coded, nullptr);
  test::TempDir dir;
  std::string script =
      decode(std::vector<unsigned char>(coded->bytes, coded->bytes + coded->size), 8192);
  test::write_file(dir / "pmuser", script);
  for (const std::string name : {"tab\\tname", "cut\\chere", "-n", "%s%d", "new\\nline"}) {
    SCOPED_TRACE(name);
    test::write_file(dir / name, "x");
    std::string cmd =
        "cd '" + dir.path() + "' && dash ./pmuser 1 ./'" + name + "' '' A 1 >out 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string out = test::read_file(dir / "out");
    EXPECT_EQ(out.rfind("File:      ./" + name + "\n", 0), 0u) << out;
    // The status lines, each on a line of its own, and the name nowhere in them.
    for (const char* label :
         {"\nModified:  ", "\nAccessed:  ", "\nChanged:   ", "\nLinks:     1\n", "\nInode:     "}) {
      EXPECT_NE(out.find(label), std::string::npos) << label << " in " << out;
    }
    std::size_t from = out.find("\nModified:  ");
    std::size_t to = out.find('\n', out.find("\nInode:     ") + 1);
    ASSERT_NE(from, std::string::npos);
    EXPECT_EQ(out.substr(from, to - from).find(name), std::string::npos) << out;
  }
}

}  // namespace
