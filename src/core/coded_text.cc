#include "core/coded_text.h"

std::size_t decode_text(const unsigned char* coded, std::size_t coded_size, char* out,
                        std::size_t out_size) {
  if (out_size == 0) return 0;
  if (coded_size < CODED_TABLE_SIZE) {
    out[0] = '\0';
    return 0;
  }
  const unsigned char* table = coded;
  std::size_t nibble = 2 * CODED_TABLE_SIZE;  // position in half-bytes, high half first
  const std::size_t nibble_end = 2 * coded_size;
  auto next_code = [&](unsigned& code) {
    if (nibble >= nibble_end) return false;
    unsigned char byte = coded[nibble / 2];
    code = (nibble % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
    ++nibble;
    return true;
  };

  std::size_t len = 0;
  while (len + 1 < out_size) {
    unsigned code;
    if (!next_code(code)) break;
    unsigned char byte;
    if (code == CODED_ESCAPE) {
      unsigned high, low;
      if (!next_code(high) || !next_code(low)) break;
      byte = static_cast<unsigned char>(high * 16 + low);
    } else {
      byte = table[code];
    }
    if (byte == 0) break;
    out[len++] = static_cast<char>(byte);
  }
  out[len] = '\0';
  return len;
}
