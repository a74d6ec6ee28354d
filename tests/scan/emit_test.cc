#include "scan/emit.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "core/scan_channel.h"
#include "scan/file_digest.h"
#include "scan_fixture.h"

namespace {

using test::ScanTest;

// Runs an emission against a block whose list already holds `rows_before`
// rows, taking the records on a second thread as the interface would.
std::vector<std::string> emit_with_rows_before(int rows_before, int groups) {
  auto block = std::make_unique<ScanBlock>();
  block->row_count.store(rows_before);
  ScanOptions o;
  o.group_min = 2;
  o.group_max = 99999;
  ScanContext ctx(*block, o);
  for (int g = 0; g < groups; ++g) {
    std::string key = "k" + std::to_string(100 + g);
    insert_file(ctx, ctx.key_tree, key, "/none/" + key + "a", 0, 0);
    insert_file(ctx, ctx.key_tree, key, "/none/" + key + "b", 0, 0);
  }
  struct Sent : ListRecordSink {
    std::vector<std::string> rows;
    void clear_list() override {}
    void freeze_list() override {}
    void thaw_list() override {}
    void append_row(const RowTexts& row) override {
      rows.push_back(std::string(row.col[0]) + "|" + row.col[1] + "|" + row.col[2]);
    }
  } sink;
  std::vector<std::string>& sent = sink.rows;
  std::atomic<bool> done{false};
  std::thread taker([&] {
    while (!done || records_waiting(*block)) take_list_records(*block, sink, 1000);
  });
  emit_groups(ctx);
  done = true;
  taker.join();
  return sent;
}

TEST(RowLimit, FullListGetsOneNoticeAtExactlyTheLimit) {
  // 49997 + one group of three rows = 50000: the next group finds the list full.
  auto sent = emit_with_rows_before(LIST_ROW_LIMIT - 3, 3);
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0], "/*|Group 1 |(1 - 2)");
  EXPECT_EQ(sent[3], "/*|List Box| Is Full");
}

TEST(RowLimit, AGroupCrossingTheLimitIsFinishedAndTheCutIsTold) {
  auto sent = emit_with_rows_before(LIST_ROW_LIMIT - 2, 3);
  ASSERT_EQ(sent.size(), 4u) << "the group runs past the limit, then the notice";
  EXPECT_EQ(sent[0], "/*|Group 1 |(1 - 2)");
  EXPECT_EQ(sent[3], "/*|List Box| Is Full");
}

// Contents of `size` bytes whose CRC-32 satisfies `wanted`, found by trying.
template <typename Pred>
std::string content_with_crc(std::size_t size, Pred wanted) {
  std::string s(size, 'a');
  for (std::uint64_t n = 0;; ++n) {
    std::memcpy(s.data(), &n, std::min(size, sizeof n));
    if (wanted(libdeflate_crc32(0, s.data(), s.size()))) return s;
  }
}

TEST_F(ScanTest, CrcSubGroupsComeInDescendingOrderOfTheirHexText) {
  options.same_name = false;
  std::string short_hex = content_with_crc(8, [](std::uint32_t c) { return (c >> 12) == 0xF; });
  std::string long_hex = content_with_crc(8, [](std::uint32_t c) { return (c >> 28) == 0x1; });
  make_file("a/one", long_hex);
  make_file("b/two", long_hex);
  make_file("a/three", short_hex);
  make_file("b/four", short_hex);

  auto run = scan();
  std::vector<std::string> crcs;
  for (const ListRow& r : run.rows()) {
    if (r[0] == " ") crcs.push_back(r[4]);
  }
  ASSERT_EQ(crcs.size(), 4u);
  EXPECT_EQ(crcs[0].substr(0, 4), "0000") << "F... written with four digits comes first";
  EXPECT_EQ(crcs[0][4], 'F');
  EXPECT_EQ(crcs[1], crcs[0]);
  EXPECT_EQ(crcs[2][0], '1');
  EXPECT_EQ(run.block->counters.dup_count.load(), 2);
}

