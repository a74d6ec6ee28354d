// The walk goes only where an include mask can lead: a directory is entered
// when a directory mask matches its path or could still match a longer path
// below it, so "/home/*" walks "/", "/home" and everything under /home and
// nothing else. Files are taken only in directories a mask matches whole.
//
// Directories are opened relative to their parent (openat), never through
// chdir, and entries are examined with fstatat without following links;
// that one lstat of a file is all the scan ever looks at (its row shows it,
// the CRC pass takes its type from it). Where a directory's files are not
// taken, the entry type from readdir is enough to find its subdirectories,
// so those entries are not stat'ed.
//
// A directory that cannot be searched (read but no execute permission) is
// told once, "Access Denied to NAME", and skipped like one that cannot be
// opened: its entries could not be examined.
//
// Open descriptors are bounded, however deep the tree: the first
// OPEN_LEVELS levels keep their directory open while their entries are
// read; deeper, a directory's entries are read whole and examined, the
// directory is closed, and each subdirectory is opened by its path below
// the deepest level still open (never through a symbolic link). No file is
// lost to the open-file limit.
//
// The walk is two halves, each in a file of its own. The lister
// (walk_lister.*) makes every system call: it opens and
// reads the directories, lstat's the entries and decides which directories
// to enter, and writes down what it found, in walk order, into batches.
// The taker (walk_taker.*) goes through the batches in that order and does everything the
// rest of the scan sees: the counts, the "Access Denied" messages, the
// status texts, the filters and the filing of each file in the key tree.
// With more than one processor the lister runs on a thread of its own a few
// batches ahead, so the kernel's work on the entries overlaps the filing;
// the taker stays on the walk's thread, and since it sees exactly what one
// thread would have seen in the same order, every count and every result is
// the same either way.
#include "scan/walk.h"

#include <sched.h>

#include <cstdio>
#include <ctime>
#include <thread>

#include "scan/walk_lister.h"
#include "scan/walk_taker.h"

namespace {

unsigned usable_processors() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
  return std::thread::hardware_concurrency();
}

}  // namespace

void build_key(std::string& key, const ScanOptions& o, const char* name, const struct stat& st,
               const struct tm& local) {
  char part[64];
  if (o.same_size) {
    std::snprintf(part, sizeof part, "%09lld?", static_cast<long long>(st.st_size));
    key.append(part);
  }
  if (o.same_name) key.append(name);
  if (o.same_date) {
    std::strftime(part, sizeof part, "%d-%b-%Y", &local);
    key.append(part);
  }
  if (o.same_time) {
    std::strftime(part, sizeof part, "%H:%M:%S", &local);
    key.append(part);
  }
  if (o.same_owner) {
    std::snprintf(part, sizeof part, "+Own%u", static_cast<unsigned>(st.st_uid));
    key.append(part);
  }
  if (o.same_group) {
    std::snprintf(part, sizeof part, "+Grp%u", static_cast<unsigned>(st.st_gid));
    key.append(part);
  }
}

void walk_file_system(ScanContext& ctx, WalkThreads threads) {
  std::unique_ptr<WalkTaker> taker = make_walk_taker(ctx);
  std::unique_ptr<WalkLister> lister = make_walk_lister(ctx, threads);
  for (;;) {
    walk_batch::Batch& batch = lister->next();
    const bool more = taker->take(batch);
    lister->give_back(batch);
    if (!more) return;
  }
}

void walk_file_system(ScanContext& ctx) {
  walk_file_system(ctx, usable_processors() > 1 ? WalkThreads::TWO : WalkThreads::ONE);
}
