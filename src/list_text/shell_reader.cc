// The shell reader (shell_reader.h): one Reader for the template, and one
// more for the text inside each pair of backquotes, all sharing what they
// find.
#include "list_text/shell_reader.h"

#include <cstring>
#include <deque>
#include <string>
#include <utility>

namespace {

using Place = PlaceholderPlace;
using Part = ScriptTemplate::Part;
using Slot = ScriptTemplate::Slot;
using BodyLine = ScriptTemplate::BodyLine;
using Token = ShellToken;

// What the reading finds, shared with the readings of backquoted text.
struct Findings {
  std::vector<Slot>& slots;
  std::vector<BodyLine>& body_lines;
  std::optional<int> lost;  // the line from which the text is not understood

  void lose(int line) {
    if (!lost) lost = line;
  }
};

enum class Frame {
  COMMAND,       // the top of a reading (the template, or backquoted text)
  SUBSTITUTION,  // $( ... )
  SINGLE,        // '...'
  DOUBLE,        // "..."
  PARAMETER,     // ${ ... }
  ARITHMETIC,    // $(( ... ))
  ANSI,          // $'...'
  COMMENT,       // # to the end of the line
};

bool is_command(Frame f) { return f == Frame::COMMAND || f == Frame::SUBSTITUTION; }

struct Level {
  Frame kind;
  int line;        // where it was opened
  int parens = 0;  // SUBSTITUTION, ARITHMETIC: '(' open inside
  // COMMAND and SUBSTITUTION: the word being read.
  bool has_content = false;       // a character or a quote
  bool word_quoted = false;       // some of it quoted
  std::string word{};             // its unquoted characters
  std::vector<int> word_slots{};  // unquoted placeholders, while the word holds nothing else
};

struct Heredoc {
  std::string delimiter;
  bool quoted = false;      // the body is taken literally
  bool strip_tabs = false;  // <<-
  std::size_t depth = 0;    // the frames open at its operator
  int line = 0;             // of its operator
};

// Reads one text: the template (with the line feed after each row) or the
// text inside a pair of backquotes, which is read by a reader of its own.
class Reader {
 public:
  Reader(std::vector<Token> tokens, int backquotes, Findings& found)
      : tokens_(std::move(tokens)), backquotes_(backquotes), found_(found) {
    stack_.push_back({Frame::COMMAND, 0});
  }

  void read() {
    while (i_ < tokens_.size() && !found_.lost) {
      if (!bodies_.empty()) {
        body_token();
        continue;
      }
      const Token& t = tokens_[i_];
      if (t.slot >= 0) {
        placeholder(t);
        ++i_;
        continue;
      }
      const Frame kind = top().kind;
      if (t.c == '\n' && !pending_.empty() && !is_command(kind) && kind != Frame::COMMENT) {
        // A quoted line feed while a here-document waits for its body: where
        // the body begins is not followed here.
        found_.lose(t.line);
        return;
      }
      switch (kind) {
        case Frame::COMMAND:
        case Frame::SUBSTITUTION:
          command_char();
          break;
        case Frame::SINGLE:
          if (t.c == '\'') stack_.pop_back();
          ++i_;
          break;
        case Frame::DOUBLE:
          double_char();
          break;
        case Frame::PARAMETER:
          parameter_char();
          break;
        case Frame::ARITHMETIC:
          arithmetic_char();
          break;
        case Frame::ANSI:
          ansi_char();
          break;
        case Frame::COMMENT:
          if (t.c == '\n') {
            stack_.pop_back();  // the line feed is read again, as a line feed
          } else {
            ++i_;
          }
          break;
      }
    }
    finish();
  }

 private:
  Level& top() { return stack_.back(); }
  const Token* token(std::size_t at) const { return at < tokens_.size() ? &tokens_[at] : nullptr; }
  // The character at `at`, or 0 for a placeholder or the end.
  char char_at(std::size_t at) const {
    const Token* t = token(at);
    return t != nullptr && t->slot < 0 ? t->c : '\0';
  }
  bool slot_at(std::size_t at) const {
    const Token* t = token(at);
    return t != nullptr && t->slot >= 0;
  }
  Slot& slot(const Token& t) { return found_.slots[t.slot]; }
  void push(Frame kind, int line) { stack_.push_back({kind, line}); }

