#include "tools/text_encoder.h"

#include <algorithm>
#include <array>
#include <numeric>

std::vector<unsigned char> encode_text(const std::string& text) {
  constexpr int TABLE = 15;
  constexpr unsigned ESCAPE = 15;

  // The terminating NUL counts as one more byte of the text.
  std::array<long, 256> freq{};
  for (unsigned char c : text) ++freq[c];
  ++freq[0];
  std::array<int, 256> order;
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return freq[a] > freq[b]; });

  std::vector<unsigned char> out(order.begin(), order.begin() + TABLE);
  std::array<int, 256> code_of;
  code_of.fill(-1);
  for (int i = 0; i < TABLE; ++i) {
    if (freq[order[i]] > 0) code_of[order[i]] = i;
  }

  std::vector<unsigned> codes;
  auto put = [&](unsigned char c) {
    if (code_of[c] >= 0) {
      codes.push_back(static_cast<unsigned>(code_of[c]));
    } else {
      codes.push_back(ESCAPE);
      codes.push_back(c >> 4);
      codes.push_back(c & 0x0F);
    }
  };
  for (unsigned char c : text) put(c);
  put(0);
  if (codes.size() % 2 != 0) codes.push_back(0);  // padding half, never read
  for (std::size_t i = 0; i < codes.size(); i += 2) {
    out.push_back(static_cast<unsigned char>(codes[i] << 4 | codes[i + 1]));
  }
  return out;
}
