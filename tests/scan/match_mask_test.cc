#include "scan/match_mask.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* name_of(MaskResult r) {
  switch (r) {
    case MASK_MATCH:
      return "MATCH";
    case MASK_TEXT_LEFT:
      return "TEXT_LEFT";
    case MASK_TEXT_ENDED:
      return "TEXT_ENDED";
    case MASK_CLASS_MISS:
      return "CLASS_MISS";
    case MASK_CHAR_MISS:
      return "CHAR_MISS";
    case MASK_MALFORMED:
      return "MALFORMED";
  }
  return "?";
}

struct Case {
  const char* mask;
  const char* text;
  MaskResult expect;
};

void check_all(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_STREQ(name_of(match_mask(c.mask, c.text)), name_of(c.expect))
        << "mask \"" << c.mask << "\", text \"" << c.text << "\"";
  }
}

TEST(MatchMask, WildcardsAndPlainCharacters) {
  check_all({
      {"*", "", MASK_MATCH},
      {"*", "a", MASK_MATCH},
      {"*", "/usr/lib/x.so", MASK_MATCH},
      {"*", "*", MASK_MATCH},
      {"", "", MASK_MATCH},
      {"", "a", MASK_TEXT_LEFT},
      {"", "/", MASK_TEXT_LEFT},
      {"/home/*", "/home/anna", MASK_MATCH},
      {"/home/*", "/home/anna/docs", MASK_MATCH},
      {"/home/*", "/home/", MASK_MATCH},
      {"/home/*", "/home", MASK_TEXT_ENDED},
      {"/home/*", "/homer/x", MASK_CHAR_MISS},
      {"lib*so.*", "libc.so.6", MASK_MATCH},
      {"lib*so.*", "libfoo.so.1.2", MASK_MATCH},
      {"lib*so.*", "libc.so", MASK_TEXT_ENDED},
      {"lib*so.*", "LIBC.SO.6", MASK_CHAR_MISS},
      {"*.txt", "notes.txt.bak", MASK_TEXT_ENDED},
      {"*/src/*.cc", "/work/src/a.cc", MASK_MATCH},
      {"*/src/*.cc", "/work/src/sub/a.cc", MASK_MATCH},
      {"*/src/*.cc", "/src/a.cc", MASK_MATCH},
      {"?", "/", MASK_MATCH},
      {"?", "", MASK_TEXT_ENDED},
      {"?", "ab", MASK_TEXT_LEFT},
      {"a?c", "abc", MASK_MATCH},
      {"a", "A", MASK_CHAR_MISS},
      // Only one bare star may be left when the text ends.
      {"x*", "x", MASK_MATCH},
      {"x**", "x", MASK_TEXT_ENDED},
      {"x*?", "x", MASK_TEXT_ENDED},
      {"x**", "xy", MASK_MATCH},
      {"x*?", "xy", MASK_MATCH},
      {"*?", "", MASK_TEXT_ENDED},
      {"*?*?", "ab", MASK_MATCH},
      {"*?*?", "a", MASK_TEXT_ENDED},
      // The star settles on the first place the rest reaches the next star.
      {"*a*b", "xaxb", MASK_MATCH},
      {"*ab*c", "abxabc", MASK_MATCH},
  });
}

TEST(MatchMask, FailureCodes) {
  check_all({
      {"abc", "abcd", MASK_TEXT_LEFT},
      {"abc", "ab", MASK_TEXT_ENDED},
      {"abc", "abd", MASK_CHAR_MISS},
      {"ab[xy]", "abz", MASK_CLASS_MISS},
      {"[!xy]", "x", MASK_CLASS_MISS},
      {"*c", "ab", MASK_TEXT_ENDED},
      {"*ab", "abx", MASK_TEXT_ENDED},
  });
}

TEST(MatchMask, Classes) {
  check_all({
      {"[a-c]*", "bob", MASK_MATCH},
      {"[!a-c]*", "bob", MASK_CLASS_MISS},
      {"[^a-c]*", "bob", MASK_CLASS_MISS},
      {"[!a-c]*", "dan", MASK_MATCH},
      {"[c-a]", "b", MASK_MATCH},
      {"[c-a]", "d", MASK_CLASS_MISS},
      {"[abc]", "c", MASK_MATCH},
      {"[a-cx]", "x", MASK_MATCH},
      {"[-a]", "-", MASK_MATCH},
      {"[!!]", "!", MASK_CLASS_MISS},
      {"[!!]", "a", MASK_MATCH},
      {"[?*]", "*", MASK_MATCH},
      {"[?*]", "a", MASK_CLASS_MISS},
      {"[/]", "/", MASK_MATCH},
      {"x[0-9][0-9]", "x42", MASK_MATCH},
      {"*[0-9]", "abc", MASK_TEXT_ENDED},
      {"*[0-9]", "ab1", MASK_MATCH},
  });
}

