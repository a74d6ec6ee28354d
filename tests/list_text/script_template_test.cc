#include "list_text/script_template.h"

#include <gtest/gtest.h>

namespace {

const TemplateValues GIFTS{"Mon-Dec 25,2000", "12:34:56AM", "1,234", "98765432",
                           "/Sub/",           "Gifts",      ".txt"};

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
  };
  for (const Case& c : cases) EXPECT_EQ(expand_template(c.text, v), c.expanded) << c.text;

  // Unquoted, safe characters stay as they are.
  TemplateValues safe = GIFTS;
  safe.directory = "/a-b_c/d.e,f:g+h@i%j=k/";
  EXPECT_EQ(expand_template("ls %P%F%E", safe), "ls /a-b_c/d.e,f:g+h@i%j=k/Gifts.txt");
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
