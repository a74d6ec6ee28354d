// The content cache file: what it gives back, what it refuses to trust, how
// it ages, and how it is written.
#include "scan/content_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <cstring>
#include <ctime>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/unique_fd.h"
#include "support/temp_dir.h"

namespace {

FileFacts facts(std::uint64_t inode, std::int64_t size = 100) {
  FileFacts f;
  f.device = 7;
  f.inode = inode;
  f.size = size;
  f.mtime_sec = 1700000000;
  f.mtime_nsec = 123;
  f.ctime_sec = 1700000001;
  f.ctime_nsec = 456;
  f.mode = S_IFREG | 0644;
  return f;
}

// What reading a file whole found (its CRC-32 goes on the member).
struct Found {
  FileContents contents;
  std::uint32_t crc = 0;
};

Found whole(std::uint32_t crc) {
  Found f;
  f.contents.flags = FileContents::BEGINNING | FileContents::WHOLE;
  f.contents.set_beginning_hash(crc * 3ull);
  f.contents.set_whole_hash(crc * 5ull, crc * 7ull);
  f.crc = crc;
  return f;
}

Found beginning(std::uint64_t hash) {
  Found f;
  f.contents.flags = FileContents::BEGINNING;
  f.contents.set_beginning_hash(hash);
  return f;
}

// The files of one scan, as its file store holds them: all of them are
// compared (given to the cache's recall()).
struct Scan {
  FileStore store;
  std::vector<std::uint32_t> files;
  std::uint32_t add(const FileFacts& f) {
    files.push_back(store.add("/scan/file" + std::to_string(store.size()), f));
    return files.back();
  }
  // What reading file `n` found is to be remembered.
  void found(std::uint32_t n, const Found& found) {
    FileContents& c = store.contents_for(n);
    c = found.contents;
    c.flags |= FileContents::LEARNT;
    store[n].crc = found.crc;
  }
  std::uint32_t learn(const FileFacts& f, const Found& what) {
    const std::uint32_t n = add(f);
    found(n, what);
    return n;
  }
  // The cache, having been told the scan's files.
  ContentCache& compared_by(ContentCache& cache) {
    cache.recall(store, files);
    return cache;
  }
  std::string written(ContentCache& cache) { return compared_by(cache).serialize(store); }
  std::string written() {
    ContentCache cache;
    return written(cache);
  }
};

// What the cache gives a file of the walk seen as `f` (nothing: no value).
std::optional<Found> recalled(ContentCache& cache, Scan& scan, const FileFacts& f) {
  const std::uint32_t n = scan.add(f);
  if (cache.recall(scan.store, {n}) == 0) return std::nullopt;
  const FileContents* c = scan.store.contents(n);
  EXPECT_TRUE(c != nullptr && c->has(FileContents::RECALLED));
  return Found{*c, scan.store[n].crc};
}
std::optional<Found> recalled(ContentCache& cache, const FileFacts& f) {
  Scan scan;
  return recalled(cache, scan, f);
}

// A cache of three files, as a file's bytes.
std::string three_files() {
  Scan scan;
  scan.learn(facts(30), whole(3));
  scan.learn(facts(10), whole(1));
  scan.learn(facts(20), beginning(99));
  return scan.written();
}

void reseal(std::string& bytes) {
  const std::uint64_t sum = XXH3_64bits(bytes.data(), bytes.size() - 8);
  std::memcpy(bytes.data() + bytes.size() - 8, &sum, 8);
}

TEST(ContentCache, GivesBackOnlyWhatAFileWithTheSameIdentityHad) {
  ContentCache cache;
  ASSERT_TRUE(cache.parse(three_files()));
  // Any of the five identity values differing: nothing.
  const std::function<void(FileFacts&)> changes[] = {
      [](FileFacts& f) { f.device = 8; },      [](FileFacts& f) { f.inode = 11; },
      [](FileFacts& f) { f.size = 101; },      [](FileFacts& f) { f.mtime_sec += 1; },
      [](FileFacts& f) { f.mtime_nsec += 1; }, [](FileFacts& f) { f.ctime_sec += 1; },
      [](FileFacts& f) { f.ctime_nsec += 1; }, [](FileFacts& f) { f.mode = S_IFLNK | 0777; },
  };
  // The fingerprints answer the walk, before anything is recalled.
  EXPECT_TRUE(cache.has(facts(10)));
  for (const auto& change : changes) {
    FileFacts f = facts(10);
    change(f);
    EXPECT_FALSE(cache.has(f));
  }
  for (const auto& change : changes) {
    FileFacts f = facts(10);
    change(f);
    EXPECT_FALSE(recalled(cache, f));
  }

  std::optional<Found> c = recalled(cache, facts(10));
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->contents.has(FileContents::WHOLE));
  EXPECT_EQ(c->crc, 1u);
  EXPECT_EQ(c->contents.hash_high(), 5u);
  EXPECT_EQ(c->contents.hash_low(), 7u);
  c = recalled(cache, facts(20));
  ASSERT_TRUE(c);
  EXPECT_FALSE(c->contents.has(FileContents::WHOLE));
  EXPECT_EQ(c->contents.beginning_hash(), 99u);