TEST(MatchMask, Escapes) {
  check_all({
      {"\\*", "*", MASK_MATCH},
      {"\\*", "a", MASK_CHAR_MISS},
      {"\\*", "", MASK_TEXT_ENDED},
      {"\\*", "**", MASK_TEXT_LEFT},
      {"\\?", "?", MASK_MATCH},
      {"\\?", "a", MASK_CHAR_MISS},
      {"\\\\", "\\", MASK_MATCH},
      {"\\a", "a", MASK_MATCH},
      {"*\\*", "a*", MASK_MATCH},
      {"*\\*", "a", MASK_TEXT_ENDED},
      {"[\\]]", "]", MASK_MATCH},
      {"[\\-]", "-", MASK_MATCH},
      {"[\\-]", "a", MASK_CLASS_MISS},
      {"[!\\]]", "]", MASK_CLASS_MISS},
      {"[a-\\]]", "]", MASK_MATCH},
      {"[a-\\]]", "_", MASK_MATCH},
      {"[\\[-\\]]", "\\", MASK_MATCH},
  });
}

TEST(MatchMask, BrokenMasksShowOnceTheTextGetsThere) {
  check_all({
      {"[]", "]", MASK_MALFORMED},
      {"[]", "a", MASK_MALFORMED},
      {"[!]", "a", MASK_MALFORMED},
      {"[abc", "a", MASK_MALFORMED},
      {"[abc", "x", MASK_MALFORMED},
      {"[!abc", "x", MASK_MALFORMED},
      {"[a-]", "a", MASK_MALFORMED},
      {"[a-", "a", MASK_MALFORMED},
      {"[a-\\", "a", MASK_MALFORMED},
      {"[a\\", "a", MASK_MALFORMED},
      {"[\\", "a", MASK_MALFORMED},
      {"abc\\", "abcd", MASK_MALFORMED},
      {"abc\\", "abc\\", MASK_MALFORMED},
      {"*\\", "abc", MASK_MALFORMED},
      {"*a[", "xab", MASK_MALFORMED},
      // Not reached, or not needed for this character.
      {"abc\\", "abc", MASK_TEXT_ENDED},
      {"abc\\", "abd", MASK_CHAR_MISS},
      {"[]", "", MASK_TEXT_ENDED},
      {"[ab-]", "a", MASK_MATCH},
      {"[ab-]", "b", MASK_MALFORMED},
      {"[!a", "a", MASK_CLASS_MISS},
      {"*a[", "xyz", MASK_TEXT_ENDED},
      // A broken class met on the way stops the search for a better place.
      {"*a[ab-]", "aa", MASK_MATCH},
      {"*a[ab-]", "abaa", MASK_MALFORMED},
  });
}

TEST(MatchMask, RangesOrderBytesAsSigned) {
  check_all({
      {"[\x01-\x7f]", "\x80", MASK_CLASS_MISS},
      {"[\x01-\x7f]", "a", MASK_MATCH},
      {"[\x80-\x01]", "\x80", MASK_MATCH},
      {"[\x80-\x01]", "\xff", MASK_MATCH},
      {"[\x80-\x01]", "\x01", MASK_MATCH},
      {"[\x80-\x01]", "a", MASK_CLASS_MISS},
      {"[\x01-\x80]", "\xff", MASK_MATCH},
      {"[!\x80-\xff]", "\xc3", MASK_CLASS_MISS},
      {"[!\x80-\xff]", "z", MASK_MATCH},
      // Bytes are compared as they are: no folding, no decoding of UTF-8.
      {"\xc3\xa4*", "\xc3\xa4iti", MASK_MATCH},
      {"?\xa4", "\xc3\xa4", MASK_MATCH},
  });
}