  // The character at i_ is a backslash or '$' that acts on what follows: a
  // value right after it would join with it, whatever its quoting.
  void refuse_value_after() {
    if (slot_at(i_ + 1)) tokens_[i_ + 1].refuse = true;
  }

  void placeholder(const Token& t) {
    Slot& s = slot(t);
    s.backquotes = backquotes_;
    bool refuse = t.refuse || escaped_;
    escaped_ = false;
    for (const Level& l : stack_) {
      if (l.kind == Frame::PARAMETER || l.kind == Frame::ARITHMETIC || l.kind == Frame::ANSI) {
        refuse = true;
      }
    }
    Place place = Place::REFUSED;
    switch (top().kind) {
      case Frame::COMMAND:
      case Frame::SUBSTITUTION:
        place = Place::UNQUOTED;
        if (!top().has_content) top().word_slots.push_back(t.slot);
        break;
      case Frame::SINGLE:
        place = Place::SINGLE_QUOTED;
        break;
      case Frame::DOUBLE:
        place = Place::DOUBLE_QUOTED;
        break;
      case Frame::COMMENT:
        place = Place::COMMENT;
        break;
      default:
        break;
    }
    s.place = refuse ? Place::REFUSED : place;
  }

  // The word of a command frame gets a character (or, `quoted`, a quote).
  static void add_content(Level& f, bool quoted, char c = 0) {
    f.has_content = true;
    f.word_slots.clear();
    if (quoted) {
      f.word_quoted = true;
    } else {
      f.word += c;
    }
  }

  // A word of only placeholders followed by `c`: an empty value would
  // leave `c` at the start of a word, where it reads differently.
  void before_word_char(Level& f) {
    if (!f.has_content) {
      for (int s : f.word_slots) found_.slots[s].quote_if_empty = true;
    }
  }

  void end_word(Level& f, int line) {
    // The patterns of a case end with ')': a $( ) holding one cannot be
    // matched to its ')' here.
    if (f.kind == Frame::SUBSTITUTION && !f.word_quoted && f.word == "case") found_.lose(line);
    f.has_content = false;
    f.word_quoted = false;
    f.word.clear();
    f.word_slots.clear();
  }

  void command_char() {
    Level& f = top();
    const Token& t = tokens_[i_];
    const char c = t.c;
    if (escaped_) {
      escaped_ = false;
      if (c == '\n') {  // a continued line
        // The line feed after the last row continued: the next row would
        // begin inside this line.
        if (!pending_.empty() || (backquotes_ == 0 && i_ + 1 == tokens_.size())) {
          found_.lose(t.line);
        }
      } else {
        add_content(f, true);
      }
      ++i_;
      return;
    }
    switch (c) {
      case '\\':
        escaped_ = true;
        escape_line_ = t.line;
        refuse_value_after();
        ++i_;
        return;
      case '\'':
      case '"':
        add_content(f, true);
        push(c == '\'' ? Frame::SINGLE : Frame::DOUBLE, t.line);
        ++i_;
        return;
      case '`':
        add_content(f, true);
        backquotes();
        return;
      case '$':
        add_content(f, true);
        dollar(true);
        return;
      case '#':
        if (!f.has_content && f.word_slots.empty()) {
          push(Frame::COMMENT, t.line);
        } else {
          before_word_char(f);
          add_content(f, false, c);
        }
        ++i_;
        return;
      case ' ':
      case '\t':
      case ';':
      case '&':
      case '|':
      case '>':
        end_word(f, t.line);
        ++i_;
        return;
      case '<':
        end_word(f, t.line);
        if (char_at(i_ + 1) == '<') {
          if (char_at(i_ + 2) == '<') {
            i_ += 3;  // a here-string: an ordinary word follows
          } else {
            heredoc_operator();
          }
          return;
        }
        ++i_;
        return;
      case '(': {
        const bool word_start = !f.has_content && f.word_slots.empty();
        before_word_char(f);
        end_word(f, t.line);
        if (word_start && char_at(i_ + 1) == '(') {
          found_.lose(t.line);  // (( )): arithmetic to bash, two subshells to sh
          return;
        }
        if (f.kind == Frame::SUBSTITUTION) ++f.parens;
        ++i_;
        return;
      }
      case ')':
        end_word(f, t.line);
        if (found_.lost) return;
        if (f.kind == Frame::SUBSTITUTION) {
          if (f.parens > 0) {
            --f.parens;
          } else {
            close_substitution(t.line);
          }
        }
        ++i_;
        return;
      case '\n':
        end_word(f, t.line);
        ++i_;
        if (!pending_.empty()) start_bodies(t.line);
        return;
      default:
        add_content(f, false, c);
        ++i_;
        return;
    }
  }

