// gen_tree — writes a reproducible test tree for the duplicate-finder benchmarks.
//
//   gen_tree DIR --files N --total-bytes B [--dup-fraction 0.15]
//            [--same-size-fraction 0.30] [--seed S]
//
// The tree holds N regular files (about 100 per directory, in directories two
// or three levels deep) whose sizes add up to about B bytes. Sizes follow a
// log-normal body (many small files) plus a handful of large files that take
// about a quarter of the total.
//
// Content is pseudo-random (xoshiro256**), never zeros. The files fall into:
//   * duplicate groups: about dup-fraction of all files, in groups of 2..4
//     identical copies under different names and directories;
//   * same-size groups: about same-size-fraction of the remaining files, in
//     groups of 2..4 files of identical size but different content. Half the
//     groups differ from the very first bytes; the other half share their
//     content and differ in one byte only — past the first 64 KiB when the
//     file is larger than that, otherwise in the last byte;
//   * single files with their own content (their sizes may still collide
//     with other files by chance, as in real trees).
// Sizes B can be given with a K/M/G/T suffix (powers of 1024).

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::uint64_t splitmix64(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

struct Xoshiro {
  std::uint64_t s[4];
  explicit Xoshiro(std::uint64_t seed) {
    for (auto& v : s) v = splitmix64(seed);
  }
  static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::uint64_t next() {
    const std::uint64_t result = rotl(s[1] * 5, 7) * 9;
    const std::uint64_t t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = rotl(s[3], 45);
    return result;
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0,1)
  std::uint64_t below(std::uint64_t n) { return n ? next() % n : 0; }
  double normal() {  // Box-Muller
    double u1 = uniform(), u2 = uniform();
    if (u1 < 1e-300) u1 = 1e-300;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }
};

enum class Kind : std::uint8_t { Single, Dup, SameEarly, SameLate };

struct File {
  std::uint64_t size = 0;
  std::uint64_t content = 0;   // content stream seed; equal for copies
  std::uint64_t flip_pos = 0;  // byte changed in late-differing members
  std::uint8_t flip_xor = 0;   // 0 = unchanged
  Kind kind = Kind::Single;
  std::uint32_t group = 0;
};

struct Unit {  // one size decision: a single file or a group
  Kind kind;
  unsigned count;
  double weight;  // relative size before scaling
  bool big;
};

constexpr std::uint64_t kMinSize = 32;  // keeps random contents distinct
constexpr std::uint64_t kLateOffset = 64 * 1024;
constexpr std::size_t kBuf = 1 << 20;

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: gen_tree DIR --files N --total-bytes B[K|M|G|T]\n"
               "                [--dup-fraction F] [--same-size-fraction F] [--seed S]\n");
  std::exit(2);
}

std::uint64_t parse_bytes(const char* s) {
  char* end = nullptr;
  double v = std::strtod(s, &end);
  if (end == s || v < 0) usage();
  switch (*end) {
    case 'k':
    case 'K':
      v *= 1024.0;
      ++end;
      break;
    case 'm':
    case 'M':
      v *= 1024.0 * 1024;
      ++end;
      break;
    case 'g':
    case 'G':
      v *= 1024.0 * 1024 * 1024;
      ++end;
      break;
    case 't':
    case 'T':
      v *= 1024.0 * 1024 * 1024 * 1024;
      ++end;
      break;
    default:
      break;
  }
  if (*end == 'B' || *end == 'b') ++end;
  if (*end) usage();
  return static_cast<std::uint64_t>(v);
}

void make_dir(const std::string& p) {
  if (mkdir(p.c_str(), 0755) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "gen_tree: mkdir %s: %s\n", p.c_str(), std::strerror(errno));
    std::exit(1);
  }
}

