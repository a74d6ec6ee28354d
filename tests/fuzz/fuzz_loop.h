// The plain program that drives a fuzz target on machines without clang's
// libFuzzer: every input as it is first (the regression cases, the seeds),
// then a bounded number of deterministic mutations of them.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fuzz_loop {

// The contents of every regular file in each of `dirs` that is a directory.
inline std::vector<std::string> read_dirs(const std::vector<std::string>& dirs) {
  std::vector<std::string> out;
  for (const std::string& dir : dirs) {
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream s;
      s << in.rdbuf();
      out.push_back(s.str());
    }
  }
  return out;
}

inline void feed(const std::string& input) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

// Feeds `inputs`, then `rounds` mutations (`mutate(input, rng)`) of inputs
// picked at random; `each` sees every mutated input after the target did.
// Prints what it did under `name`.
template <typename Mutate, typename Each>
void run(const char* name, const std::vector<std::string>& inputs, long rounds, std::uint64_t seed,
         Mutate mutate, Each each) {
  const auto start = std::chrono::steady_clock::now();
  for (const std::string& input : inputs) feed(input);
  std::mt19937_64 rng(seed);
  for (long round = 0; round < rounds; ++round) {
    const std::string input = mutate(inputs[rng() % inputs.size()], rng);
    feed(input);
    each(input);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s: %ld mutated files and %zu inputs as they are in %.1f s\n", name, rounds,
              inputs.size(), seconds);
}

}  // namespace fuzz_loop