TEST(MatchMask, LongTextsAndMasks) {
  // Many stars against a path-length text: each star run settles once, so
  // this stays quick.
  const std::string many_a(4095, 'a');
  std::string stars_a;
  for (int i = 0; i < 30; ++i) stars_a += "*a";
  const std::string stars_b = stars_a + "*b";
  EXPECT_EQ(match_mask(stars_a.c_str(), many_a.c_str()), MASK_MATCH);
  EXPECT_EQ(match_mask(stars_b.c_str(), many_a.c_str()), MASK_TEXT_ENDED);
  EXPECT_TRUE(mask_can_match_prefix(stars_b.c_str(), many_a.c_str()));

  // Masks longer than the usual 64 characters work the same.
  std::string one_or_more;
  for (int i = 0; i < 300; ++i) one_or_more += "?*";
  const std::string short_a = many_a.substr(0, 299);
  EXPECT_EQ(match_mask(one_or_more.c_str(), many_a.c_str()), MASK_MATCH);
  EXPECT_EQ(match_mask(one_or_more.c_str(), short_a.c_str()), MASK_TEXT_ENDED);
  EXPECT_TRUE(mask_can_match_prefix(one_or_more.c_str(), short_a.c_str()));
}

struct PrefixCase {
  const char* mask;
  const char* prefix;
  bool expect;
};

TEST(MaskCanMatchPrefix, DirectoryWalkCases) {
  const std::vector<PrefixCase> cases = {
      {"/home/*", "", true},
      {"/home/*", "/", true},
      {"/home/*", "/ho", true},
      {"/home/*", "/home", true},
      {"/home/*", "/home/", true},
      {"/home/*", "/home/anna/docs/", true},
      {"/home/*", "/usr/", false},
      {"/home/*", "/homer/", false},
      {"*/src", "", true},
      {"*/src", "/", true},
      {"*/src", "/usr/lib/", true},
      {"*/src", "/src/x/", true},
      {"/home/*/docs", "/home/anna/", true},
      {"/home/?", "/home/ab", false},
      {"/home/[a-c]*", "/home/d", false},
      {"/home/[a-c]*", "/home/b", true},
      {"/x", "/x", true},
      {"/x", "/x/", false},
      // A trailing lone star needs nothing more; two of them need something.
      {"x**", "x", true},
      {"x*?", "x", true},
      {"", "", true},
      {"", "a", false},
      // Broken masks can never match.
      {"[]", "", false},
      {"a[]", "", false},
      {"[abc", "", false},
      {"abc\\", "", false},
      {"abc\\", "ab", false},
      {"*\\", "", false},
      // An inverted class accepts nothing once its members cover every byte a
      // text can hold (all but NUL).
      {"*[!\x80-\x7f]", "", false},
      {"[!\x80-\x7f]", "", false},
      {"[!\x80-\xff\x01-\x7f]", "", false},
      {"[!\x80-\xff\x02-\x7f]", "", true},
      {"[!\x80-\xff\x01-\x7e]", "", true},
      {"[!\x80-\xff\x01-\x40\x42-\x7f]", "", true},
      {"[!\x81-\xff\x01-\x7f]", "", true},
      // Broken only for some characters: the prefix decides.
      {"[ab-]*", "", true},
      {"[ab-]*", "a", true},
      {"[ab-]*", "b", false},
      {"*a[ab-]", "aa", true},
      {"*a[ab-]", "ab", false},
      {"*a[ab-]", "xab", false},
  };
  for (const PrefixCase& c : cases) {
    EXPECT_EQ(mask_can_match_prefix(c.mask, c.prefix), c.expect)
        << "mask \"" << c.mask << "\", prefix \"" << c.prefix << "\"";
  }
}

// Cross-check against brute force, over texts made of a small alphabet: the
// mask's own characters plus 'c', which no mask here holds. That alphabet is
// enough for a match to exist if one exists at all: a literal needs its own
// byte, a plain class that accepts anything accepts the first character of
// one of its members, and an inverted class that accepts anything accepts
// 'c', which lies above every character of these masks.
//
// A shortest matching continuation needs no more than one character per mask
// character other than "*", plus one for a star run that must take something
// ("x**" after "x").
//
// Both ways are checked for every prefix up to some length:
// - Every continuation up to `tried` characters is tried; if one matches, the
//   prefix form must say true. With kAllThatMatter, continuations go up to
//   the length above.
// - If the prefix form says true, some continuation must match. Beyond the
//   continuations already tried, the search for one goes only through texts
//   the prefix form says can still match: whichever it finds proves the
//   answer, and if it finds none, the prefix form was wrong somewhere. (When
//   it is right, a match turns up quickly; the search gives up after a
//   while, so a wrong answer fails the test instead of hanging it.)
class PrefixOracle {
 public:
  static constexpr std::size_t kAllThatMatter = SIZE_MAX;