  // A link, a file that could not be read, one not marked as learnt: never
  // remembered.
  Scan scan;
  FileFacts link = facts(40);
  link.mode = S_IFLNK | 0777;
  scan.learn(link, whole(4));
  Found failed = whole(5);
  failed.contents.flags |= FileContents::UNREADABLE;
  scan.learn(facts(41), failed);
  scan.learn(facts(42), Found{});
  scan.store.contents_for(scan.add(facts(43))) = whole(6).contents;
  ContentCache fresh;
  ASSERT_TRUE(fresh.parse(scan.written()));
  EXPECT_EQ(fresh.size(), 0u);
}

// The entries are read a block at a time beside the scan's files sorted by
// key: every file of a few thousand finds its own entry, its hard links
// too, and a changed file none.
TEST(ContentCache, EveryUnchangedFileOfALargeScanIsRecalled) {
  Scan before;
  for (std::uint64_t inode = 1; inode <= 3000; ++inode) {
    if (inode % 3 != 0) before.learn(facts(inode * 2), whole(static_cast<std::uint32_t>(inode)));
  }
  ContentCache cache;
  ASSERT_TRUE(cache.parse(before.written()));
  ASSERT_EQ(cache.size(), 2000u);

  Scan scan;
  std::vector<std::uint32_t> files;
  // In the walk's order, not the key's: last inode first.
  for (std::uint64_t inode = 3000; inode >= 1; --inode) {
    FileFacts f = facts(inode * 2);
    if (inode % 7 == 0) f.ctime_nsec += 1;  // changed since
    files.push_back(scan.add(f));
    if (inode % 100 == 0) files.push_back(scan.add(f));  // a second name of it
  }
  std::size_t expected = 0;
  for (std::uint64_t inode = 1; inode <= 3000; ++inode) {
    if (inode % 3 != 0 && inode % 7 != 0) expected += inode % 100 == 0 ? 2 : 1;
  }
  EXPECT_EQ(cache.recall(scan.store, files), expected);
  for (std::uint32_t n : files) {
    const std::uint64_t inode = scan.store[n].facts.inode / 2;
    const FileContents* c = scan.store.contents(n);
    const bool known = c != nullptr && c->has(FileContents::RECALLED);
    SCOPED_TRACE(inode);
    EXPECT_EQ(known, inode % 3 != 0 && inode % 7 != 0);
    if (known) {
      EXPECT_EQ(scan.store[n].crc, inode);
    }
  }
}

