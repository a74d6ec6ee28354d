// The content cache reader under fuzzing. Built with clang's libFuzzer
// (tests/fuzz/run_libfuzzer.sh content_cache), the fuzzer drives it; built
// with PM_FUZZ_LOOP, it is a plain program that feeds the reader
// deterministic mutations of a few cache files for a bounded number of
// rounds, for machines without clang.
//
// A mutated file almost never keeps a right checksum, so the reader would
// turn it away before looking at a single entry. The first byte of an input
// therefore chooses: odd, the checksum is made right for the bytes after it
// before the reader sees them (the entries and the header's numbers are
// fuzzed); even, the bytes go to the reader as they are (the checksum test).
//
// A file the reader takes must write a file that is read back, holds no
// more entries than it and is written the same once more; a file it refuses
// must leave nothing behind. Anything else is a crash.
#include <sys/stat.h>
#include <xxhash.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scan/content_cache.h"

namespace {

constexpr std::size_t HEADER_SIZE = 32, ENTRY_SIZE = 84, CHECKSUM_SIZE = 8;

void check(bool ok) {
  if (!ok) __builtin_trap();
}

// Makes the checksum at the end of `bytes` right for what comes before it.
void reseal(char* bytes, std::size_t length) {
  if (length < CHECKSUM_SIZE) return;
  const std::uint64_t sum = XXH3_64bits(bytes, length - CHECKSUM_SIZE);
  std::memcpy(bytes + length - CHECKSUM_SIZE, &sum, CHECKSUM_SIZE);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // An array of the exact size, so a read past the end is one the
  // sanitizer sees.
  const std::size_t length = size - 1;
  std::unique_ptr<char[]> bytes(new char[length == 0 ? 1 : length]);
  std::memcpy(bytes.get(), data + 1, length);
  if ((data[0] & 1) != 0) reseal(bytes.get(), length);

  ContentCache cache;
  if (!cache.parse(std::string(bytes.get(), length))) {
    check(cache.size() == 0);
    return 0;
  }
  check(length == HEADER_SIZE + cache.size() * ENTRY_SIZE + CHECKSUM_SIZE);
  // A scan meets the files of the first few entries, unchanged: each is
  // known to the fingerprints and recalled.
  FileStore store;
  std::vector<std::uint32_t> met;
  for (std::size_t i = 0; i < cache.size() && i < 4; ++i) {
    const char* at = bytes.get() + HEADER_SIZE + i * ENTRY_SIZE;
    FileFacts f;
    std::memcpy(&f.device, at, 8);
    std::memcpy(&f.inode, at + 8, 8);
    std::memcpy(&f.size, at + 16, 8);
    std::memcpy(&f.mtime_sec, at + 24, 8);
    std::memcpy(&f.ctime_sec, at + 32, 8);
    std::memcpy(&f.mtime_nsec, at + 64, 4);
    std::memcpy(&f.ctime_nsec, at + 68, 4);
    f.mode = S_IFREG | 0644;
    check(cache.has(f));
    met.push_back(store.add("/f" + std::to_string(i), f));
  }
  check(cache.recall(store, met) == met.size());
  const std::string saved = cache.serialize(store);
  check(saved.size() <= length);
  ContentCache again;
  check(again.parse(saved));
  check(again.size() * ENTRY_SIZE + HEADER_SIZE + CHECKSUM_SIZE == saved.size());
  check(again.size() >= met.size());  // what the scan met is kept
  // Each writing may only drop entries that have grown too old.
  const std::string twice = again.serialize(FileStore());
  check(twice.size() <= saved.size());
  return 0;
}

#ifdef PM_FUZZ_LOOP
#include <sys/stat.h>

#include <cstdlib>

#include "fuzz_loop.h"

namespace {

FileFacts facts(std::uint64_t device, std::uint64_t inode, std::int64_t size) {
  FileFacts f;
  f.device = device;
  f.inode = inode;
  f.size = size;
  f.mtime_sec = 1700000000 + static_cast<std::int64_t>(inode);
  f.mtime_nsec = static_cast<std::int32_t>(inode * 7919 % 1000000000);
  f.ctime_sec = f.mtime_sec + 1;
  f.ctime_nsec = 999999999;
  f.mode = S_IFREG | 0644;
  return f;
}

// The seeds, each with the first byte that has the checksum made right: an
// empty cache, one of a few files (beginning only, whole, both), one that
// has been through several scans so its entries are of different ages.
std::vector<std::string> seeds() {
  FileContents beginning, whole;
  beginning.flags = FileContents::BEGINNING | FileContents::LEARNT;
  beginning.set_beginning_hash(0x0123456789abcdefull);
  whole = beginning;
  whole.flags |= FileContents::WHOLE;
  whole.set_whole_hash(~0ull, 1);
  auto learn = [](FileStore& store, const FileFacts& f, const FileContents& c) {
    const std::uint32_t n = store.add("/f" + std::to_string(store.size()), f);
    store.contents_for(n) = c;
    store[n].crc = 0x352441c2;
  };
  // What `cache` writes after a scan that compared every file of `store`.
  auto written = [](ContentCache& cache, FileStore& store) {
    std::vector<std::uint32_t> all(store.size());
    for (std::uint32_t n = 0; n < all.size(); ++n) all[n] = n;
    cache.recall(store, all);
    return cache.serialize(store);
  };
  std::vector<std::string> out;
  FileStore store;
  ContentCache none;
  out.push_back(written(none, store));
  learn(store, facts(1, 10, 0), beginning);
  learn(store, facts(1, 3, 1 << 20), whole);
  learn(store, facts(2, 3, 5), whole);
  ContentCache first;
  out.push_back(written(first, store));
  for (std::uint64_t scan = 0; scan < 4; ++scan) {
    ContentCache next;
    check(next.parse(out.back()));
    FileStore later;
    learn(later, facts(3, 100 + scan, 4096), scan % 2 == 0 ? whole : beginning);
    out.push_back(written(next, later));
  }
  for (std::string& s : out) s.insert(0, 1, '\1');
  return out;
}

// One to four changes: a byte changed or a bit flipped (a number made odd,
// huge or negative), a byte put in or taken out, the file cut, an entry's
// worth repeated (entries out of order or twice), the first byte flipped.
std::string mutate(std::string s, std::mt19937_64& rng) {
  auto pick = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); };
  const int changes = 1 + static_cast<int>(rng() % 4);
  for (int k = 0; k < changes; ++k) {
    switch (rng() % 7) {
      case 0:
        if (!s.empty()) s[pick(s.size())] = static_cast<char>(rng());
        break;
      case 1:
        if (!s.empty()) s[pick(s.size())] ^= static_cast<char>(1 << (rng() % 8));
        break;
      case 2:
        s.insert(pick(s.size() + 1), 1, static_cast<char>(rng()));
        break;
      case 3:
        if (!s.empty()) s.erase(pick(s.size()), 1 + pick(8));
        break;
      case 4:
        s.resize(pick(s.size() + 1));
        break;
      case 5: {
        std::size_t at = pick(s.size());
        s.insert(at, s.substr(at, ENTRY_SIZE));
        break;
      }
      default:
        if (!s.empty()) s[0] ^= 1;
        break;
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--write-seeds") == 0) {
    int n = 0;
    for (const std::string& seed : seeds()) {
      std::ofstream(std::filesystem::path(argv[2]) / ("seed" + std::to_string(n++)),
                    std::ios::binary)
          << seed;
    }
    return 0;
  }
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: content_cache_fuzz_loop ROUNDS [REGRESSION_DIR...]\n"
                 "       content_cache_fuzz_loop --write-seeds DIR\n");
    return 2;
  }
  const long rounds = std::atol(argv[1]);
  std::vector<std::string> inputs =
      fuzz_loop::read_dirs(std::vector<std::string>(argv + 2, argv + argc));
  for (std::string& seed : seeds()) inputs.push_back(std::move(seed));
  // Counted apart from the target, so a reader that took nothing shows.
  long taken = 0;
  fuzz_loop::run("content_cache_fuzz_loop", inputs, rounds, 20261211, mutate,
                 [&](const std::string& input) {
                   if (input.empty() || (input[0] & 1) == 0) return;
                   std::string body = input.substr(1);
                   reseal(body.data(), body.size());
                   ContentCache probe;
                   if (probe.parse(body)) ++taken;
                 });
  std::printf("content_cache_fuzz_loop: the reader took %ld of the mutated files\n", taken);
  // A loop whose mutations the reader always refused would test only the
  // first checks of the header.
  return rounds >= 1000 && taken == 0 ? 1 : 0;
}
#endif
