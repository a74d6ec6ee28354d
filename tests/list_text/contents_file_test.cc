// The contents file's coding: the specified format for plain texts, every
// byte carried, identities kept, and damaged files of every shape refused.
#include "list_text/contents_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

ContentsRow text_row(std::vector<std::string> cols) {
  ContentsRow row;
  for (int c = 0; c < COLUMN_COUNT; ++c) row.col[c] = cols[c];
  return row;
}

Contents sample() {
  Contents c;
  c.rows.push_back(text_row({"/*", "Sorted List", "*/", "", "", "", ""}));
  c.rows.push_back(text_row({"/*", "Group 1 ", "(1 - 2)", "*/", "", "", ""}));
  ContentsRow file = text_row({"*", "Mon-Dec 25,2019", "12:34:56AM", "1,234", "352441C2",
                               "-rw-r--r--", "/home/ann/notes.c"});
  file.identity =
      FileIdentity{2049, 123456789, 1234, 1700000000, 999999999, S_IFREG, 1700000300, 5};
  file.group = 7;
  c.rows.push_back(file);
  c.counters = {1, 10, 20, 0, 1, 0, 0, 2, 1, 1234, 3, 5000000000LL};
  return c;
}

// The bytes of a row as the contents file stores them: each one XOR 0x0A,
// the line ended by a plain line feed.
std::string scrambled(std::initializer_list<int> codes) {
  std::string s;
  for (int c : codes) s += static_cast<char>(c ^ 0x0A);
  return s + "\n";
}

TEST(ContentsFile, PlainTextsGiveTheExpectedFile) {
  Contents c;
  c.rows.push_back(text_row({"/*", "Sorted List", "*/", "", "", "", ""}));
  c.counters = {0, 1, 2, 3, 4, 5, 6, 7, 0, 0, 0, 0};
  std::string file = encode_contents(c);
  std::string row = scrambled(
      {0xE0, 7, 'S', 'o', 'r', 't', 'e', 'd', ' ', 'L', 'i', 's', 't', 7, 0xE1, 7, 7, 7, 7, 7});
  int sum = 12345678 + 0xE0 + 7 +
            ('S' + 'o' + 'r' + 't' + 'e' + 'd' + ' ' + 'L' + 'i' + 's' + 't') + 7 + 0xE1 + 5 * 7 +
            (1 + 2 + 3 + 4 + 5 + 6 + 7);
  std::string plain =
      "1\n" + row + "0\n1\n2\n3\n4\n5\n6\n7\n0\n0\n0\n0\n###" + std::to_string(sum) + "###\n";
  EXPECT_EQ(file.substr(0, plain.size()), plain);
  EXPECT_EQ(file.substr(plain.size()), "#identities 2\n#end 0\n");

  // "19", two blanks, "**", ".c", "ho", each one code.
  std::string out;
  std::uint32_t checksum = 0;
  std::string pairs[COLUMN_COUNT] = {"19", "a  b", "***", ".ch", "", "", ""};
  encode_row_line(pairs, out, checksum);
  EXPECT_EQ(out, scrambled({0xE2, 7, 'a', 0xF2, 'b', 7, 0xF3, '*', 7, 0xF4, 'h', 7, 7, 7, 7}));
}

TEST(ContentsFile, EveryByteOfEveryColumnSurvives) {
  Contents c = sample();
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  ContentsRow odd;
  odd.col[0] = "\xE0";  // a pair code as text
  odd.col[1] = all.substr(0, 45);
  odd.col[2] = all.substr(45, 50);
  odd.col[3] = all.substr(95, 31);
  odd.col[4] = "\a\xF6\n\r";  // BEL, the escape, line feed, carriage return
  odd.col[5] = all.substr(126, 10);
  odd.col[6] = "/" + all + all;
  c.rows.push_back(odd);
  std::string file = encode_contents(c);
  Contents back;
  ASSERT_TRUE(decode_contents(file, back));
  ASSERT_EQ(back.rows.size(), c.rows.size());
  for (std::size_t r = 0; r < c.rows.size(); ++r) {
    for (int col = 0; col < COLUMN_COUNT; ++col) {
      EXPECT_EQ(back.rows[r].col[col], c.rows[r].col[col]) << r << "," << col;
    }
  }
  EXPECT_EQ(back.counters, c.counters);
  EXPECT_TRUE(back.identities);
  EXPECT_EQ(back.rows[2].identity, c.rows[2].identity);
  EXPECT_EQ(back.rows[2].group, 7);
  EXPECT_FALSE(back.rows[0].identity.known());
  // No row line ever holds a raw line feed but its end.
  std::size_t lines = std::count(file.begin(), file.end(), '\n');
  EXPECT_EQ(lines, 1 + c.rows.size() + 12 + 1 + 2 + 1);
}

