#include "list_text/script_template.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/shell_words.h"
#include "core/version.h"
#include "list_text/shell_reader.h"

namespace {

using Place = PlaceholderPlace;
using Part = ScriptTemplate::Part;
using Slot = ScriptTemplate::Slot;
using BodyLine = ScriptTemplate::BodyLine;

// ---- Quoting a value for its place --------------------------------------------

bool safe_unquoted(const std::string& value) {
  for (char c : value) {
    bool safe =
        std::isalnum(static_cast<unsigned char>(c)) != 0 || std::strchr("-_./,:+@%=", c) != nullptr;
    if (!safe || c == '\0') return false;
  }
  return true;
}

// `value` with a backslash before each character of `special`.
std::string escaped(const std::string& value, const char* special) {
  std::string out;
  for (char c : value) {
    if (c != '\0' && std::strchr(special, c) != nullptr) out += '\\';
    out += c;
  }
  return out;
}

std::string quoted_for(const Slot& slot, const std::string& value) {
  std::string out;
  switch (slot.place) {
    case Place::SINGLE_QUOTED:
      for (char c : value) {
        if (c == '\'') {
          out += "'\\''";
        } else {
          out += c;
        }
      }
      return out;
    case Place::DOUBLE_QUOTED:
      return escaped(value, "$`\"\\");
    case Place::COMMENT:
      for (char c : value) out += (c == '\n' || c == '\r') ? '?' : c;
      return out;
    case Place::UNQUOTED:
      if (value.empty()) return slot.quote_if_empty ? "''" : "";
      return safe_unquoted(value) ? value : shell_quote(value);
    case Place::HEREDOC_EXPANDING:
      return escaped(value, "$`\\");
    case Place::HEREDOC_LITERAL:
      return value;
    case Place::REFUSED:
      break;
  }
  return "";
}

std::string placeholder_value(char letter, const TemplateValues& v) {
  switch (letter) {
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
  return letter != '\0' &&
         std::strchr("DTSCPFE", std::toupper(static_cast<unsigned char>(letter))) != nullptr;
}

bool in_heredoc(Place place) {
  return place == Place::HEREDOC_EXPANDING || place == Place::HEREDOC_LITERAL;
}

// `text` with a backslash before each \ ` $, once for each level of
// backquotes around it.
std::string backquoted(std::string text, int levels) {
  for (int i = 0; i < levels; ++i) text = escaped(text, "\\`$");
  return text;
}

}  // namespace

ScriptTemplate::ScriptTemplate(const std::string& text) {
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
    lines_.push_back(text.substr(start, nl - start));
  }
  lines_.push_back(text.substr(start));

  std::vector<ShellToken> tokens;
  int line = 0;
  auto add_char = [&](char c) {
    tokens.push_back({c, -1, line});
    if (c == '\n') ++line;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '%' || i + 1 == text.size()) {
      add_char(c);
      continue;
    }
    const char next = text[++i];
    if (next == '%') {
      add_char('%');
    } else if (is_placeholder(next)) {
      Slot s;
      s.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(next)));
      s.place = Place::REFUSED;  // until the reading finds its place
      s.line = line;
      tokens.push_back({0, static_cast<int>(slots_.size()), line});
      slots_.push_back(s);
    } else {
      add_char(c);
      add_char(next);
    }
  }
  add_char('\n');  // the line feed after every row

  for (const ShellToken& t : tokens) {
    if (t.slot >= 0) {
      parts_.push_back({"", t.slot});
    } else {
      if (parts_.empty() || parts_.back().slot >= 0) parts_.push_back({});
      parts_.back().text += t.c;
    }
  }

  const std::optional<int> lost = read_shell_text(std::move(tokens), slots_, body_lines_);
  if (slots_.empty()) return;  // nothing to quote: the text is the user's own
  std::optional<int> first = lost;
  for (const Slot& s : slots_) {
    if (s.place == Place::REFUSED && (!first || s.line < *first)) first = s.line;
  }
  if (first) refusal_ = refusal_at(*first);
}

TemplateRefusal ScriptTemplate::refusal_at(int line) const {
  return {line + 1, lines_[static_cast<std::size_t>(line)]};
}

std::vector<ScriptTemplate::Placement> ScriptTemplate::placements() const {
  std::vector<Placement> out;
  for (const Slot& s : slots_) out.push_back({s.place, s.backquotes});
  return out;
}

std::optional<TemplateRefusal> ScriptTemplate::expand(const TemplateValues& values,
                                                      std::string& out) const {
  if (refusal_) return refusal_;
  std::vector<std::string> quoted(slots_.size());
  for (std::size_t s = 0; s < slots_.size(); ++s) {
    const std::string value = placeholder_value(slots_[s].letter, values);
    // A line feed would begin a new line of the here-document, one that
    // could end it.
    if (in_heredoc(slots_[s].place) && value.find('\n') != std::string::npos) {
      return refusal_at(slots_[s].line);
    }
    quoted[s] = quoted_for(slots_[s], value);
  }
  for (const BodyLine& b : body_lines_) {
    std::string text;
    std::vector<std::size_t> value_starts;
    for (const Part& p : b.parts) {
      if (p.slot >= 0) {
        if (!quoted[p.slot].empty()) value_starts.push_back(text.size());
        text += quoted[p.slot];
      } else {
        text += p.text;
      }
    }
    if (b.strip_tabs) {
      const std::size_t tabs = std::min(text.find_first_not_of('\t'), text.size());
      // <<- would take the tabs a value begins with.
      for (std::size_t at : value_starts) {
        if (at < tabs) return refusal_at(b.line);
      }
      text.erase(0, tabs);
    }
    if (text == b.delimiter) return refusal_at(b.line);  // the line would end the document
  }
  for (const Part& p : parts_) {
    out += p.slot < 0 ? p.text : backquoted(quoted[p.slot], slots_[p.slot].backquotes);
  }
  return std::nullopt;
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
  return opening + "\n" + stars + prefix + " ** Script Created By Pelto Marvish V" +
         program_version() + "\n" + prefix + " ** Date: " + date + "\n" + stars + closing +
         "\n\n\n";
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
