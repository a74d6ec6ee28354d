#include "core/escaped_text.h"

#include <glib.h>

namespace {

void append_hex(std::string& out, unsigned char c, bool lower) {
  const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
  out += "\\x";
  out += digits[c >> 4];
  out += digits[c & 0xF];
}

}  // namespace

void append_escaped(std::string& out, std::string_view text, const EscapeStyle& style) {
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (is_control_byte(c)) {
      append_hex(out, c, style.lower_hex);
    } else {
      if (style.also_escaped.find(ch) != std::string_view::npos) out += '\\';
      out += ch;
    }
  }
}

void append_escaped(std::string& out, std::string_view text, std::string_view also_escaped) {
  append_escaped(out, text, EscapeStyle{also_escaped});
}

void append_escaped_utf8(std::string& out, std::string_view bytes, const EscapeStyle& style) {
  constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD";  // U+FFFD
  const char* p = bytes.data();
  const char* end = bytes.data() + bytes.size();
  while (p < end) {
    const gchar* valid_end;
    g_utf8_validate(p, end - p, &valid_end);
    append_escaped(out, std::string_view(p, valid_end - p), style);
    if (valid_end == end) break;
    // A byte that starts no character.
    if (style.hex_for_invalid) {
      append_hex(out, static_cast<unsigned char>(*valid_end), style.lower_hex);
    } else {
      out += REPLACEMENT;
    }
    p = valid_end + 1;
  }
}
