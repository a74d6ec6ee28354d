// hash_bench — in-memory throughput of CRC-32 (libdeflate) and XXH3-128
// (xxhash, streaming), each alone and both together over the same chunk, the
// way the scanner feeds a file through them one read buffer at a time.
//
//   hash_bench [GIB] [CHUNK_KIB]      defaults: 4 GiB of data, 1024 KiB chunks
//
// One buffer of random bytes is reused for every chunk; the streaming state is
// restarted every 64 MiB, as if a new file began. Prints GB/s (10^9 bytes/s).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <libdeflate.h>
#include <xxhash.h>

namespace {

constexpr std::uint64_t kFileBytes = 64ull << 20;

volatile std::uint64_t g_sink;

template <typename Body>
double run(const char* label, std::uint64_t total, std::size_t chunk, Body body) {
  // Three runs (the first one also warms up); the fastest counts.
  double best = 1e300;
  for (int rep = 0; rep < 3; ++rep) {
    const auto t0 = std::chrono::steady_clock::now();
    body(total, chunk);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  const double gbps = static_cast<double>(total) / best / 1e9;
  std::printf("%-24s %7.2f GB/s  (%.3f s for %.2f GiB)\n", label, gbps, best,
              static_cast<double>(total) / (1ull << 30));
  return gbps;
}

}  // namespace

int main(int argc, char** argv) {
  const double gib = argc > 1 ? std::atof(argv[1]) : 4.0;
  const std::size_t chunk = (argc > 2 ? static_cast<std::size_t>(std::atol(argv[2])) : 1024) * 1024;
  if (gib <= 0 || chunk == 0) {
    std::fprintf(stderr, "usage: hash_bench [GIB] [CHUNK_KIB]\n");
    return 2;
  }
  const std::uint64_t total = static_cast<std::uint64_t>(gib * (1ull << 30)) / chunk * chunk;

  std::vector<unsigned char> buf(chunk);
  std::uint64_t x = 0x9E3779B97F4A7C15ull;
  for (auto& b : buf) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    b = static_cast<unsigned char>(x >> 24);
  }
  const unsigned char* data = buf.data();
  XXH3_state_t* st = XXH3_createState();
  if (!st) return 1;

  std::printf("hash_bench: %.2f GiB in %zu KiB chunks, restart every %llu MiB\n",
              static_cast<double>(total) / (1ull << 30), chunk / 1024,
              static_cast<unsigned long long>(kFileBytes >> 20));

  run("CRC-32 (libdeflate)", total, chunk, [&](std::uint64_t n, std::size_t c) {
    std::uint32_t crc = 0;
    std::uint64_t acc = 0;
    for (std::uint64_t off = 0; off < n; off += c) {
      if (off % kFileBytes == 0) {
        acc += crc;
        crc = 0;
      }
      crc = libdeflate_crc32(crc, data, c);
    }
    g_sink = acc + crc;
  });

  run("XXH3-128 (streaming)", total, chunk, [&](std::uint64_t n, std::size_t c) {
    std::uint64_t acc = 0;
    for (std::uint64_t off = 0; off < n; off += c) {
      if (off % kFileBytes == 0) {
        acc += XXH3_128bits_digest(st).low64;
        XXH3_128bits_reset(st);
      }
      XXH3_128bits_update(st, data, c);
    }
    g_sink = acc + XXH3_128bits_digest(st).low64;
  });

  const double both = run("CRC-32 + XXH3-128", total, chunk, [&](std::uint64_t n, std::size_t c) {
    std::uint32_t crc = 0;
    std::uint64_t acc = 0;
    for (std::uint64_t off = 0; off < n; off += c) {
      if (off % kFileBytes == 0) {
        acc += crc + XXH3_128bits_digest(st).low64;
        crc = 0;
        XXH3_128bits_reset(st);
      }
      crc = libdeflate_crc32(crc, data, c);
      XXH3_128bits_update(st, data, c);
    }
    g_sink = acc + crc + XXH3_128bits_digest(st).low64;
  });

  XXH3_freeState(st);
  std::printf("combined: %.2f GB/s (target >= 7)\n", both);
  return 0;
}