// Between the first reading and the later ones another program could change
// the file where it lies (our writers only ever rename a new file over it):
// what it says then is not believed. Found while recalling, the file counts
// as damaged and the scan writes a new one; found while writing, the scan
// writes nothing.
TEST(ContentCache, AFileChangedAfterLoadingIsNotBelieved) {
  test::TempDir dir;
  const std::string file = dir / "ContentCache";
  auto write_cache = [&] {
    Scan scan;
    scan.learn(facts(10), whole(1));
    scan.learn(facts(20), whole(2));
    ContentCache first;
    ASSERT_TRUE(scan.compared_by(first).save(file, scan.store));
  };
  auto change_in_place = [&] {
    UniqueFd fd(open(file.c_str(), O_WRONLY | O_CLOEXEC));
    ASSERT_TRUE(fd);
    const char changed = 'x';
    ASSERT_EQ(pwrite(fd.get(), &changed, 1, 32 + 84 + 40), 1);  // the second entry's hash
  };

  write_cache();
  {
    ContentCache cache;
    ASSERT_TRUE(cache.load(file));
    EXPECT_TRUE(cache.has(facts(10)));
    change_in_place();
    Scan scan;
    const std::uint32_t n = scan.add(facts(10));
    scan.add(facts(20));
    const std::uint32_t read_now = scan.add(facts(30));
    EXPECT_EQ(cache.recall(scan.store, scan.files), 0u);
    EXPECT_TRUE(scan.store.contents(n) == nullptr || scan.store.contents(n)->flags == 0)
        << "the entry read before the damage is taken back";
    EXPECT_EQ(scan.store[n].crc, 0u);
    scan.found(read_now, whole(3));
    ASSERT_TRUE(cache.save(file, scan.store));
    ContentCache next;
    ASSERT_TRUE(next.load(file));
    EXPECT_EQ(next.size(), 1u) << "only what this scan read";
    EXPECT_TRUE(next.has(facts(30)));
  }

  write_cache();
  {
    ContentCache cache;
    ASSERT_TRUE(cache.load(file));
    Scan scan;
    EXPECT_TRUE(recalled(cache, scan, facts(10)));
    change_in_place();
    const std::string changed_bytes = test::read_file(file);
    EXPECT_FALSE(cache.save(file, scan.store));
    EXPECT_EQ(test::read_file(file), changed_bytes);
    EXPECT_NE(access((file + ".new").c_str(), F_OK), 0) << "nothing left behind";
  }
}

TEST(ContentCache, ADamagedForeignOrNewerFileIsNotTrusted) {
  const std::string good = three_files();
  ContentCache cache;
  ASSERT_TRUE(cache.parse(good));
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
  };
  auto set32 = [](std::string& b, std::size_t at, std::uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
    reseal(b);
  };
  const Case cases[] = {
      {"empty", [](std::string& b) { b.clear(); }},
      {"cut in the header", [](std::string& b) { b.resize(20); }},
      {"cut in an entry", [](std::string& b) { b.resize(b.size() - 30); }},
      {"a byte added", [](std::string& b) { b.push_back('x'); }},
      {"a byte changed in an entry", [](std::string& b) { b[60] ^= 1; }},
      {"the checksum changed", [](std::string& b) { b.back() ^= 1; }},
      {"another magic", [&](std::string& b) { b[0] = 'X', reseal(b); }},
      {"a newer version", [&](std::string& b) { set32(b, 8, 2); }},
      {"the other byte order", [&](std::string& b) { set32(b, 12, 0x04030201); }},
      {"another entry size", [&](std::string& b) { set32(b, 16, 80); }},
      {"more entries than the file holds",
       [&](std::string& b) {
         const std::uint64_t count = 4;
         std::memcpy(b.data() + 24, &count, 8);
         reseal(b);
       }},
      {"entries out of order",
       [&](std::string& b) {
         std::string first = b.substr(32, 84);
         b.replace(32, 84, b.substr(32 + 84, 84));
         b.replace(32 + 84, 84, first);
         reseal(b);
       }},
      {"unknown flags", [&](std::string& b) { set32(b, 32 + 80, 8); }},
      {"met by a later scan than the file's", [&](std::string& b) { set32(b, 32 + 76, 99); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    c.damage(bytes);
    EXPECT_FALSE(cache.parse(bytes));
    EXPECT_EQ(cache.size(), 0u) << "nothing of it is kept";
    EXPECT_FALSE(cache.has(facts(10)));
    EXPECT_FALSE(recalled(cache, facts(10)));
  }
}

TEST(ContentCache, MutatedFilesNeverCrashTheReader) {
  const std::string good = three_files();
  std::mt19937 random(12345);
  ContentCache cache;
  int accepted = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string bytes = good;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = random() % bytes.size();
      switch (random() % 3) {
        case 0:
          bytes[at] = static_cast<char>(random());
          break;
        case 1:
          bytes.resize(at);
          break;
        default:
          bytes.insert(at, 1, static_cast<char>(random()));
      }
      if (bytes.empty()) break;
    }
    if (random() % 2 == 0 && bytes.size() >= 8) reseal(bytes);  // past the checksum
    if (cache.parse(bytes)) ++accepted;
  }
  EXPECT_LT(accepted, 20000);
}

