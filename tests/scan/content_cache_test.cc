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

ContentCache::Contents whole(std::uint32_t crc) {
  ContentCache::Contents c;
  c.has_beginning = true;
  c.beginning_hash = crc * 3ull;
  c.has_whole = true;
  c.crc = crc;
  c.hash_high = crc * 5ull;
  c.hash_low = crc * 7ull;
  return c;
}

// A cache of three files, as a file's bytes.
std::string three_files() {
  ContentCache cache;
  cache.remember(facts(30), whole(3));
  cache.remember(facts(10), whole(1));
  ContentCache::Contents beginning;
  beginning.has_beginning = true;
  beginning.beginning_hash = 99;
  cache.remember(facts(20), beginning);
  return cache.serialize();
}

void reseal(std::string& bytes) {
  const std::uint64_t sum = XXH3_64bits(bytes.data(), bytes.size() - 8);
  std::memcpy(bytes.data() + bytes.size() - 8, &sum, 8);
}

TEST(ContentCache, GivesBackOnlyWhatAFileWithTheSameIdentityHad) {
  ContentCache cache;
  ASSERT_TRUE(cache.parse(three_files()));
  std::optional<ContentCache::Contents> c = cache.find(facts(10));
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->has_whole);
  EXPECT_EQ(c->crc, 1u);
  EXPECT_EQ(c->hash_high, 5u);
  EXPECT_EQ(c->hash_low, 7u);
  c = cache.find(facts(20));
  ASSERT_TRUE(c);
  EXPECT_FALSE(c->has_whole);
  EXPECT_EQ(c->beginning_hash, 99u);

  // Any of the five identity values differing: nothing.
  const std::function<void(FileFacts&)> changes[] = {
      [](FileFacts& f) { f.device = 8; },      [](FileFacts& f) { f.inode = 11; },
      [](FileFacts& f) { f.size = 101; },      [](FileFacts& f) { f.mtime_sec += 1; },
      [](FileFacts& f) { f.mtime_nsec += 1; }, [](FileFacts& f) { f.ctime_sec += 1; },
      [](FileFacts& f) { f.ctime_nsec += 1; }, [](FileFacts& f) { f.mode = S_IFLNK | 0777; },
  };
  for (const auto& change : changes) {
    FileFacts f = facts(10);
    change(f);
    EXPECT_FALSE(cache.find(f));
    EXPECT_FALSE(cache.has(f));
  }
  // A link, a file that could not be read: never remembered.
  ContentCache fresh;
  FileFacts link = facts(40);
  link.mode = S_IFLNK | 0777;
  fresh.remember(link, whole(4));
  fresh.remember(facts(41), ContentCache::Contents{});
  EXPECT_EQ(fresh.size(), 0u);
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
    EXPECT_FALSE(cache.find(facts(10)));
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
    ContentCache cache;
    FileFacts f = facts(1);
    f.ctime_sec = c.ctime;
    cache.remember(f, whole(1));
    ContentCache next;
    ASSERT_TRUE(next.parse(cache.serialize()));
    EXPECT_EQ(next.has(f), c.remembered);
  }
}

// What one scan learns of a file under two names (hard links), and of a
// file whose old entry no longer fits it, becomes one entry each; facts
// the caller keeps in place are read when the cache is written.
TEST(ContentCache, WhatAScanLearnsBecomesOneEntryPerFile) {
  ContentCache old;
  old.remember(facts(5, 100), whole(9));  // the file as it was
  const std::string before = old.serialize();

  ContentCache cache;
  ASSERT_TRUE(cache.parse(before));
  const FileFacts now = facts(5, 200);  // rewritten since, and longer
  ContentCache::Contents beginning;
  beginning.has_beginning = true;
  beginning.beginning_hash = 77;
  cache.remember_in_place(now, beginning);  // one name: its beginning
  cache.remember_in_place(now, whole(3));   // the other: all of it
  cache.remember(facts(6), beginning);
  ContentCache next;
  ASSERT_TRUE(next.parse(cache.serialize()));
  EXPECT_EQ(next.size(), 2u);
  EXPECT_FALSE(next.has(facts(5, 100))) << "the old entry gave way";
  std::optional<ContentCache::Contents> c = next.find(now);
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->has_beginning && c->has_whole);
  EXPECT_EQ(c->crc, 3u);
  EXPECT_EQ(c->beginning_hash, whole(3).beginning_hash) << "the later lesson wins";
  EXPECT_TRUE(next.has(facts(6)));
}

TEST(ContentCache, EntriesNoScanMetForTenScansAreDropped) {
  test::TempDir dir;
  const std::string file = dir / "ContentCache";
  ContentCache cache;
  cache.remember(facts(1), whole(1));
  cache.remember(facts(2), whole(2));
  ASSERT_TRUE(cache.save(file));
  // File 1 is met by every scan, file 2 by none after the first: it is
  // still there for ten more scans, and the tenth writes it no more.
  for (std::uint32_t scan = 2; scan <= ContentCache::KEEP_SCANS + 1; ++scan) {
    SCOPED_TRACE(scan);
    ASSERT_TRUE(cache.load(file));
    EXPECT_TRUE(cache.find(facts(1)));
    EXPECT_TRUE(cache.has(facts(2)));
    ASSERT_TRUE(cache.save(file));
  }
  ASSERT_TRUE(cache.load(file));
  EXPECT_TRUE(cache.has(facts(1)));
  EXPECT_FALSE(cache.has(facts(2)));
  EXPECT_EQ(cache.size(), 1u);
}

TEST(ContentCache, TheFileIsWrittenWholeAndNeverThroughALink) {
  test::TempDir dir;
  const std::string file = dir / "ContentCache";
  ContentCache cache;
  cache.remember(facts(1), whole(1));

  // A link at the name: replaced by the file, its target untouched.
  test::write_file(dir / "elsewhere", "not a cache");
  ASSERT_EQ(symlink((dir / "elsewhere").c_str(), file.c_str()), 0);
  ContentCache other;
  EXPECT_FALSE(other.load(file)) << "a link is not read";
  ASSERT_TRUE(cache.save(file));
  struct stat st;
  ASSERT_EQ(lstat(file.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(test::read_file(dir / "elsewhere"), "not a cache");
  EXPECT_TRUE(other.load(file));

  // The mode is kept.
  chmod(file.c_str(), 0640);
  ASSERT_TRUE(cache.save(file));
  EXPECT_EQ(test::file_mode(file), 0640u);

  // Another program writing it now: this one leaves it to that one.
  test::write_file(file + ".new", "being written");
  EXPECT_FALSE(cache.save(file));
  EXPECT_EQ(test::read_file(file + ".new"), "being written");
  EXPECT_TRUE(other.load(file)) << "the file there stays whole";
  // ... unless that one ended midway long ago.
  const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  utimensat(AT_FDCWD, (file + ".new").c_str(), old, 0);
  EXPECT_TRUE(cache.save(file));
  EXPECT_NE(access((file + ".new").c_str(), F_OK), 0);
  // A link planted at the temporary name is never written through, however
  // old it is.
  ASSERT_EQ(symlink((dir / "elsewhere").c_str(), (file + ".new").c_str()), 0);
  utimensat(AT_FDCWD, (file + ".new").c_str(), old, AT_SYMLINK_NOFOLLOW);
  EXPECT_FALSE(cache.save(file));
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

}  // namespace
