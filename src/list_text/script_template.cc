#include "list_text/script_template.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/shell_words.h"

namespace {

// Where a placeholder stands, read as shell text.
enum class Context { UNQUOTED, SINGLE, DOUBLE, COMMENT };

bool safe_unquoted(const std::string& value) {
  for (char c : value) {
    bool safe =
        std::isalnum(static_cast<unsigned char>(c)) != 0 || std::strchr("-_./,:+@%=", c) != nullptr;
    if (!safe || c == '\0') return false;
  }
  return true;
}

std::string quoted_for(Context context, const std::string& value) {
  std::string out;
  switch (context) {
    case Context::SINGLE:
      for (char c : value) {
        if (c == '\'') {
          out += "'\\''";
        } else {
          out += c;
        }
      }
      return out;
    case Context::DOUBLE:
      for (char c : value) {
        if (c == '$' || c == '`' || c == '"' || c == '\\') out += '\\';
        out += c;
      }
      return out;
    case Context::COMMENT:
      for (char c : value) out += (c == '\n' || c == '\r') ? '?' : c;
      return out;
    case Context::UNQUOTED:
      return safe_unquoted(value) ? value : shell_quote(value);
  }
  return value;
}

std::string placeholder_value(char letter, const TemplateValues& v) {
  switch (std::toupper(static_cast<unsigned char>(letter))) {
    case 'D': {
      char date[32];
      std::snprintf(date, sizeof date, "%15.15s", v.date.c_str());
      return date;
    }
    case 'T':
      return v.time;
    case 'S':
      return v.size;
    case 'C':
      return v.crc;
    case 'P':
      return v.directory;
    case 'F':
      return v.name;
    case 'E':
      return v.extension;
    default:
      return "";
  }
}

bool is_placeholder(char letter) {
  return std::strchr("DTSCPFE", std::toupper(static_cast<unsigned char>(letter))) != nullptr &&
         letter != '\0';
}

// Follows the shell's reading of the template text itself (never of what a
// placeholder brings in): quotes, backslashes and comments.
class ShellReading {
 public:
  Context context() const { return context_; }

  void take(char c) {
    if (escaped_) {  // the character after a backslash is plain
      escaped_ = false;
      word_start_ = false;
      return;
    }
    switch (context_) {
      case Context::UNQUOTED:
        if (c == '\\') {
          escaped_ = true;
        } else if (c == '\'') {
          context_ = Context::SINGLE;
        } else if (c == '"') {
          context_ = Context::DOUBLE;
        } else if (c == '#' && word_start_) {
          context_ = Context::COMMENT;
        }
        break;
      case Context::SINGLE:
        if (c == '\'') context_ = Context::UNQUOTED;
        break;
      case Context::DOUBLE:
        if (c == '\\') {
          escaped_ = true;
        } else if (c == '"') {
          context_ = Context::UNQUOTED;
        }
        break;
      case Context::COMMENT:
        if (c == '\n') context_ = Context::UNQUOTED;
        break;
    }
    word_start_ =
        context_ == Context::UNQUOTED && (c == ' ' || c == '\t' || c == '\n' || c == ';' ||
                                          c == '&' || c == '|' || c == '(' || c == ')');
  }

  // A placeholder's value ends the start of a word.
  void value_written() { word_start_ = false; }

 private:
  Context context_ = Context::UNQUOTED;
  bool escaped_ = false;
  bool word_start_ = true;
};

}  // namespace

std::string expand_template(const std::string& text, const TemplateValues& values) {
  std::string out;
  ShellReading shell;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '%' || i + 1 == text.size()) {
      out += c;
      shell.take(c);
      continue;
    }
    char next = text[++i];
    if (next == '%') {
      out += '%';
      shell.take('%');
    } else if (is_placeholder(next)) {
      out += quoted_for(shell.context(), placeholder_value(next, values));
      shell.value_written();
    } else {
      out += c;
      shell.take(c);
      out += next;
      shell.take(next);
    }
  }
  return out;
}

std::string script_header(CommentStyle style, const std::string& date) {
  std::string opening, prefix, closing;
  if (style == CommentStyle::POUND) {
    opening = prefix = closing = "# ";
  } else if (style == CommentStyle::C) {
    opening = "/* ";
    closing = "*/";
  }
  const std::string stars = prefix + " " + std::string(47, '*') + "\n";
  return opening + "\n" + stars + prefix + " ** Script Created By Pelto Marvish V1.00\n" + prefix +
         " ** Date: " + date + "\n" + stars + closing + "\n\n\n";
}

std::string comment_line(CommentStyle style, const std::string& row_line) {
  switch (style) {
    case CommentStyle::POUND:
      return "# " + row_line + "\n";
    case CommentStyle::C:
      return row_line + "\n";
    case CommentStyle::BLANK:
      return "\n";
    case CommentStyle::NONE:
      return "";
  }
  return "";
}

std::string script_date(std::time_t when) {
  char buffer[64] = "";
  if (ctime_r(&when, buffer) == nullptr) return "";
  std::string date = buffer;
  while (!date.empty() && std::strchr("\n \t\r", date.back()) != nullptr) date.pop_back();
  return date;
}
