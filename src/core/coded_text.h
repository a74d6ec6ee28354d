// Coded texts: the help pages and the helper-script defaults are held in the
// program in a small nibble code. Bytes 0..14 are a table of the characters
// that codes 0..14 stand for; from byte 15 on, each byte holds two 4-bit
// codes, high half first. Code 15 escapes: the next two codes are the high
// and low half of one literal byte. The text ends at the first decoded NUL.
#pragma once

#include <cstddef>

inline constexpr std::size_t CODED_TABLE_SIZE = 15;
inline constexpr unsigned CODED_ESCAPE = 15;

// Decodes `coded` (`coded_size` bytes) into `out`, always NUL-terminated.
// Decoding also ends when `out` is full or the coded bytes run out, so a
// damaged text can never write or read past either buffer. Returns the
// length of the decoded text.
std::size_t decode_text(const unsigned char* coded, std::size_t coded_size, char* out,
                        std::size_t out_size);

// A coded text held in the program, by name ("pmopen", "Basics", ...).
struct CodedText {
  const char* name;
  const unsigned char* bytes;
  std::size_t size;
};

// The coded text of that name, or null. The texts are generated at build time
// from the plain files under texts/.
const CodedText* find_coded_text(const char* name);
