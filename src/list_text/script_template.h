// What the script writer writes: a commented header, a comment for each
// group header or comment row, and one expansion of the user's template
// for each file row.
//
// The template is read once, as the shell will read it, into a plan that
// says for every placeholder where it truly stands; each row is then
// expanded by the plan. The reading follows the shell's own nesting:
// quotes, backslashes, comments, $( ), backquotes, ${ }, $(( )), $' ' and
// here-documents. The values never change that reading, as each is
// written quoted for its place:
//   inside '...'    a ' of the value becomes '\''
//   inside "..."    $ ` " \ of the value get a backslash
//   unquoted        a value of letters, digits and -_./,:+@%= only stays as
//                   it is; any other value is single-quoted
//   in a comment    (after a # that starts a word, to the end of the line)
//                   a line feed or carriage return of the value becomes ?
//   here-document   in a quoted one (<<'EOF') the value as it is; in an
//                   unquoted one $ ` \ of the value get a backslash
// inside backquotes the value, quoted for its place within them, gets one
// more backslash before each \ ` $ for each level of backquotes.
//
// Where no quoting is safe the template is refused, naming its line: a
// placeholder in ${ }, $(( )), $' ', in backquotes inside double quotes,
// right after an unquoted $ or \, in a here-document's word or in an
// unquoted here-document that runs commands; a template that ends inside
// an open quote, $( ), backquote or here-document; and, for a row, a value
// with a line feed in a here-document or one that would end it early.
// A file name without special characters expands exactly as the plain
// substitution would.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

enum class CommentStyle { POUND, C, BLANK, NONE };

// The values of one file row.
struct TemplateValues {
  std::string date;       // %D, written right-aligned in 15 and cut to 15
  std::string time;       // %T
  std::string size;       // %S
  std::string crc;        // %C
  std::string directory;  // %P, with its trailing "/"
  std::string name;       // %F, without the extension
  std::string extension;  // %E, with its dot
};

// Why the script cannot be written: the line of the template that holds the
// placeholder, or where the part left open begins.
struct TemplateRefusal {
  int line_number = 0;  // counted from 1
  std::string line;     // that line as typed
  bool operator==(const TemplateRefusal&) const = default;
};

// Where a placeholder stands, read as shell text.
enum class PlaceholderPlace {
  UNQUOTED,
  SINGLE_QUOTED,
  DOUBLE_QUOTED,
  COMMENT,
  HEREDOC_EXPANDING,  // a here-document whose word is unquoted
  HEREDOC_LITERAL,    // a here-document whose word is quoted
  REFUSED,            // no quoting is safe here
};

// The template read as shell text, ready to be expanded row after row.
// Placeholders: %D %T %S %C %P %F %E (any case); %% is a percent sign; '%'
// with another character, and a final '%', stay as they are. Each
// expansion ends with the line feed the writer puts after every row: the
// template is read with it.
class ScriptTemplate {
 public:
  explicit ScriptTemplate(const std::string& text);

  // Set when the template cannot be used whatever the values.
  const std::optional<TemplateRefusal>& refusal() const { return refusal_; }

  // Appends the row's expansion to `out`, or returns why it cannot be
  // written safely (`out` is then left as it was).
  std::optional<TemplateRefusal> expand(const TemplateValues& values, std::string& out) const;

  // Where each placeholder stands, in the order of the template, with its
  // levels of backquotes.
  struct Placement {
    PlaceholderPlace place;
    int backquotes;
    bool operator==(const Placement&) const = default;
  };
  std::vector<Placement> placements() const;

  // A piece of the text: a run of characters, or a placeholder.
  struct Part {
    std::string text;
    int slot = -1;  // the placeholder, or -1 for text
  };
  struct Slot {
    char letter = 0;  // D T S C P F E
    PlaceholderPlace place = PlaceholderPlace::UNQUOTED;
    int backquotes = 0;
    bool quote_if_empty = false;  // unquoted, and an empty word would change the reading
    int line = 0;                 // the template line, from 0
  };
  // A here-document line holding placeholders: once filled in, it must not
  // read as the line that ends the document.
  struct BodyLine {
    std::vector<Part> parts;  // as the here-document holds them
    std::string delimiter;
    bool strip_tabs = false;  // <<-
    int line = 0;
  };

 private:
  std::vector<std::string> lines_;  // the template's lines as typed
  std::vector<Part> parts_;         // the text of one row
  std::vector<Slot> slots_;
  std::vector<BodyLine> body_lines_;
  std::optional<TemplateRefusal> refusal_;

  TemplateRefusal refusal_at(int line) const;
};

// The header: opening line, a line of 47 asterisks, the program and
// version, the date, the asterisks again, the closing line and two empty
// lines, each of the middle lines after the style's prefix.
std::string script_header(CommentStyle style, const std::string& date);

// What a group header or comment row becomes (its columns joined by
// blanks): "# " and the line, the line itself, an empty line, or nothing.
std::string comment_line(CommentStyle style, const std::string& row_line);

// The local time as ctime gives it, without its line feed.
std::string script_date(std::time_t when);
