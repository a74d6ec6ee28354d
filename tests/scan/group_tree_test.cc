#include "scan/group_tree.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/scan_channel.h"
#include "scan/scan_context.h"

namespace {

class InsertFileTest : public ::testing::Test {
 protected:
  ScanOptions limited(std::int32_t stop_after, bool same_crc) {
    ScanOptions o;
    o.stop_after = stop_after;
    o.same_crc = same_crc;
    return o;
  }
  std::unique_ptr<ScanBlock> block = std::make_unique<ScanBlock>();
};

TEST_F(InsertFileTest, CountsDuplicatesAndTheRowsTheyWillNeed) {
  ScanContext ctx(*block, limited(1000, true));
  insert_file(ctx, ctx.key_tree, "k", "/a/k", 1, 0);
  EXPECT_EQ(block->counters.dup_count.load(), 0);
  EXPECT_EQ(ctx.rows_expected, 1);
  insert_file(ctx, ctx.key_tree, "k", "/b/k", 1, 0);
  EXPECT_EQ(block->counters.dup_count.load(), 1);
  EXPECT_EQ(ctx.rows_expected, 4) << "a header and two rows";
  insert_file(ctx, ctx.key_tree, "k", "/c/k", 1, 0);
  EXPECT_EQ(block->counters.dup_count.load(), 2);
  EXPECT_EQ(ctx.rows_expected, 5);

  auto& node = *ctx.key_tree.descending().front().second;
  ASSERT_EQ(node.count, 3);
  EXPECT_EQ(ctx.files.path_of(ctx.files[node.members[0]]), "/a/k");
  EXPECT_EQ(ctx.files.path_of(ctx.files[node.members[2]]), "/c/k");
}

TEST_F(InsertFileTest, StopLimitWithoutCrcComparison) {
  ScanContext ctx(*block, limited(5, false));
  for (int i = 0; i < 6; ++i) insert_file(ctx, ctx.key_tree, "k", "/" + std::to_string(i), 1, 0);
  EXPECT_EQ(block->counters.dup_count.load(), 5) << "the fifth duplicate still enters";
  EXPECT_EQ(ctx.end_message, "Stopped 5 Duplicates Found");
  EXPECT_EQ(ctx.end_detail, "(Limit = 5)");
  insert_file(ctx, ctx.key_tree, "new key", "/x", 1, 0);
  EXPECT_EQ(ctx.key_tree.group_count(), 1u) << "not even a new key enters";
  EXPECT_EQ(ctx.key_tree.descending().front().second->count, 6);

  // With CRC comparison the walk collects everything.
  auto block2 = std::make_unique<ScanBlock>();
  ScanContext crc(*block2, limited(5, true));
  for (int i = 0; i < 10; ++i) insert_file(crc, crc.key_tree, "k", "/" + std::to_string(i), 1, 0);
  EXPECT_EQ(block2->counters.dup_count.load(), 9);
  EXPECT_TRUE(crc.end_message.empty());
}

TEST_F(InsertFileTest, WalkReportsProgressPerStopLimitRound) {
  ScanContext ctx(*block, limited(4, true));
  float fraction = -1;
  for (int i = 0; i < 4; ++i) insert_file(ctx, ctx.key_tree, "k", "/" + std::to_string(i), 1, 0);
  ASSERT_TRUE(take_progress(*block, fraction));
  EXPECT_FLOAT_EQ(fraction, 0.75f);  // 3 duplicates of 4
  ctx.phase = ScanPhase::CRC_PASS;
  insert_file(ctx, ctx.key_tree, "k", "/9", 1, 0);
  EXPECT_FALSE(take_progress(*block, fraction)) << "only the walk reports per duplicate";
}

TEST(GroupTree, VisitsKeysInDescendingByteOrder) {
  GroupTree tree;
  FileStore files;
  for (const char* key : {"000000005?a", "1000000000?", "999999999?", "\xff", "000000005?b"}) {
    tree.insert(key, files.add(std::string("/") + key, FileFacts{}));
  }
  std::vector<std::string> order;
  for (auto [key, node] : tree.descending()) order.emplace_back(key);
  EXPECT_EQ(order, (std::vector<std::string>{"\xff", "999999999?", "1000000000?", "000000005?b",
                                             "000000005?a"}));
  tree.clear();
  EXPECT_TRUE(tree.empty());
}

TEST(GroupTree, HundredThousandMembersOfOneGroupKeepTheirOrder) {
  GroupTree tree;
  FileStore files;
  for (int i = 0; i < 100000; ++i) {
    EXPECT_EQ(tree.insert("k", files.add("/dir/file" + std::to_string(i), FileFacts{})), i + 1);
  }
  const GroupNode& node = *tree.descending().front().second;
  ASSERT_EQ(node.members.size(), 100000u);
  EXPECT_EQ(files.path_of(files[node.members[99999]]), "/dir/file99999");
  EXPECT_EQ(files.path_of(files[node.members[0]]), "/dir/file0");
}

// A path is kept as its directory (once) and its name, and comes back byte
// for byte, whatever order the directories come in.
TEST(FileStore, EveryPathComesBackAsItWasGiven) {
  const std::string long_name(255, 'n');
  const std::string paths[] = {
      "/top",  // a file of the root
      "/dir/x",
      "/dir/y",
      "/other/dir/x",
      "/dir/z",  // a directory met again after another
      "/dir/x",  // the same path twice is two files
      "/dir/" + long_name,
      std::string("/bytes\xff\xfe/na\nme\t"),  // not UTF-8, a line feed, a tab
      "/dir/with space/ and 'quotes'",
      "bare",  // no directory at all
      "/",     // the root itself: an empty name in ""
  };
  FileStore files;
  std::vector<std::uint32_t> numbers;
  for (const std::string& path : paths) {
    FileFacts facts;
    facts.size = static_cast<std::int64_t>(path.size());
    numbers.push_back(files.add(path, facts));
  }
  ASSERT_EQ(files.size(), std::size(paths));
  for (std::size_t i = 0; i < std::size(paths); ++i) {
    SCOPED_TRACE(paths[i]);
    EXPECT_EQ(numbers[i], i);
    EXPECT_EQ(files.path_of(files[numbers[i]]), paths[i]);
    EXPECT_EQ(files[numbers[i]].facts.size, static_cast<std::int64_t>(paths[i].size()));
  }
  files.clear();
  EXPECT_EQ(files.size(), 0u);
  EXPECT_EQ(files.path_of(files[files.add("/again/x", FileFacts{})]), "/again/x");
}

// More files than one chunk of the store and more names than one block of
// its texts: numbers and members stay where they were.
TEST(FileStore, MembersStayPutWhileTheStoreGrows) {
  FileStore files;
  const std::string dir = "/d/" + std::string(200, 'x');
  const GroupMember* first = &files[files.add(dir + "/0", FileFacts{})];
  for (int i = 1; i < 200000; ++i) {
    files.add(dir + std::to_string(i / 1000) + "/" + std::string(30, 'f') + std::to_string(i),
              FileFacts{});
  }
  EXPECT_EQ(first, &files[0]);
  EXPECT_EQ(files.path_of(*first), dir + "/0");
  EXPECT_EQ(files.path_of(files[199999]), dir + "199/" + std::string(30, 'f') + "199999");
}

}  // namespace
