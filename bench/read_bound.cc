// read_bound — the lower bound for reading: given "SIZE<TAB>PATH" lines on stdin
// (find TREE -type f -printf '%s\t%p\n'), reads every file whose size occurs
// more than once, once, into a reused 1 MiB buffer. No hashing: one byte per
// buffer goes into a sink so reads stay.
//
//   read_bound [--threads N]     (default 1: one thread, in list order)
//
// With N threads the files are shared out one at a time in list order, so N
// reads are in flight: the bound for a disk that serves several at once.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
  unsigned threads = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
      threads = static_cast<unsigned>(std::max(1, std::atoi(argv[++i])));
    } else {
      std::fprintf(stderr, "usage: read_bound [--threads N] < list\n");
      return 2;
    }
  }
  std::vector<std::pair<unsigned long long, std::string>> list;
  std::unordered_map<unsigned long long, unsigned> count;
  for (std::string line; std::getline(std::cin, line);) {
    auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    unsigned long long size = std::strtoull(line.c_str(), nullptr, 10);
    ++count[size];
    list.emplace_back(size, line.substr(tab + 1));
  }
  std::vector<const std::string*> wanted;
  for (const auto& [size, path] : list) {
    if (count[size] >= 2) wanted.push_back(&path);
  }

  std::atomic<std::size_t> next{0};
  std::atomic<unsigned long long> bytes{0}, files{0};
  std::atomic<unsigned> sink{0};
  auto work = [&] {
    auto buf = std::make_unique<char[]>(1 << 20);
    unsigned long long my_bytes = 0, my_files = 0;
    unsigned char my_sink = 0;
    for (std::size_t i; (i = next.fetch_add(1)) < wanted.size();) {
      int fd = open(wanted[i]->c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) {
        std::perror(wanted[i]->c_str());
        continue;
      }
      for (ssize_t n; (n = read(fd, buf.get(), 1 << 20)) > 0;) {
        my_sink ^= static_cast<unsigned char>(buf[0]);
        my_bytes += static_cast<unsigned long long>(n);
      }
      close(fd);
      ++my_files;
    }
    bytes += my_bytes;
    files += my_files;
    sink += my_sink;
  };
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& t : helpers) t.join();
  std::fprintf(stderr, "read_bound: %llu bytes in %llu files, %u thread%s (%u)\n", bytes.load(),
               files.load(), threads, threads == 1 ? "" : "s", sink.load() & 1);
  return 0;
}
