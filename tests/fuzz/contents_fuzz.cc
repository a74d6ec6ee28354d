// The contents file reader under fuzzing. Built with clang's libFuzzer
// (tests/fuzz/run_libfuzzer.sh), the fuzzer drives it; built with
// PM_FUZZ_LOOP, it is a plain program that feeds the reader deterministic
// mutations of the seed files for a bounded number of rounds, for machines
// without clang. Every file the reader takes must save and read back to the
// same file again; anything else is a crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "list_text/contents_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Contents contents;
  if (!decode_contents(std::string_view(reinterpret_cast<const char*>(data), size), contents)) {
    return 0;
  }
  std::string saved = encode_contents(contents);
  Contents again;
  if (!decode_contents(saved, again) || encode_contents(again) != saved) __builtin_trap();
  return 0;
}

#ifdef PM_FUZZ_LOOP
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

namespace {

std::string read_all(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// One to four changes of the kinds that damage files: bytes changed, put in
// or taken out, a piece cut off or repeated, a number made huge or odd.
std::string mutate(std::string s, std::mt19937_64& rng) {
  auto pick = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); };
  const int changes = 1 + static_cast<int>(rng() % 4);
  for (int k = 0; k < changes; ++k) {
    switch (rng() % 8) {
      case 0:
        if (!s.empty()) s[pick(s.size())] ^= static_cast<char>(1 << (rng() % 8));
        break;
      case 1:
        s.insert(pick(s.size() + 1), 1, static_cast<char>(rng() % 256));
        break;
      case 2:
        if (!s.empty()) s.erase(pick(s.size()), 1 + pick(16));
        break;
      case 3:
        s.resize(pick(s.size() + 1));
        break;
      case 4: {
        std::size_t at = pick(s.size());
        s.insert(at, s.substr(at, 1 + pick(200)));
        break;
      }
      case 5: {
        const char* numbers[] = {"1000000000", "-1", "99999999999999999999", "0", "x", ""};
        std::size_t nl = s.find('\n', pick(s.size()));
        if (nl != std::string::npos) s.insert(nl + 1, std::string(numbers[rng() % 6]) + "\n");
        break;
      }
      case 6:
        if (!s.empty()) s[pick(s.size())] = '\n';
        break;
      default:
        s.insert(pick(s.size() + 1), "#identities\n1 2 3 4 5 6 7\n#end 28\n");
        break;
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: contents_fuzz_loop ROUNDS SEED_DIR [REGRESSION_DIR...]\n");
    return 2;
  }
  const long rounds = std::atol(argv[1]);
  std::vector<std::string> seeds;
  for (int i = 2; i < argc; ++i) {
    if (!std::filesystem::is_directory(argv[i])) continue;
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      if (entry.is_regular_file()) seeds.push_back(read_all(entry.path()));
    }
  }
  if (seeds.empty()) {
    std::fprintf(stderr, "contents_fuzz_loop: no seed files\n");
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  for (const std::string& seed : seeds) {  // the regression cases first, as they are
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(seed.data()), seed.size());
  }
  std::mt19937_64 rng(20261210);
  for (long round = 0; round < rounds; ++round) {
    std::string input = mutate(seeds[rng() % seeds.size()], rng);
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("contents_fuzz_loop: %ld mutated files and %zu seeds in %.1f s\n", rounds,
              seeds.size(), seconds);
  return 0;
}
#endif
