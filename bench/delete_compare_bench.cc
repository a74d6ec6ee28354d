// What the byte comparison before a deletion costs: FILES groups of two
// copies of SIZE bytes (each group its own random bytes), the tagged copy
// of each deleted through the disk interface
//
//   compared   with its kept copy as the copy that stays (read and compared
//              byte for byte, as every deletion now is),
//   alone      as the last copy of its group (no comparison: what a
//              deletion cost before),
//   clean-up   through the headless clean-up's step (its checks of the group
//              and the comparison),
//
// in turns, the tagged copies written afresh before each run (the kept
// ones once), everything in the page cache (warm: the scan that found them
// has just read them) and written out first. The median of ROUNDS runs of
// each.
//
//   delete_compare_bench [WORK_DIR] [FILES] [SIZE_MIB] [ROUNDS]
//       (default /tmp/pm-delete-bench 1000 1 3)
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "disk/file_system.h"
#include "disk/group_cleanup.h"

namespace {

using Clock = std::chrono::steady_clock;

FileIdentity identity_at(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return identity_of(st);
}

bool write_bytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

struct Group {
  std::string spare, keep;
};

// The groups: the tagged copies written afresh, the kept ones once (each
// group its own bytes).
std::vector<Group> make_groups(const std::string& dir, int files, std::size_t size) {
  std::filesystem::create_directories(dir);
  std::vector<Group> groups;
  std::string bytes(size, '\0');
  for (int i = 0; i < files; ++i) {
    std::mt19937_64 random(static_cast<std::uint64_t>(i));
    for (std::size_t at = 0; at + 8 <= size; at += 8) {
      const std::uint64_t r = random();
      std::memcpy(&bytes[at], &r, 8);
    }
    Group g{dir + "/spare" + std::to_string(i), dir + "/keep" + std::to_string(i)};
    struct stat st;
    const bool kept_there =
        stat(g.keep.c_str(), &st) == 0 && st.st_size == static_cast<off_t>(size);
    if (!write_bytes(g.spare, bytes) || (!kept_there && !write_bytes(g.keep, bytes))) {
      std::fprintf(stderr, "can not write in %s\n", dir.c_str());
      std::exit(1);
    }
    groups.push_back(g);
  }
  return groups;
}

enum Way { COMPARED, ALONE, CLEANUP, CHECK_COMPARED, CHECK_ALONE };

double run(Way way, const std::vector<Group>& groups) {
  DiskFileSystem disk;
  std::vector<FileIdentity> spare_seen, keep_seen;
  for (const Group& g : groups) {
    spare_seen.push_back(identity_at(g.spare));
    keep_seen.push_back(identity_at(g.keep));
  }
  int done = 0;
  const Clock::time_point start = Clock::now();
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const Group& g = groups[i];
    if (way == CLEANUP) {
      std::vector<CleanupMember> group = {{g.keep, keep_seen[i], false},
                                          {g.spare, spare_seen[i], true}};
      done +=
          clean_up_member(disk, group, 1, CleanupAction::DELETE, false).kind == CleanupStep::DONE;
      continue;
    }
    StayingCopies staying;
    if (way == COMPARED || way == CHECK_COMPARED) {
      staying.copies.push_back({g.keep, keep_seen[i]});
    } else {
      staying.last_copy = true;
    }
    const bool remove = way == COMPARED || way == ALONE;
    done += (remove ? disk.remove(g.spare, spare_seen[i], staying)
                    : disk.check_removal(g.spare, spare_seen[i], staying))
                .kind == FileOutcome::DONE;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (done != static_cast<int>(groups.size())) {
    std::fprintf(stderr, "only %d of %zu files deleted\n", done, groups.size());
    std::exit(1);
  }
  return seconds;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/pm-delete-bench";
  const int files = argc > 2 ? std::atoi(argv[2]) : 1000;
  const std::size_t size = (argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1) << 20;
  const int rounds = argc > 4 ? std::atoi(argv[4]) : 3;
  std::filesystem::remove_all(dir);
  std::vector<double> times[5];
  for (int round = 0; round < rounds; ++round) {
    for (Way way : {COMPARED, ALONE, CLEANUP}) {
      const std::vector<Group> groups = make_groups(dir, files, size);
      sync();  // the writing's flush is not the deletion's
      if (way == COMPARED) {
        // The checks alone, nothing removed: with and without the reading.
        times[CHECK_COMPARED].push_back(run(CHECK_COMPARED, groups));
        times[CHECK_ALONE].push_back(run(CHECK_ALONE, groups));
      }
      times[way].push_back(run(way, groups));
    }
  }
  std::filesystem::remove_all(dir);
  const double compared = median(times[COMPARED]), alone = median(times[ALONE]),
               cleanup = median(times[CLEANUP]);
  const double mib = static_cast<double>(files) * static_cast<double>(size) / (1 << 20);
  std::printf("%d files of %zu bytes deleted, median of %d runs, warm page cache\n", files, size,
              rounds);
  std::printf("  compared with the kept copy  %8.3f s  (%.0f MiB/s of each copy)\n", compared,
              mib / compared);
  std::printf("  alone (no comparison)        %8.3f s\n", alone);
  std::printf("  headless clean-up step       %8.3f s\n", cleanup);
  std::printf("  comparison costs             %8.3f s  (%.2f ms a file, %.2f x)\n",
              compared - alone, (compared - alone) * 1000 / files, compared / alone);
  const double checked = median(times[CHECK_COMPARED]), looked = median(times[CHECK_ALONE]);
  std::printf("  checks only, compared        %8.3f s  (%.0f MiB/s of each copy)\n", checked,
              mib / checked);
  std::printf("  checks only, not compared    %8.3f s\n", looked);
  return 0;
}
