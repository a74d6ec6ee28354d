#include "list_text/script_template.h"

#include <gtest/gtest.h>

namespace {

const TemplateValues GIFTS{"Mon-Dec 25,2000", "12:34:56AM", "1,234", "98765432",
                           "/Sub/",           "Gifts",      ".txt"};

// The row's text without the line feed that ends every row ("REFUSED n" when
// the row is refused at template line n).
std::string expand_template(const std::string& text, const TemplateValues& values) {
  std::string out = "kept";
  ScriptTemplate plan(text);
  if (auto refusal = plan.expand(values, out)) {
    EXPECT_EQ(out, "kept") << "a refused row adds nothing";
    return "REFUSED " + std::to_string(refusal->line_number);
  }
  EXPECT_EQ(out.substr(0, 4), "kept");
  EXPECT_EQ(out.back(), '\n') << text;
  return out.substr(4, out.size() - 5);
}

TEST(ScriptTemplate, PlaceholdersExpandWhateverTheirCase) {
  struct Case {
    const char* text;
    const char* expanded;
  };
  const Case cases[] = {
      {"# %D %T %S %C\n'%P%F%E'\n\n",
       "# Mon-Dec 25,2000 12:34:56AM 1,234 98765432\n'/Sub/Gifts.txt'\n\n"},
      {"#%d|%t|%s|%c|%p|%f|%e", "#Mon-Dec 25,2000|12:34:56AM|1,234|98765432|/Sub/|Gifts|.txt"},
      // Unquoted, a date with a blank is one word all the same.
      {"echo %D %T", "echo 'Mon-Dec 25,2000' 12:34:56AM"},
      {"%x %% %q", "%x % %q"},
      {"100%", "100%"},  // a final percent stays
      {"%%P", "%P"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(expand_template(c.text, GIFTS), c.expanded) << c.text;

  TemplateValues v = GIFTS;
  v.date = "Tue-Jan 1,2019";  // right-aligned in 15
  EXPECT_EQ(expand_template("#[%D]", v), "#[ Tue-Jan 1,2019]");
  v.date = "A date that is much too long";  // cut to 15
  EXPECT_EQ(expand_template("#[%D]", v), "#[A date that is ]");
}

TEST(ScriptTemplate, ValuesAreQuotedForWhereTheyStand) {
  TemplateValues v = GIFTS;
  v.directory = "/it's $(x) `y` \"q\" \\/";
  v.name = "a\nb";
  v.extension = "";
  struct Case {
    const char* text;
    std::string expanded;
  };
  const Case cases[] = {
      {"'%P'", "'/it'\\''s $(x) `y` \"q\" \\/'"},
      {"\"%P\"", "\"/it's \\$(x) \\`y\\` \\\"q\\\" \\\\/\""},
      {"rm %P", "rm '/it'\\''s $(x) `y` \"q\" \\/'"},
      {"# %P%F\n%F", "# /it's $(x) `y` \"q\" \\/a?b\n'a\nb'"},
      {"echo %E.", "echo ."},  // empty and unquoted: nothing
      {"x#%F", "x#'a\nb'"},    // # inside a word is no comment
      {"\\'%F", "\\''a\nb'"},  // an escaped quote opens nothing
      {"'a' %F", "'a' 'a\nb'"},
      // An empty value before # would leave the # at the start of a word.
      {"echo %E#x '%F'", "echo ''#x 'a\nb'"},
      {"echo %F#x", "echo 'a\nb'#x"},
      // Inside $( ), in and out of double quotes, nested.
      {"printf '%%s\\n' \"$(basename '%P')\"",
       "printf '%s\\n' \"$(basename '/it'\\''s $(x) `y` \"q\" \\/')\""},
      {"\"$(echo \"%F\")\"", "\"$(echo \"a\nb\")\""},
      {"$(dirname $(basename %F) '%E')", "$(dirname $(basename 'a\nb') '')"},
      {"$( (cd /; echo %E) ; echo \"%F\" ) %F", "$( (cd /; echo ) ; echo \"a\nb\" ) 'a\nb'"},
      // Backquotes: quoted for the place inside them, then \ ` $ escaped
      // once for each level.
      {"`echo '%P'`", "`echo '/it'\\\\''s \\$(x) \\`y\\` \"q\" \\\\/'`"},
      {"`echo \\`echo \"%F%P\"\\``",
       "`echo \\`echo \"a\nb/it's \\\\\\\\\\\\\\$(x) \\\\\\\\\\\\\\`y\\\\\\\\\\\\\\` "
       "\\\\\\\\\"q\\\\\\\\\" \\\\\\\\\\\\\\\\/\"\\``"},
      {"`echo # %F`", "`echo # a?b`"},
      // Here-documents: literal when their word is quoted.
      {"cat <<'EOF'\n%P\nEOF", "cat <<'EOF'\n/it's $(x) `y` \"q\" \\/\nEOF"},
      {"cat <<EOF\n%P\nEOF", "cat <<EOF\n/it's \\$(x) \\`y\\` \"q\" \\\\/\nEOF"},
      {"cat <<<%E%P", "cat <<<'/it'\\''s $(x) `y` \"q\" \\/'"},
  };
  for (const Case& c : cases) EXPECT_EQ(expand_template(c.text, v), c.expanded) << c.text;

  // Unquoted, safe characters stay as they are.
  TemplateValues safe = GIFTS;
  safe.directory = "/a-b_c/d.e,f:g+h@i%j=k/";
  EXPECT_EQ(expand_template("ls %P%F%E", safe), "ls /a-b_c/d.e,f:g+h@i%j=k/Gifts.txt");
}

// Where the reading puts each placeholder, or the template line it refuses.
TEST(ScriptTemplate, TheTemplateIsReadAsTheShellReadsIt) {
  using P = PlaceholderPlace;
  using Pl = ScriptTemplate::Placement;
  const Pl U{P::UNQUOTED, 0}, S{P::SINGLE_QUOTED, 0}, D{P::DOUBLE_QUOTED, 0}, C{P::COMMENT, 0},
      X{P::REFUSED, 0}, H{P::HEREDOC_EXPANDING, 0}, L{P::HEREDOC_LITERAL, 0};
  struct Case {
    const char* text;
    std::vector<Pl> places;
    int refused_line;  // 0: the template is accepted
  };
  const Case cases[] = {
      // Quotes, comments, backslashes.
      {"cp '%P' \"%F\" %E # %S", {S, D, U, C}, 0},
      {"a \\' %P\n# ' %F\n%E", {U, C, U}, 0},
      {"echo \"it's\" %P '\"' %F", {U, U}, 0},
      {"echo \\\n%P", {U}, 0},
      // $( ), with subshells, nested, in double quotes.
      {"printf '%%s\\0' \"$(basename '%P')\" %F", {S, U}, 0},
      {"$(dirname \"$(basename %P)\") %F", {U, U}, 0},
      {"$( (cd / && (echo ')' %P)) ) '%F'", {U, S}, 0},
      {"$(echo # ) '\n%P) %F", {U, U}, 0},
      // Backquotes and their backslashes, two levels.
      {"`echo '%P'` %F", {{P::SINGLE_QUOTED, 1}, U}, 0},
      {"`echo \\`echo \"%P\" %F\\`` %E", {{P::DOUBLE_QUOTED, 2}, {P::UNQUOTED, 2}, U}, 0},
      // Inside them a backslash goes before $ ` \ only.
      {"`echo \\$(echo %P) \\\"%F\\\"`", {{P::UNQUOTED, 1}, {P::UNQUOTED, 1}}, 0},
      {"`echo \\\\\\\\'%P'`", {{P::SINGLE_QUOTED, 1}}, 0},
      {"`echo \\\\'%P'`", {{P::UNQUOTED, 1}}, 1},
      {"echo \"`echo %P`\"", {X}, 1},
      // ${ }, $(( )), $' ': no quoting is safe inside.
      {"echo ${x:-%P}", {X}, 1},
      {"echo \"${x:-'%P'}\"", {X}, 1},
      {"echo ${x:-'}'} '%P'", {S}, 0},
      {"echo $((%S + 1))", {X}, 1},
      {"echo $(( (1+2) * 3 )) %S", {U}, 0},
      {"echo $'%P'", {X}, 1},
      {"echo $'a\\tb' \"%P\"", {D}, 0},
      {"echo $'it\\'s' %P", {X}, 1},
      // A value after an unquoted $ or \ would join with it.
      {"echo $%F \"$%F\" \\%F", {X, X, X}, 1},
      {"echo '$%F' '\\%F'", {S, S}, 0},
      // Here-documents: quoted words, <<-, two on a line, here-strings.
      {"cat >> list <<EOF\n%P%F\nEOF\necho %E", {H, H, U}, 0},
      {"cat <<'EOF'\n%P\nEOF", {L}, 0},
      {"cat <<\"EOF\"\n%P\nEOF", {L}, 0},
      {"cat <<\\EOF\n%P\nEOF", {L}, 0},
      {"cat <<E\"O\"F\n%P\nEOF", {L}, 0},
      {"cat <<-EOF\n\t%P\n\tEOF\necho '%F'", {H, S}, 0},
      {"cat <<A - <<'B'; echo '%S'\n%P\nA\n%F\nB\n%E", {S, H, L, U}, 0},
      {"cat <<<%P; cat <<< '%F'", {U, S}, 0},
      {"x=\"$(cat <<EOF\n%P\nEOF\n)\" %F", {H, U}, 0},
      {"cat <<EOF\n$(date) %P\nEOF", {X}, 2},
      {"cat <<EOF\n%P\n`date`\nEOF", {X}, 2},
      {"cat <<EOF\n\\$(date) \\`date\\` %P\nEOF", {H}, 0},
      {"cat <<'EOF'\n$(date) %P\nEOF", {L}, 0},
      {"cat <<%F\nx\n%F", {X, X}, 1},
      {"cat <<EOF\na\\\n%P\nEOF", {X}, 2},
      // case inside $( ): its ')' cannot be matched.
      {"echo $(case %F in *) echo;; esac) %P", {X, X}, 1},
      {"case %F in *.txt) echo '%P';; esac", {U, S}, 0},
      {"echo '%P'\n(( x = 1 ))", {S}, 2},
      // Left open: the next row would begin inside it.
      {"echo '%P", {S}, 1},
      {"echo %P\necho \"a\nb %F", {U, D}, 2},
      {"echo $(cat '%P'", {S}, 1},
      {"echo `echo %P", {X}, 1},
      {"cat <<EOF\n%P", {H}, 1},
      {"echo %P \\", {U}, 1},
      {"echo '", {}, 0},  // no placeholder: the text is the user's own
  };
  for (const Case& c : cases) {
    ScriptTemplate plan(c.text);
    EXPECT_EQ(plan.placements(), c.places) << c.text;
    if (c.refused_line == 0) {
      EXPECT_FALSE(plan.refusal()) << c.text;
    } else {
      ASSERT_TRUE(plan.refusal()) << c.text;
      EXPECT_EQ(plan.refusal()->line_number, c.refused_line) << c.text;
    }
  }
  // The refusal names the line as typed.
  ScriptTemplate refused("echo one\n  echo ${x:-%P} two\nthree");
  ASSERT_TRUE(refused.refusal());
  EXPECT_EQ(*refused.refusal(), (TemplateRefusal{2, "  echo ${x:-%P} two"}));
  std::string out;
  EXPECT_EQ(refused.expand(GIFTS, out), refused.refusal());
  EXPECT_EQ(out, "");
}

// In a here-document no quoting keeps a line feed, or a line that reads as
// the document's end, from ending it.
TEST(ScriptTemplate, HereDocumentValuesThatWouldEndTheDocumentAreRefused) {
  struct Case {
    const char* text;
    const char* name;  // %F
    std::string expanded;
  };
  const Case cases[] = {
      {"cat <<EOF\n%P%F\nEOF", "a\nEOF\nb", "REFUSED 2"},
      {"cat <<'EOF'\n%P%F\nEOF", "a\nb", "REFUSED 2"},
      {"cat <<EOF\n%F\nEOF", "EOF", "REFUSED 2"},
      {"cat <<EOF\n%F\nEOF", "EOF ", "cat <<EOF\nEOF \nEOF"},
      {"cat <<EOF\nEOF%E\nEOF", "x", "REFUSED 2"},  // an empty %E
      {"cat <<-EOF\n\t%F\n\tEOF", "EOF", "REFUSED 2"},
      {"cat <<-EOF\n\t%F\n\tEOF", "\tx", "REFUSED 2"},  // <<- would take its tab
      {"cat <<-EOF\n\t%F\n\tEOF", "x\ty", "cat <<-EOF\n\tx\ty\n\tEOF"},
      {"cat <<E%%\n%F\nE%%", "E%", "REFUSED 2"},  // %% is a percent sign
      {"cat <<EOF\n%F\nEOF", "$EOF", "cat <<EOF\n\\$EOF\nEOF"},
      // Outside here-documents a line feed is quoted as ever.
      {"echo \"%F\" '%F' %F", "a\nEOF", "echo \"a\nEOF\" 'a\nEOF' 'a\nEOF'"},
  };
  for (const Case& c : cases) {
    TemplateValues v = GIFTS;
    v.name = c.name;
    v.extension = "";
    EXPECT_EQ(expand_template(c.text, v), c.expanded) << c.text << " with " << c.name;
  }
}

TEST(ScriptTemplate, HeaderAndGroupLinesPerStyle) {
  const std::string stars(47, '*');
  EXPECT_EQ(script_header(CommentStyle::POUND, "Mon Dec 25 12:34:56 2000"),
            "# \n#  " + stars +
                "\n#  ** Script Created By Pelto Marvish V1.00\n"
                "#  ** Date: Mon Dec 25 12:34:56 2000\n#  " +
                stars + "\n# \n\n\n");
  EXPECT_EQ(script_header(CommentStyle::C, "D"),
            "/* \n " + stars + "\n ** Script Created By Pelto Marvish V1.00\n ** Date: D\n " +
                stars + "\n*/\n\n\n");
  for (CommentStyle s : {CommentStyle::BLANK, CommentStyle::NONE}) {
    EXPECT_EQ(script_header(s, "D"), "\n " + stars +
                                         "\n ** Script Created By Pelto Marvish V1.00\n"
                                         " ** Date: D\n " +
                                         stars + "\n\n\n\n");
  }
  const std::string row = "/* Group 1  (1 - 2) */   ";
  EXPECT_EQ(comment_line(CommentStyle::POUND, row), "# " + row + "\n");
  EXPECT_EQ(comment_line(CommentStyle::C, row), row + "\n");
  EXPECT_EQ(comment_line(CommentStyle::BLANK, row), "\n");
  EXPECT_EQ(comment_line(CommentStyle::NONE, row), "");
}

}  // namespace