// A file written again within the clock tick in which the scan read it
// keeps all its times: only a file whose change time is well before the
// scan began is remembered.
TEST(ContentCache, AFileChangedJustBeforeTheScanIsNotRemembered) {
  const std::int64_t now = std::time(nullptr);
  const struct {
    std::int64_t ctime;
    bool remembered;
  } cases[] = {
      {now + 60, false},  // a clock ahead of ours
      {now, false},       {now - 1, false}, {now - ContentCache::SETTLE_SECONDS - 1, true},
      {1700000001, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ctime - now);
    Scan scan;
    FileFacts f = facts(1);
    f.ctime_sec = c.ctime;
    scan.learn(f, whole(1));
    ContentCache next;
    ASSERT_TRUE(next.parse(scan.written()));
    EXPECT_EQ(next.has(f), c.remembered);
  }
}

// What one scan learns of a file under two names (hard links), and of a
// file whose old entry no longer fits it, becomes one entry each. A name
// seen later with other times (the file changed between the two looks)
// gives the entry its newer identity, never mixed with the older one's.
TEST(ContentCache, WhatAScanLearnsBecomesOneEntryPerFile) {
  Scan old;
  old.learn(facts(5, 100), whole(9));  // the file as it was
  const std::string before = old.written();

  ContentCache cache;
  ASSERT_TRUE(cache.parse(before));
  const FileFacts now = facts(5, 200);  // rewritten since, and longer
  Scan scan;
  scan.learn(now, beginning(77));  // one name: its beginning
  scan.learn(now, whole(3));       // the other: all of it
  scan.learn(facts(6), beginning(1));
  FileFacts first_look = facts(8), second_look = facts(8);
  second_look.ctime_nsec += 1;
  scan.learn(first_look, whole(4));
  scan.learn(second_look, beginning(5));
  ContentCache next;
  ASSERT_TRUE(next.parse(scan.written(cache)));
  EXPECT_EQ(next.size(), 3u);
  EXPECT_FALSE(next.has(facts(5, 100))) << "the old entry gave way";
  EXPECT_TRUE(next.has(facts(6)));
  EXPECT_FALSE(next.has(first_look));
  EXPECT_TRUE(next.has(second_look));
  Scan later;
  std::optional<Found> c = recalled(next, later, now);
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->contents.has(FileContents::BEGINNING | FileContents::WHOLE));
  EXPECT_EQ(c->crc, 3u);
  EXPECT_EQ(c->contents.beginning_hash(), whole(3).contents.beginning_hash())
      << "the later lesson wins";
  c = recalled(next, later, second_look);
  ASSERT_TRUE(c);
  EXPECT_FALSE(c->contents.has(FileContents::WHOLE)) << "nothing of the older look";
  EXPECT_EQ(c->contents.beginning_hash(), 5u);
}

TEST(ContentCache, EntriesNoScanMetForTenScansAreDropped) {
  test::TempDir dir;
  const std::string file = dir / "ContentCache";
  {
    Scan first;
    first.learn(facts(1), whole(1));
    first.learn(facts(2), whole(2));
    ContentCache cache;
    ASSERT_TRUE(first.compared_by(cache).save(file, first.store));
  }
  // File 1 is met by every scan, file 2 by none after the first: it is
  // still there for ten more scans, and the tenth writes it no more.
  for (std::uint32_t scan = 2; scan <= ContentCache::KEEP_SCANS + 1; ++scan) {
    SCOPED_TRACE(scan);
    ContentCache cache;
    ASSERT_TRUE(cache.load(file));
    EXPECT_TRUE(cache.has(facts(2)));
    Scan next;
    EXPECT_TRUE(recalled(cache, next, facts(1)));
    ASSERT_TRUE(cache.save(file, next.store));
  }
  ContentCache cache;
  ASSERT_TRUE(cache.load(file));
  EXPECT_TRUE(cache.has(facts(1)));
  EXPECT_FALSE(cache.has(facts(2)));
  EXPECT_EQ(cache.size(), 1u);
}