TEST_F(ScanTest, ReadingOnlyBeginningsGivesTheSameGroupsAsReadingEverything) {
  options.same_name = false;
  const std::size_t size = 3 * PROBE_BYTES;
  std::string base(size, '\0');
  for (std::size_t i = 0; i < size; ++i) base[i] = static_cast<char>(i * 7919 % 251);
  std::string late = base, early = base, last = base;
  late[PROBE_BYTES + 100] ^= 1;  // differs only past the first read
  early[10] ^= 1;
  last[size - 1] ^= 1;
  make_file("a/same1", base);
  make_file("b/same2", base);
  make_file("c/late", late);
  make_file("d/late2", late);
  make_file("e/early", early);
  make_file("f/last", last);
  // Enough files of one size that the group is no longer compared pair by
  // pair, each differing from all others in its first bytes.
  for (int k = 0; k < 18; ++k) {
    std::string unique = base;
    unique[20 + k] ^= 3;
    make_file("u/unique" + std::to_string(k), unique);
  }
  make_file("g/small1", "tiny");
  make_file("h/small2", "tiny");
  make_file("i/small3", "tin!");

  auto groups_of = [&](const test::ScanRun& run) {
    std::vector<std::vector<std::string>> groups;
    for (const ListRow& r : run.rows()) {
      if (r[1].rfind("Group ", 0) == 0)
        groups.emplace_back();
      else if (r[0] == " " && !groups.empty())
        groups.back().push_back(r[6] + " " + r[4]);
    }
    for (auto& g : groups) std::sort(g.begin(), g.end());
    // Groups of one file only show when the group minimum is 1.
    std::erase_if(groups, [](const auto& g) { return g.size() < 2; });
    std::sort(groups.begin(), groups.end());
    return groups;
  };
  auto probed = scan();
  options.group_min = 1;
  auto full = scan();
  EXPECT_EQ(groups_of(probed), groups_of(full));
  EXPECT_EQ(groups_of(probed).size(), 3u);  // same, late, small
  EXPECT_EQ(probed.block->counters.dup_count.load(), 3);
  EXPECT_EQ(full.block->counters.dup_count.load(), 3);
  EXPECT_EQ(full.paths().size(), 27u) << "with a minimum of 1 every file shows";
}

TEST_F(ScanTest, DisplayedCrcWithoutCrcComparison) {
  options.same_crc = false;
  make_file("a/x.txt", "abc");
  make_file("b/x.txt", "abd");  // differs, still the same size and name
  auto run = scan();
  ASSERT_EQ(run.paths().size(), 2u);
  std::vector<std::string> crcs;
  for (const ListRow& r : run.rows()) {
    if (r[0] == " ") crcs.push_back(r[4]);
  }
  std::sort(crcs.begin(), crcs.end());
  EXPECT_EQ(crcs[0], "352441C2");

  options.display_crc = false;
  auto plain = scan();
  for (const ListRow& r : plain.rows()) {
    if (r[0] == " ") {
      EXPECT_EQ(r[4], "-");
    }
  }
}

TEST(FileDigest, ContentsOfFilesLinksAndOddEntries) {
  test::TempDir dir;
  test::write_file(dir / "abc", "abc");
  test::write_file(dir / "empty", "");
  ASSERT_EQ(symlink("abc", (dir / "link").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);

  FileReader reader;
  FileDigest d = reader.digest((dir / "abc").c_str(), true);
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.crc, 0x352441C2u);
  EXPECT_EQ(d.bytes, 3);
  d = reader.digest((dir / "empty").c_str(), true);
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.crc, 0u);
  // A link is never followed: its contents are its text, "abc" here too.
  FileDigest link = reader.digest((dir / "link").c_str(), true);
  EXPECT_TRUE(link.ok);
  EXPECT_EQ(link.crc, 0x352441C2u);
  // A pipe is never opened for reading (it would wait for a writer).
  EXPECT_FALSE(reader.digest((dir / "fifo").c_str(), true).ok);
  EXPECT_FALSE(reader.digest(dir.path().c_str(), true).ok);
  EXPECT_FALSE(reader.digest((dir / "missing").c_str(), true).ok);

  FileProbe probe = reader.probe((dir / "abc").c_str(), 2);
  ASSERT_TRUE(probe.readable);
  EXPECT_FALSE(probe.complete) << "three bytes do not end within two";
  probe = reader.probe((dir / "abc").c_str(), 3);
  ASSERT_TRUE(probe.readable);
  EXPECT_TRUE(probe.complete);
  EXPECT_EQ(probe.whole.crc, 0x352441C2u);
  FileDigest abc = reader.digest((dir / "abc").c_str(), true);
  EXPECT_EQ(probe.whole.hash_low, abc.hash_low);
  EXPECT_EQ(probe.whole.hash_high, abc.hash_high);
  EXPECT_FALSE(reader.probe((dir / "fifo").c_str(), 2).readable);
}

}  // namespace
