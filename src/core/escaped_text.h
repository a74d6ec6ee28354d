// Control bytes written as C escapes, so a text stays one line and nothing in
// it reaches a terminal or a reader as a control sequence: line feed, tab
// and carriage return as \n, \t, \r, any other byte below 0x20 and DEL as
// \xHH. Every other byte is kept as it is (a path is bytes, not text).
#pragma once

#include <string>
#include <string_view>

// True for the bytes append_escaped writes as escapes.
inline bool is_control_byte(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Appends `text` to `out` with its control bytes escaped; each character of
// `also_escaped` (a backslash, a quote) is written with a backslash before it.
void append_escaped(std::string& out, std::string_view text, std::string_view also_escaped = {});