// Scan numbers only ever grow; a file written by the highest scan a reader
// takes must still be read by the next scan, and ages must survive the
// renumbering.
TEST(ContentCache, TheScanNumberNeverRunsOut) {
  std::string bytes = three_files();
  auto set32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(bytes.data() + at, &v, 4); };
  const std::uint32_t top = UINT32_MAX - 1;
  set32(20, top);                    // the file's scan
  set32(32 + 0 * 84 + 76, top);      // inode 10: met by that scan
  set32(32 + 1 * 84 + 76, top - 9);  // inode 20: ten scans old at the next writing
  set32(32 + 2 * 84 + 76, top - 8);  // inode 30: nine
  reseal(bytes);
  // Inode 10 stays for nine more writings, inode 30 for one.
  const std::size_t kept[] = {2, 1, 1, 1, 1, 1, 1, 1, 1, 0};
  for (std::size_t k = 0; k < std::size(kept); ++k) {
    SCOPED_TRACE(k);
    ContentCache cache;
    ASSERT_TRUE(cache.parse(bytes));
    bytes = Scan().written(cache);
    ContentCache again;
    ASSERT_TRUE(again.parse(bytes)) << "the file written is read back";
    EXPECT_EQ(again.size(), kept[k]);
    EXPECT_EQ(again.has(facts(10)), kept[k] >= 1);
    EXPECT_EQ(again.has(facts(30)), kept[k] == 2);
  }
}

// A re-scan that meets every entry, as the scan before it did, and learns
// nothing leaves the file as it is (same file, same bytes); anything that
// would change an entry or its age writes it.
TEST(ContentCache, OnlyAScanThatChangesSomethingWritesTheFile) {
  test::TempDir dir;
  const std::string file = dir / "ContentCache";
  // Meets files 1 and 2 unchanged, and a file 3 the cache never saw;
  // `change` then does what this scan's reads did.
  auto rescan = [&](std::function<void(Scan&)> change, bool meet_both = true) {
    ContentCache cache;
    EXPECT_TRUE(cache.load(file));
    Scan scan;
    scan.add(facts(1));
    if (meet_both) scan.add(facts(2));
    scan.add(facts(3));
    scan.compared_by(cache);
    if (change) change(scan);
    EXPECT_TRUE(cache.save(file, scan.store));
  };
  auto identity = [&] {
    struct stat st;
    EXPECT_EQ(stat(file.c_str(), &st), 0);
    return std::pair(st.st_ino, test::read_file(file));
  };
  struct Case {
    const char* what;
    std::function<void(Scan&)> change;
    bool meet_both;
    bool written;
  };
  const Case cases[] = {
      {"nothing changed", nullptr, true, false},
      {"file 2 not met", nullptr, false, true},
      {"file 2 read whole now",
       [](Scan& s) {
         s.store.contents_for(1).flags |= FileContents::LEARNT;
         s.found(1, whole(9));
       },
       true, true},
      {"file 3 learnt", [](Scan& s) { s.found(2, whole(3)); }, true, true},
      {"file 1 unreadable now",
       [](Scan& s) { s.store.contents_for(0).flags |= FileContents::UNREADABLE; }, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      Scan first;
      first.learn(facts(1), whole(1));
      first.learn(facts(2), beginning(2));
      ContentCache cache;
      ASSERT_TRUE(first.compared_by(cache).save(file, first.store));
    }
    const auto before = identity();
    rescan(c.change, c.meet_both);
    const auto after = identity();
    EXPECT_EQ(after != before, c.written);
    ContentCache check;
    ASSERT_TRUE(check.load(file));
    EXPECT_TRUE(check.has(facts(1))) << "the file written is whole";
  }
  // An entry a scan did not meet is older than the rest: the next scan that
  // meets it writes the file to make it young again, the one after does not.
  rescan(nullptr, false);
  auto before = identity();
  rescan(nullptr);
  EXPECT_NE(identity(), before);
  before = identity();
  rescan(nullptr);
  EXPECT_EQ(identity(), before);
}