bool dir_is_empty(const std::string& p) {
  DIR* d = opendir(p.c_str());
  if (!d) return errno == ENOENT;
  bool empty = true;
  while (const dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  closedir(d);
  return empty;
}

void write_file(const std::string& path, const File& f, std::vector<unsigned char>& buf) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "gen_tree: open %s: %s\n", path.c_str(), std::strerror(errno));
    std::exit(1);
  }
  Xoshiro rng(f.content);
  std::uint64_t off = 0;
  while (off < f.size) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBuf, f.size - off));
    const std::size_t words = (n + 7) / 8;
    auto* w = reinterpret_cast<std::uint64_t*>(buf.data());
    for (std::size_t i = 0; i < words; ++i) w[i] = rng.next();
    if (f.flip_xor && f.flip_pos >= off && f.flip_pos < off + n)
      buf[f.flip_pos - off] ^= f.flip_xor;
    std::size_t done = 0;
    while (done < n) {
      ssize_t r = write(fd, buf.data() + done, n - done);
      if (r < 0) {
        if (errno == EINTR) continue;
        std::fprintf(stderr, "gen_tree: write %s: %s\n", path.c_str(), std::strerror(errno));
        std::exit(1);
      }
      done += static_cast<std::size_t>(r);
    }
    off += n;
  }
  if (close(fd) != 0) {
    std::fprintf(stderr, "gen_tree: close %s: %s\n", path.c_str(), std::strerror(errno));
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string root;
  std::uint64_t nfiles = 0, total = 0, seed = 1;
  double dup_fraction = 0.15, same_fraction = 0.30;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) usage();
      return argv[++i];
    };
    if (a == "--files")
      nfiles = std::strtoull(value(), nullptr, 10);
    else if (a == "--total-bytes")
      total = parse_bytes(value());
    else if (a == "--dup-fraction")
      dup_fraction = std::strtod(value(), nullptr);
    else if (a == "--same-size-fraction")
      same_fraction = std::strtod(value(), nullptr);
    else if (a == "--seed")
      seed = std::strtoull(value(), nullptr, 10);
    else if (!a.empty() && a[0] == '-')
      usage();
    else if (root.empty())
      root = a;
    else
      usage();
  }
  if (root.empty() || nfiles == 0 || total == 0) usage();
  dup_fraction = std::clamp(dup_fraction, 0.0, 1.0);
  same_fraction = std::clamp(same_fraction, 0.0, 1.0);
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (!dir_is_empty(root)) {
    std::fprintf(stderr, "gen_tree: %s exists and is not empty\n", root.c_str());
    return 1;
  }
  make_dir(root);

  Xoshiro rng(seed * 0x2545F4914F6CDD1DULL + 7);

  // ---- Units: groups and singles ------------------------------------------
  std::vector<Unit> units;
  std::uint64_t left = nfiles;
  auto take_groups = [&](std::uint64_t target, Kind k1, Kind k2) {
    std::uint64_t made = 0;
    bool alt = false;
    while (target - made >= 2 && left >= 2) {
      unsigned c = 2 + static_cast<unsigned>(rng.below(3));
      if (c > target - made) c = static_cast<unsigned>(target - made);
      if (c > left) c = static_cast<unsigned>(left);
      if (target - made - c == 1) c = (c > 2) ? c - 1 : c + (left > c ? 1 : 0);
      units.push_back({alt ? k2 : k1, c, 0.0, false});
      alt = !alt;
      made += c;
      left -= c;
    }
  };
  take_groups(static_cast<std::uint64_t>(std::llround(dup_fraction * nfiles)), Kind::Dup,
              Kind::Dup);
  take_groups(static_cast<std::uint64_t>(std::llround(same_fraction * left)), Kind::SameEarly,
              Kind::SameLate);
  // A few big single files take about a quarter of the bytes.
  const std::uint64_t nbig =
      std::min<std::uint64_t>(left, std::clamp<std::uint64_t>(nfiles / 20000, 1, 10));
  for (std::uint64_t i = 0; i < nbig; ++i) units.push_back({Kind::Single, 1, 0.0, true});
  left -= nbig;
  for (; left > 0; --left) units.push_back({Kind::Single, 1, 0.0, false});

  // ---- Sizes ----------------------------------------------------------------
  const double cap = std::max(static_cast<double>(kMinSize), static_cast<double>(total) / 12.0);
  const double big_target = nbig == 0       ? 0.0
                            : nfiles > nbig ? 0.25 * static_cast<double>(total)
                                            : static_cast<double>(total);
  double big_w = 0;
  for (auto& u : units) {
    if (u.big) {
      u.weight = 0.5 + rng.uniform();
      big_w += u.weight;
    } else
      u.weight = std::exp(2.0 * rng.normal());  // log-normal, sigma 2
  }
  std::vector<std::uint64_t> usize(units.size());
  double big_bytes = 0;
  for (std::size_t i = 0; i < units.size(); ++i)
    if (units[i].big) {
      usize[i] = static_cast<std::uint64_t>(
          std::clamp(big_target * units[i].weight / big_w, static_cast<double>(kMinSize), cap));
      big_bytes += static_cast<double>(usize[i]);
    }
  // Scale the body to the remaining bytes; clamping at the ends is corrected iteratively.
  const double body_bytes = std::max(0.0, static_cast<double>(total) - big_bytes);
  double scale = 1.0;
  {
    double w = 0;
    for (auto& u : units)
      if (!u.big) w += u.weight * u.count;
    scale = w > 0 ? body_bytes / w : 0;
  }
  for (int iter = 0; iter < 20; ++iter) {
    double sum = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
      if (units[i].big) continue;
      double s = std::clamp(units[i].weight * scale, static_cast<double>(kMinSize), cap);
      usize[i] = static_cast<std::uint64_t>(s);
      sum += static_cast<double>(usize[i]) * units[i].count;
    }
    if (sum <= 0 || std::fabs(sum - body_bytes) < body_bytes * 0.001) break;
    scale *= body_bytes / sum;
  }

  // ---- Files ----------------------------------------------------------------
  std::vector<File> files;
  files.reserve(nfiles);
  std::uint64_t next_content = splitmix64(seed) | 1;
  std::uint32_t group = 0;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const Unit& u = units[i];
    ++group;
    std::uint64_t shared = next_content++;
    std::uint64_t flip = 0;
    if (u.kind == Kind::SameLate)
      flip = usize[i] > kLateOffset + 1 ? kLateOffset + rng.below(usize[i] - kLateOffset)
                                        : usize[i] - 1;
    for (unsigned m = 0; m < u.count; ++m) {
      File f;
      f.size = usize[i];
      f.kind = u.kind;
      f.group = group;
      switch (u.kind) {
        case Kind::Dup:
          f.content = shared;
          break;
        case Kind::SameLate:
          f.content = shared;
          f.flip_pos = flip;
          f.flip_xor = static_cast<std::uint8_t>(m);
          break;
        default:
          f.content = next_content++;
          break;
      }
      f.content = splitmix64(f.content);
      files.push_back(f);
    }
  }
  // Shuffle so that copies land in different directories under different names.
  for (std::size_t i = files.size(); i > 1; --i) std::swap(files[i - 1], files[rng.below(i)]);

  // ---- Write ------------------------------------------------------------------
  static const char* const kExt[] = {".jpg", ".txt", ".pdf", ".mp3", ".dat",
                                     ".png", ".doc", ".bin", ".log", ".zip"};
  std::vector<unsigned char> buf(kBuf + 8);
  const auto t0 = std::chrono::steady_clock::now();
  std::uint64_t written = 0;
  std::string dir;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (i % 100 == 0) {
      // Directory d: top/mid[/leaf]; every tenth one sits at depth two.
      const std::size_t d = i / 100;
      char a[32], b[32], c[32];
      std::snprintf(a, sizeof a, "/top%03zu", d / 100);
      std::snprintf(b, sizeof b, "/mid%zu", (d / 10) % 10);
      std::snprintf(c, sizeof c, "/leaf%zu", d % 10);
      make_dir(root + a);
      dir = root + a + b;
      make_dir(dir);
      if (d % 10 != 0) {
        dir += c;
        make_dir(dir);
      }
    }
    char name[64];
    std::snprintf(name, sizeof name, "/file%07zu%s", i, kExt[files[i].content % 10]);
    write_file(dir + name, files[i], buf);
    written += files[i].size;
  }
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  // ---- Summary ----------------------------------------------------------------
  std::unordered_map<std::uint64_t, std::uint64_t> by_size;
  for (const auto& f : files) ++by_size[f.size];
  std::uint64_t dup_files = 0, dup_groups = 0, redundant = 0, early = 0, late = 0, chance = 0,
                maxsize = 0, small = 0;
  std::unordered_map<std::uint32_t, unsigned> gsize;
  for (const auto& f : files) {
    maxsize = std::max(maxsize, f.size);
    if (f.size <= 4096) ++small;
    if (f.kind == Kind::Dup) {
      ++dup_files;
      ++gsize[f.group];
    } else if (f.kind == Kind::SameEarly)
      ++early;
    else if (f.kind == Kind::SameLate)
      ++late;
    else if (by_size[f.size] > 1)
      ++chance;
  }
  dup_groups = gsize.size();
  for (auto& [g, c] : gsize) redundant += c - 1;
  std::uint64_t in_size_classes = 0;
  for (const auto& f : files)
    if (by_size[f.size] > 1) ++in_size_classes;
  std::fprintf(stderr,
               "gen_tree: %s\n"
               "  files:                     %llu (%llu <= 4 KiB, largest %.1f MB)\n"
               "  bytes:                     %llu (%.2f GB)\n"
               "  duplicate files:           %llu in %llu groups (%llu redundant copies)\n"
               "  same-size differing files: %llu (%llu differ early, %llu differ late, "
               "%llu singles share a size by chance)\n"
               "  files whose size repeats:  %llu\n"
               "  written in %.1f s (%.0f MB/s)\n",
               root.c_str(), (unsigned long long)files.size(), (unsigned long long)small,
               maxsize / 1e6, (unsigned long long)written, written / 1e9,
               (unsigned long long)dup_files, (unsigned long long)dup_groups,
               (unsigned long long)redundant, (unsigned long long)(early + late + chance),
               (unsigned long long)early, (unsigned long long)late, (unsigned long long)chance,
               (unsigned long long)in_size_classes, secs, secs > 0 ? written / 1e6 / secs : 0.0);
  return 0;
}
