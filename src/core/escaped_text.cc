#include "core/escaped_text.h"

#include <cstdio>

void append_escaped(std::string& out, std::string_view text, std::string_view also_escaped) {
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (is_control_byte(c)) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      if (also_escaped.find(ch) != std::string_view::npos) out += '\\';
      out += ch;
    }
  }
}