  // A '$' where it expands (in a command frame when `command`).
  void dollar(bool command) {
    const int line = tokens_[i_].line;
    refuse_value_after();
    const char next = char_at(i_ + 1);
    if (next == '(') {
      if (char_at(i_ + 2) == '(') {
        push(Frame::ARITHMETIC, line);
        i_ += 3;
      } else {
        push(Frame::SUBSTITUTION, line);
        i_ += 2;
      }
    } else if (next == '{') {
      push(Frame::PARAMETER, line);
      i_ += 2;
    } else if (next == '[') {
      found_.lose(line);  // bash's old arithmetic
    } else if (next == '\'' && command) {
      push(Frame::ANSI, line);
      i_ += 2;
    } else {
      ++i_;  // a plain '$', or a parameter such as $1 or $HOME
    }
  }

  void close_substitution(int line) {
    for (const Heredoc& h : pending_) {
      if (h.depth >= stack_.size()) {
        found_.lose(line);  // its here-document would have to begin inside
        return;
      }
    }
    stack_.pop_back();
  }

  // Shared by the frames in which a backslash quotes the next character:
  // true when the character at i_ was taken.
  bool escape_char() {
    if (escaped_) {
      escaped_ = false;
      ++i_;
      return true;
    }
    if (tokens_[i_].c == '\\') {
      escaped_ = true;
      escape_line_ = tokens_[i_].line;
      refuse_value_after();
      ++i_;
      return true;
    }
    return false;
  }

  void double_char() {
    if (escape_char()) return;
    const Token& t = tokens_[i_];
    if (t.c == '"') {
      stack_.pop_back();
      ++i_;
    } else if (t.c == '$') {
      dollar(false);
    } else if (t.c == '`') {
      skip_backquotes();  // its own rules inside double quotes
    } else {
      ++i_;
    }
  }

  void parameter_char() {
    if (escape_char()) return;
    const Token& t = tokens_[i_];
    switch (t.c) {
      case '}':
        stack_.pop_back();
        ++i_;
        return;
      case '{':
        found_.lose(t.line);  // the shells count braces inside differently
        return;
      case '\'':
        // A quote inside ${ } inside double quotes: the shells differ.
        if (stack_.size() >= 2 && stack_[stack_.size() - 2].kind == Frame::DOUBLE) {
          found_.lose(t.line);
          return;
        }
        push(Frame::SINGLE, t.line);
        ++i_;
        return;
      case '"':
        push(Frame::DOUBLE, t.line);
        ++i_;
        return;
      case '$':
        dollar(false);
        return;
      case '`':
        skip_backquotes();
        return;
      default:
        ++i_;
    }
  }

  void arithmetic_char() {
    if (escape_char()) return;
    Level& f = top();
    const Token& t = tokens_[i_];
    switch (t.c) {
      case '(':
        ++f.parens;
        ++i_;
        return;
      case ')':
        if (f.parens > 0) {
          --f.parens;
          ++i_;
        } else if (char_at(i_ + 1) == ')') {
          stack_.pop_back();
          i_ += 2;
        } else {
          found_.lose(t.line);  // bash would read a $( ( ... ) ) here
        }
        return;
      case '\'':
      case '"':
        found_.lose(t.line);
        return;
      case '$':
        dollar(false);
        return;
      case '`':
        skip_backquotes();
        return;
      default:
        ++i_;
    }
  }

  void ansi_char() {
    const Token& t = tokens_[i_];
    if (escaped_) {
      escaped_ = false;
      // \' goes on in bash; sh has no $'...' and ends the quote there.
      if (t.c == '\'') {
        found_.lose(t.line);
        return;
      }
    } else if (t.c == '\\') {
      escaped_ = true;
      escape_line_ = t.line;
    } else if (t.c == '\'') {
      stack_.pop_back();
    }
    ++i_;
  }

