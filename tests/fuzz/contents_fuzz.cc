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
#include <cstdlib>

#include "fuzz_loop.h"

namespace {

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
  // The regression cases first, as they are.
  const std::vector<std::string> seeds =
      fuzz_loop::read_dirs(std::vector<std::string>(argv + 2, argv + argc));
  if (seeds.empty()) {
    std::fprintf(stderr, "contents_fuzz_loop: no seed files\n");
    return 2;
  }
  fuzz_loop::run("contents_fuzz_loop", seeds, std::atol(argv[1]), 20261210, mutate,
                 [](const std::string&) {});
  return 0;
}
#endif
