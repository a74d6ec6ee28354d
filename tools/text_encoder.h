// Build-time encoder of the program's coded texts (the decoder is
// decode_text in the program). Kept apart from the program: it runs only
// while building and in the tests.
#pragma once

#include <string>
#include <vector>

// Encodes `text` (no NUL bytes in it) with a table of its 15 most frequent
// bytes; every other byte is escaped. The coded text ends with a coded NUL.
std::vector<unsigned char> encode_text(const std::string& text);
