// Control bytes written as C escapes, so a text stays one line and nothing in
// it reaches a terminal or a reader as a control sequence: line feed, tab
// and carriage return as \n, \t, \r, any other byte below 0x20 and DEL as
// \xHH. Every other byte is kept as it is (a path is bytes, not text), or,
// in the UTF-8 form, a byte that starts no UTF-8 character is shown by a
// replacement character or written as \xHH.
//
// One escaping serves every reader: the deletion log and the scan's outputs
// (control bytes only), the list's display form and the clipboard's $'...'
// form of a path (list_text/list_rows.h).
#pragma once

#include <string>
#include <string_view>

// True for the bytes append_escaped writes as escapes.
inline bool is_control_byte(unsigned char c) { return c < 0x20 || c == 0x7F; }

// How a text is escaped.
struct EscapeStyle {
  // Each of these characters (a backslash, a quote) gets a backslash before it.
  std::string_view also_escaped = {};
  // The hex digits of \xHH in lower case ("\x1b", as bash's $'...' writes
  // them) rather than upper ("\x1B").
  bool lower_hex = false;
  // In the UTF-8 form, a byte that starts no character: \xHH when true,
  // else U+FFFD (one for each such byte).
  bool hex_for_invalid = false;
};

// Appends `text` to `out` with its control bytes escaped; each character of
// `also_escaped` (a backslash, a quote) is written with a backslash before it.
void append_escaped(std::string& out, std::string_view text, std::string_view also_escaped = {});
void append_escaped(std::string& out, std::string_view text, const EscapeStyle& style);

// The same for a text that should be UTF-8: its valid characters as
// append_escaped writes them, each byte that starts no character as the
// style says.
void append_escaped_utf8(std::string& out, std::string_view bytes, const EscapeStyle& style);
