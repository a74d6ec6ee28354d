// What the script writer writes: a commented header, a comment for each
// group header or comment row, and one expansion of the user's template
// for each file row.
//
// Placeholders are expanded for the place they stand in the template, read
// as a shell word, so no file name can make the script run anything:
//   inside '...'   a ' of the value becomes '\''
//   inside "..."   $ ` " \ of the value get a backslash
//   unquoted       a value of letters, digits and -_./,:+@%= only stays as
//                  it is; any other value is single-quoted
//   in a comment   (after an unquoted #, to the end of the template's line)
//                  a line feed or carriage return of the value becomes ?
// A file name without such characters expands exactly as the plain
// substitution would.
#pragma once

#include <ctime>
#include <string>

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

// The template with its placeholders (%D %T %S %C %P %F %E, any case; %%
// for a percent sign) replaced; '%' with another character, and a final
// '%', stay as they are.
std::string expand_template(const std::string& text, const TemplateValues& values);

// The header: opening line, a line of 47 asterisks, the program and
// version, the date, the asterisks again, the closing line and two empty
// lines, each of the middle lines after the style's prefix.
std::string script_header(CommentStyle style, const std::string& date);

// What a group header or comment row becomes (its columns joined by
// blanks): "# " and the line, the line itself, an empty line, or nothing.
std::string comment_line(CommentStyle style, const std::string& row_line);

// The local time as ctime gives it, without its line feed.
std::string script_date(std::time_t when);