TEST(ContentsFile, AFileWithoutIdentitiesRestoresItsRowsWithoutThem) {
  std::string file = encode_contents(sample());
  std::string plain = file.substr(0, file.find("#identities"));
  Contents back;
  ASSERT_TRUE(decode_contents(plain, back));
  EXPECT_FALSE(back.identities);
  EXPECT_FALSE(back.rows[2].identity.known());

  // The section as written, for the damaged forms below.
  const std::string good_line = "2 7 1 2 3 4 5 6 7 32768";  // sums to 32805
  ASSERT_EQ(file.substr(plain.size()),
            "#identities 2\n2 7 2049 123456789 1234 1700000000 999999999 1700000300 5 32768\n"
            "#end 4523493153\n");
  Contents good;
  ASSERT_TRUE(decode_contents(plain + "#identities 2\n" + good_line + "\n#end 32805\n", good));
  EXPECT_TRUE(good.identities);
  EXPECT_EQ(good.rows[2].group, 7);
  EXPECT_EQ(good.rows[2].identity, (FileIdentity{1, 2, 3, 4, 5, S_IFREG, 6, 7}));

  // A damaged identity section is dropped; the rows stay. So is the first
  // form of the section (no groups, no change times), however whole.
  for (std::string damaged :
       {plain + "#identities 2\n" + good_line + "\n#end 99\n",
        plain + "#identities 2\n9 7 1 2 3 4 5 6 7 32768\n#end 32812\n",
        plain + "#identities 2\n1 7 1 2 3 4 5 6 7 32768\n#end 32804\n",
        plain + "#identities 2\n2 x 1 2 3 4 5 6 7 32768\n#end 32798\n",
        plain + "#identities 2\n2 7 1 2 3 4 1000000000 6 7 32768\n"
                "#end 1000032800\n",
        plain + "#identities 2\n2 7 1 2 3 4 5 6 7\n#end 37\n",
        plain + "#identities 2\n" + good_line + "\n",
        plain + "#identities\n2 1 2 3 4 5 32768\n#end 32785\n", plain + "garbage"}) {
    Contents c;
    ASSERT_TRUE(decode_contents(damaged, c)) << damaged;
    EXPECT_FALSE(c.identities);
    EXPECT_FALSE(c.rows[2].identity.known());
    EXPECT_EQ(c.rows.size(), 3u);
  }
}

TEST(ContentsFile, DamagedFilesOfAnyShapeAreRefused) {
  const std::string good = encode_contents(sample());
  const std::string plain = good.substr(0, good.find("#identities"));
  Contents c;
  ASSERT_TRUE(decode_contents(good, c));
  std::vector<std::pair<std::string, std::string>> damaged = {
      {"empty", ""},
      {"count only", "3\n"},
      {"a thousand million rows", "1000000000\n" + plain.substr(2)},
      {"negative count", "-1\n"},
      {"count not a number", "three\n" + plain.substr(2)},
      {"count with a plus", "+3\n" + plain.substr(2)},
      {"more rows claimed", "4\n" + plain.substr(2)},
      {"fewer rows claimed", "2\n" + plain.substr(2)},
      {"checksum off by one", plain.substr(0, plain.size() - 5) + "0###\n"},
      {"no checksum line", plain.substr(0, plain.rfind("###", plain.size() - 5))},
      {"counter not a number",
       [&] {
         std::string s = plain;
         s.replace(s.find("\n10\n") + 1, 2, "1x");
         return s;
       }()},
      {"a row longer than any row", "1\n" + std::string(10000, 'a') + "\n"},
      {"a row without its columns", "1\n" + std::string("abc") + "\n"},
  };
  for (std::size_t cut = 1; cut < plain.size(); cut += 7) {
    damaged.push_back({"cut at " + std::to_string(cut), plain.substr(0, cut)});
  }
  for (std::size_t at = 2; at < plain.size() - 4; at += 5) {
    std::string s = plain;
    s[at] = static_cast<char>(s[at] ^ 0x21);
    if (s[at] != '\n' && plain[at] != '\n') damaged.push_back({"byte " + std::to_string(at), s});
  }
  for (const auto& [name, bytes] : damaged) {
    Contents out;
    EXPECT_FALSE(decode_contents(bytes, out)) << name;
  }
}

}  // namespace
