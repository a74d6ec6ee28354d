// The shell reader alone: where each placeholder of a text stands, and
// where a text is not understood.
#include "list_text/shell_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Place = PlaceholderPlace;

struct Reading {
  std::vector<Place> places;
  std::vector<int> backquotes;
  std::size_t body_lines = 0;
  std::optional<int> lost;
};

// Reads `text`, in which each '@' is a placeholder.
Reading read(const std::string& text) {
  std::vector<ShellToken> tokens;
  std::vector<ScriptTemplate::Slot> slots;
  std::vector<ScriptTemplate::BodyLine> body_lines;
  int line = 0;
  for (char c : text) {
    if (c == '@') {
      tokens.push_back({0, static_cast<int>(slots.size()), line});
      slots.push_back({'F', Place::REFUSED, 0, false, line});
      continue;
    }
    tokens.push_back({c, -1, line});
    if (c == '\n') ++line;
  }
  Reading r;
  r.lost = read_shell_text(std::move(tokens), slots, body_lines);
  for (const auto& s : slots) {
    r.places.push_back(s.place);
    r.backquotes.push_back(s.backquotes);
  }
  r.body_lines = body_lines.size();
  return r;
}

TEST(ShellReader, FindsWhereEachPlaceholderStands) {
  struct Case {
    const char* text;
    std::vector<Place> places;
    std::vector<int> backquotes;
    std::size_t body_lines;
  };
  const Case cases[] = {
      {"echo @ '@' \"@\" # @\n",
       {Place::UNQUOTED, Place::SINGLE_QUOTED, Place::DOUBLE_QUOTED, Place::COMMENT},
       {0, 0, 0, 0},
       0},
      {"echo ${@} $((@)) $'@' \\@ $@\n",
       {Place::REFUSED, Place::REFUSED, Place::REFUSED, Place::REFUSED, Place::REFUSED},
       {0, 0, 0, 0, 0},
       0},
      {"echo `ls @` $(ls @)\n", {Place::UNQUOTED, Place::UNQUOTED}, {1, 0}, 0},
      {"cat <<EOF\nx @\nEOF\ncat <<'E'\n@\nE\n",
       {Place::HEREDOC_EXPANDING, Place::HEREDOC_LITERAL},
       {0, 0},
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Reading r = read(c.text);
    EXPECT_EQ(r.lost, std::nullopt);
    EXPECT_EQ(r.places, c.places);
    EXPECT_EQ(r.backquotes, c.backquotes);
    EXPECT_EQ(r.body_lines, c.body_lines);
  }
}

TEST(ShellReader, TellsTheLineFromWhichATextIsNotUnderstood) {
  EXPECT_EQ(read("echo ok\necho 'open\n").lost, 1) << "an open quote";
  EXPECT_EQ(read("echo $(ls\n").lost, 0) << "an open $( )";
  EXPECT_EQ(read("cat <<EOF\nbody\n").lost, 0) << "a here-document without its end";
  EXPECT_EQ(read("echo fine\n").lost, std::nullopt);
}

}  // namespace
