#include "scan/group_tree.h"

#include <gtest/gtest.h>

#include <memory>

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
  insert_file(ctx, ctx.key_tree, "k", "/b/k", 1, 0);  // the same path again
  EXPECT_EQ(block->counters.dup_count.load(), 2);
  EXPECT_EQ(ctx.rows_expected, 5);

  auto& node = *ctx.key_tree.descending().front().second;
  ASSERT_EQ(node.count, 3);
  EXPECT_STREQ(node.members[0].path, "/a/k");
  EXPECT_STREQ(node.members[2].path, "/c/k");
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
  for (const char* key : {"000000005?a", "1000000000?", "999999999?", "\xff", "000000005?b"}) {
    tree.insert(key, std::string("/") + key, 0, 0);
  }
  std::vector<std::string> order;
  for (auto [key, node] : tree.descending()) order.emplace_back(key);
  EXPECT_EQ(order, (std::vector<std::string>{"\xff", "999999999?", "1000000000?", "000000005?b",
                                             "000000005?a"}));
  tree.clear();
  EXPECT_TRUE(tree.empty());
}

TEST(GroupTree, HundredThousandMembersOfOneGroup) {
  // Comparing each new path with every member would make this quadratic
  // (minutes, not moments).
  GroupTree tree;
  for (int i = 0; i < 100000; ++i) tree.insert("k", "/dir/file" + std::to_string(i), 0, 0);
  EXPECT_EQ(tree.insert("k", "/dir/file77777", 0, 0), 0);
  EXPECT_EQ(tree.insert("k", "/dir/file100000", 0, 0), 100001);
  EXPECT_STREQ(tree.descending().front().second->members[99999].path, "/dir/file99999");
}

}  // namespace