TEST(ContentCache, TheFileIsWrittenWholeAndNeverThroughALink) {
  test::TempDir dir;
  const std::string file = dir / "ContentCache";
  ContentCache cache;
  Scan scan;
  scan.learn(facts(1), whole(1));
  scan.compared_by(cache);

  // A link at the name: replaced by the file, its target untouched.
  test::write_file(dir / "elsewhere", "not a cache");
  ASSERT_EQ(symlink((dir / "elsewhere").c_str(), file.c_str()), 0);
  ContentCache other;
  EXPECT_FALSE(other.load(file)) << "a link is not read";
  ASSERT_TRUE(cache.save(file, scan.store));
  struct stat st;
  ASSERT_EQ(lstat(file.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(test::read_file(dir / "elsewhere"), "not a cache");
  EXPECT_TRUE(other.load(file));

  // The mode is kept.
  chmod(file.c_str(), 0640);
  ASSERT_TRUE(cache.save(file, scan.store));
  EXPECT_EQ(test::file_mode(file), 0640u);

  // Another program writing it now: this one leaves it to that one.
  test::write_file(file + ".new", "being written");
  EXPECT_FALSE(cache.save(file, scan.store));
  EXPECT_EQ(test::read_file(file + ".new"), "being written");
  EXPECT_TRUE(other.load(file)) << "the file there stays whole";
  // ... unless that one ended midway long ago.
  const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  utimensat(AT_FDCWD, (file + ".new").c_str(), old, 0);
  EXPECT_TRUE(cache.save(file, scan.store));
  EXPECT_NE(access((file + ".new").c_str(), F_OK), 0);
  // A link planted at the temporary name is never written through, however
  // old it is.
  ASSERT_EQ(symlink((dir / "elsewhere").c_str(), (file + ".new").c_str()), 0);
  utimensat(AT_FDCWD, (file + ".new").c_str(), old, AT_SYMLINK_NOFOLLOW);
  EXPECT_FALSE(cache.save(file, scan.store));
  EXPECT_EQ(test::read_file(dir / "elsewhere"), "not a cache");
  EXPECT_TRUE(other.load(file)) << "the file there stays whole";
  unlink((file + ".new").c_str());

  // A pipe or a directory at the name is never waited on or read.
  unlink(file.c_str());
  ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
  EXPECT_FALSE(other.load(file));
  unlink(file.c_str());
  mkdir(file.c_str(), 0700);
  EXPECT_FALSE(other.load(file));
}

// A clean-up that found two files' bytes differ has the cache forget them
// (any entry of their device and inode): the next scan reads them again.
// The others stay as they were; a file holding none of them is left alone.
TEST(ContentCache, ForgottenFilesAreReadAgainAndTheOthersKeepTheirEntries) {
  test::TempDir dir;
  const std::string file = dir / "ContentCache";
  {
    Scan scan;
    scan.learn(facts(30), whole(3));
    scan.learn(facts(10), whole(1));
    scan.learn(facts(20), beginning(99));
    ContentCache cache;
    ASSERT_TRUE(scan.compared_by(cache).save(file, scan.store));
  }
  chmod(file.c_str(), 0640);
  auto identity = [](std::uint64_t inode, std::uint64_t device = 7) {
    FileIdentity id;
    id.device = device;
    id.inode = inode;
    id.size = 5;  // times and size need not match: the file's every entry goes
    id.type = S_IFREG;
    return id;
  };
  struct stat before, after;
  ASSERT_EQ(stat(file.c_str(), &before), 0);
  // None of its files: the file stays as it is.
  EXPECT_TRUE(ContentCache::forget_files(file, {identity(10, 8), identity(11)}));
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);

  EXPECT_TRUE(ContentCache::forget_files(file, {identity(10), identity(30)}));
  ContentCache cache;
  ASSERT_TRUE(cache.load(file));
  EXPECT_EQ(cache.size(), 1u);
  Scan scan;
  EXPECT_FALSE(recalled(cache, scan, facts(10)));
  EXPECT_FALSE(recalled(cache, scan, facts(30)));
  ContentCache again;
  ASSERT_TRUE(again.load(file));
  std::optional<Found> kept = recalled(again, facts(20));
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->contents.beginning_hash(), 99u);
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0640u) << "the mode is kept";

  // No file, or one not to be trusted: nothing to forget.
  EXPECT_TRUE(ContentCache::forget_files(dir / "missing", {identity(10)}));
  test::write_file(dir / "damaged", "PMCCACHE and nothing more");
  EXPECT_TRUE(ContentCache::forget_files(dir / "damaged", {identity(10)}));
  EXPECT_EQ(test::read_file(dir / "damaged"), "PMCCACHE and nothing more");
}

}  // namespace