  PrefixOracle(std::string mask, std::size_t prefix_len, std::size_t tried)
      : mask_(std::move(mask)), prefix_len_(prefix_len) {
    alphabet_ = "c";
    for (char ch : mask_) {
      if (alphabet_.find(ch) == std::string::npos) alphabet_ += ch;
      if (ch != '*') ++longest_needed_;
    }
    tried_ = std::min(tried, longest_needed_);
  }

  // Returns the number of prefixes checked.
  int run() {
    std::string text;
    visit(text);
    return checked_;
  }

 private:
  bool matches(const std::string& text) const {
    return match_mask(mask_.c_str(), text.c_str()) == MASK_MATCH;
  }
  bool says(const std::string& prefix) const {
    return mask_can_match_prefix(mask_.c_str(), prefix.c_str());
  }

  // Tries every text from `text` up to `tried_` characters past the longest
  // prefix; returns whether one matched.
  bool visit(std::string& text) {
    bool any = matches(text);
    if (text.size() < prefix_len_ + tried_) {
      for (char ch : alphabet_) {
        text.push_back(ch);
        if (visit(text)) any = true;
        text.pop_back();
      }
    }
    if (text.size() <= prefix_len_) {
      ++checked_;
      if (any) {
        EXPECT_TRUE(says(text)) << "mask \"" << mask_ << "\", prefix \"" << text << "\"";
      } else if (says(text)) {
        EXPECT_TRUE(longer_text_matches(text))
            << "mask \"" << mask_ << "\", prefix \"" << text << "\"";
      }
    }
    return any;
  }

  // Shortest first, so a short match is found before long dead ends are
  // explored.
  bool longer_text_matches(const std::string& prefix) const {
    search_budget_ = 100000;
    std::string text = prefix;
    for (std::size_t len = 1; len <= longest_needed_; ++len)
      if (search(text, prefix.size() + len)) return true;
    return false;
  }

  bool search(std::string& text, std::size_t max_len) const {
    if (search_budget_-- <= 0) return false;
    if (text.size() == max_len) return matches(text);
    for (char ch : alphabet_) {
      text.push_back(ch);
      const bool found = says(text) && search(text, max_len);
      text.pop_back();
      if (found) return true;
    }
    return false;
  }

  std::string mask_;
  std::string alphabet_;
  std::size_t prefix_len_;
  std::size_t longest_needed_ = 1;
  std::size_t tried_ = 0;
  int checked_ = 0;
  mutable long search_budget_ = 0;
};

const std::string kMaskAlphabet = "ab/*?[]!-\\";

TEST(MaskCanMatchPrefix, AgreesWithBruteForceOnAllShortMasks) {
  // Every mask of up to three characters over the alphabet.
  std::vector<std::string> masks = {""};
  for (std::size_t begin = 0, len = 1; len <= 3; ++len) {
    const std::size_t end = masks.size();
    for (std::size_t i = begin; i < end; ++i)
      for (char ch : kMaskAlphabet) masks.push_back(masks[i] + ch);
    begin = end;
  }
  int checked = 0;
  for (const std::string& mask : masks) {
    checked += PrefixOracle(mask, 3, PrefixOracle::kAllThatMatter).run();
    if (HasFailure()) break;  // one mask's worth of failures is plenty
  }
  EXPECT_GT(checked, 10000);
}

TEST(MaskCanMatchPrefix, AgreesWithBruteForceOnRandomMasks) {
  // Single characters mixed with pieces that make classes and escapes more
  // likely than plain chance would, classes broken for some characters only
  // among them.
  const std::vector<std::string> pieces = {
      "a",  "b", "/",    "*",    "?",     "[",     "]",   "!",   "-",
      "\\", "*", "[ab]", "[!a]", "[b-a]", "[ab-]", "[a-", "\\*", "\\]",
  };
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> count(2, 5);
  for (int i = 0; i < 150 && !HasFailure(); ++i) {
    std::string mask;
    for (int n = count(rng); n > 0; --n) mask += pieces[pick(rng)];
    PrefixOracle(mask, 3, 2).run();
  }
}

}  // namespace