  // Backquotes in a command frame: the text up to the next backquote that
  // has no backslash before it, with the backslash taken away before $ `
  // and \, is read as commands of its own.
  void backquotes() {
    const int line = tokens_[i_].line;
    std::vector<Token> inner;
    std::size_t j = i_ + 1;
    for (; j < tokens_.size(); ++j) {
      const Token& t = tokens_[j];
      if (t.slot >= 0) {
        inner.push_back(t);
        continue;
      }
      if (t.c == '`') break;
      if (t.c == '\n' && !pending_.empty()) {
        found_.lose(t.line);
        return;
      }
      if (t.c == '\\' && j + 1 < tokens_.size()) {
        const Token& u = tokens_[j + 1];
        if (u.slot >= 0) {
          // The backslash would act on the value's first character.
          Token refused = u;
          refused.refuse = true;
          inner.push_back(t);
          inner.push_back(refused);
          ++j;
          continue;
        }
        if (u.c == '$' || u.c == '`' || u.c == '\\') {
          inner.push_back(u);
          ++j;
          continue;
        }
      }
      inner.push_back(t);
    }
    if (j >= tokens_.size()) {
      found_.lose(line);
      return;
    }
    Reader(std::move(inner), backquotes_ + 1, found_).read();
    i_ = j + 1;
  }

  // Backquotes where their text is not read here (in double quotes, ${ }
  // or $(( ))): passed over to their end, and no placeholder may stand
  // in them.
  void skip_backquotes() {
    const int line = tokens_[i_].line;
    std::size_t j = i_ + 1;
    for (; j < tokens_.size(); ++j) {
      const Token& t = tokens_[j];
      if (t.slot >= 0) {
        slot(t).place = Place::REFUSED;
        continue;
      }
      if (t.c == '`') break;
      if (t.c == '\n' && !pending_.empty()) {
        found_.lose(t.line);
        return;
      }
      if (t.c == '\\' && j + 1 < tokens_.size()) {
        ++j;
        if (tokens_[j].slot >= 0) slot(tokens_[j]).place = Place::REFUSED;
      }
    }
    if (j >= tokens_.size()) {
      found_.lose(line);
      return;
    }
    i_ = j + 1;
  }

  // <<WORD or <<-WORD at i_: the word, with its quotes taken away, is the
  // line that ends the here-document; any quoting makes its body literal.
  void heredoc_operator() {
    Heredoc h;
    h.line = tokens_[i_].line;
    h.depth = stack_.size();
    i_ += 2;
    if (char_at(i_) == '-') {
      h.strip_tabs = true;
      ++i_;
    }
    while (char_at(i_) == ' ' || char_at(i_) == '\t') ++i_;
    // A placeholder in the word: the end of the document would depend on it.
    auto refuse_here = [this](const Token& t) {
      slot(t).place = Place::REFUSED;
      found_.lose(t.line);
    };
    while (i_ < tokens_.size()) {
      const Token& t = tokens_[i_];
      if (t.slot >= 0) return refuse_here(t);
      const char c = t.c;
      if (std::strchr(" \t\n;&|<>()", c) != nullptr) break;
      if (c == '$' || c == '`') return found_.lose(t.line);
      ++i_;
      if (c == '\\') {
        const Token* u = token(i_);
        if (u == nullptr || u->c == '\n') return found_.lose(t.line);
        if (u->slot >= 0) return refuse_here(*u);
        h.quoted = true;
        h.delimiter += u->c;
        ++i_;
      } else if (c == '\'' || c == '"') {
        h.quoted = true;
        for (;; ++i_) {
          const Token* u = token(i_);
          if (u == nullptr) return found_.lose(t.line);
          if (u->slot >= 0) return refuse_here(*u);
          if (u->c == c) break;
          if (c == '"' && (u->c == '$' || u->c == '`')) return found_.lose(u->line);
          if (c == '"' && u->c == '\\') {
            const Token* v = token(i_ + 1);
            if (v == nullptr || v->c == '\n') return found_.lose(u->line);
            if (v->slot >= 0) return refuse_here(*v);
            if (std::strchr("$`\"\\", v->c) != nullptr) {
              h.delimiter += v->c;
              ++i_;
              continue;
            }
          }
          h.delimiter += u->c;
        }
        ++i_;
      } else {
        h.delimiter += c;
      }
    }
    if ((h.delimiter.empty() && !h.quoted) || h.delimiter.find('\n') != std::string::npos) {
      return found_.lose(h.line);
    }
    pending_.push_back(std::move(h));
  }

  // The line feed that ends the line of here-document operators: their
  // bodies follow, in their order.
  void start_bodies(int line) {
    for (const Heredoc& h : pending_) {
      if (h.depth != stack_.size()) return found_.lose(line);
    }
    bodies_.assign(pending_.begin(), pending_.end());
    pending_.clear();
  }

  void body_token() {
    const Heredoc& h = bodies_.front();
    const Token& t = tokens_[i_];
    if (t.slot >= 0) {
      Slot& s = slot(t);
      s.backquotes = backquotes_;
      s.place = t.refuse || body_escaped_ ? Place::REFUSED
                : h.quoted                ? Place::HEREDOC_LITERAL
                                          : Place::HEREDOC_EXPANDING;
      body_escaped_ = false;
      line_parts_.push_back({"", t.slot});
      body_slots_.push_back(t.slot);
      ++i_;
      return;
    }
    if (t.c == '\n') {
      // \ and a line feed join two lines of an unquoted body, where bash
      // and sh then look for its end differently.
      if (body_escaped_) return found_.lose(t.line);
      end_body_line(t.line);
      ++i_;
      return;
    }
    if (line_parts_.empty() || line_parts_.back().slot >= 0) line_parts_.push_back({});
    line_parts_.back().text += t.c;
    if (!h.quoted) {
      if (body_escaped_) {
        body_escaped_ = false;
      } else if (t.c == '\\') {
        body_escaped_ = true;
        refuse_value_after();
      } else if (t.c == '`') {
        body_runs_commands_ = true;
      } else if (t.c == '$') {
        refuse_value_after();
        if (char_at(i_ + 1) == '(' || char_at(i_ + 1) == '{') body_runs_commands_ = true;
      }
    }
    ++i_;
  }

  void end_body_line(int line) {
    const Heredoc& h = bodies_.front();
    bool has_slot = false;
    std::string text;
    for (const Part& p : line_parts_) {
      has_slot = has_slot || p.slot >= 0;
      text += p.text;
    }
    if (!has_slot) {
      if (h.strip_tabs) text.erase(0, text.find_first_not_of('\t'));
      if (text == h.delimiter) {
        end_body();
        return;
      }
    } else {
      found_.body_lines.push_back({std::move(line_parts_), h.delimiter, h.strip_tabs, line});
    }
    line_parts_.clear();
  }

  void end_body() {
    // An unquoted body that runs commands: a value could stand inside one.
    if (!bodies_.front().quoted && body_runs_commands_) {
      for (int s : body_slots_) found_.slots[s].place = Place::REFUSED;
    }
    body_slots_.clear();
    body_runs_commands_ = false;
    line_parts_.clear();
    bodies_.pop_front();
  }

  // The text must end as it began, or what follows it would be read inside
  // what it left open.
  void finish() {
    if (found_.lost) return;
    if (!bodies_.empty()) return found_.lose(bodies_.front().line);
    if (!pending_.empty()) return found_.lose(pending_.front().line);
    if (escaped_) return found_.lose(escape_line_);
    // Backquoted text may end in a comment (no line feed ends it).
    if (backquotes_ > 0 && stack_.size() == 2 && top().kind == Frame::COMMENT) stack_.pop_back();
    if (stack_.size() > 1) found_.lose(stack_[1].line);
  }

  std::vector<Token> tokens_;
  const int backquotes_;
  Findings& found_;
  std::size_t i_ = 0;
  std::vector<Level> stack_;
  bool escaped_ = false;
  int escape_line_ = 0;
  std::vector<Heredoc> pending_;  // operators read, bodies not begun
  std::deque<Heredoc> bodies_;    // bodies being read, the first now
  std::vector<Part> line_parts_;  // the body line so far
  std::vector<int> body_slots_;
  bool body_escaped_ = false;
  bool body_runs_commands_ = false;
};

}  // namespace

std::optional<int> read_shell_text(std::vector<ShellToken> tokens, std::vector<Slot>& slots,
                                   std::vector<BodyLine>& body_lines) {
  Findings found{slots, body_lines, std::nullopt};
  Reader(std::move(tokens), 0, found).read();
  return found.lost;
}
