// The result list as a model, without a display.
#include "ui/list/result_list.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "support/disk_facts.h"
#include "support/mounts.h"
#include "ui/list/support/list_fixture.h"

namespace {

using test::ListTest;
using Rows = std::vector<std::string>;

GdkRGBA background(const ResultList& list, int row) {
  GtkTreeIter iter;
  gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(list.store()), &iter, nullptr, row);
  GdkRGBA* colour = nullptr;
  gtk_tree_model_get(GTK_TREE_MODEL(list.store()), &iter, COL_BACKGROUND, &colour, -1);
  GdkRGBA value = colour ? *colour : GdkRGBA{-1, -1, -1, -1};
  if (colour) gdk_rgba_free(colour);
  return value;
}

TEST_F(ListTest, RowsKeepTheirBytesAndShowADisplayForm) {
  comment("Sorted List");
  header(1);
  std::string odd = "/tmp/caf\xE9\nx";
  FileIdentity id{7, 8, 9, 10, 11, S_IFREG, 12, 13};
  RowTexts r{{" ", "d", "t", "9", "crc", "-rw-r--r--", odd.c_str()}, &id};
  list.append(r);
  row("/plain", 5);

  ASSERT_EQ(list.size(), 4);
  EXPECT_EQ(list.path(2), odd) << "the bytes are kept";
  EXPECT_EQ(list.text(2, COL_PATH), "/tmp/caf\xEF\xBF\xBD\\nx") << "the shown text";
  EXPECT_EQ(list.identity(2), id);
  EXPECT_EQ(list.path(3), "/plain");
  EXPECT_FALSE(list.identity(3).known());
  EXPECT_EQ(list.classify_row(0), ROW_COMMENT);
  EXPECT_EQ(list.classify_row(1), ROW_GROUP);
  EXPECT_EQ(list.classify_row(2), ROW_FILE);
  for (int outside : {-1, 4, 100}) EXPECT_EQ(list.classify_row(outside), ROW_NONE) << outside;
  EXPECT_EQ(list.text(4, 0), "");
  EXPECT_EQ(list.row_size(3), 5);

  list.select(2);
  list.clear();
  EXPECT_EQ(list.size(), 0);
  EXPECT_EQ(list.selected_row(), -1);
}

// A file seen through two mounts (an overlay shows lower/doc as merged/doc
// on its own device, with the same inode number, size and modification
// time) shows as a hard link of its first name; a file that only shares
// the inode number does not.
TEST_F(ListTest, OneFileSeenThroughTwoMountsShowsAsAHardLink) {
  header(1);
  FileIdentity lower{7, 8, 9, 10, 11, S_IFREG, 12, 13};
  FileIdentity merged = lower, other = lower;
  merged.device = 70;
  other.device = 71;
  other.mtime_nsec = 12;
  for (const auto& [path, id] : {std::pair{"/lower/doc", &lower}, std::pair{"/merged/doc", &merged},
                                 std::pair{"/other/doc", &other}}) {
    RowTexts r{{" ", "d", "t", "9", "crc", "-rw-r--r--", path}, id};
    list.append(r);
  }
  auto style = [&](int row) {
    GtkTreeIter iter;
    gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(list.store()), &iter, nullptr, row);
    gint value = -1;
    gtk_tree_model_get(GTK_TREE_MODEL(list.store()), &iter, COL_STYLE, &value, -1);
    return value;
  };
  EXPECT_EQ(list.tooltip_markup(1).find("Hard link of: "), std::string::npos);
  EXPECT_NE(list.tooltip_markup(2).find("Hard link of: /lower/doc"), std::string::npos);
  EXPECT_EQ(list.tooltip_markup(3).find("Hard link of: "), std::string::npos);
  EXPECT_EQ(style(1), PANGO_STYLE_NORMAL);
  EXPECT_EQ(style(2), PANGO_STYLE_ITALIC);
  EXPECT_EQ(style(3), PANGO_STYLE_NORMAL);
  EXPECT_EQ(list.facts()[2].identity, merged) << "the rule engine sees what the row holds";
}

// A clone shares all its blocks with the file it was cloned from: listed
// after it, it is drawn as a hard link is, its tooltip naming that file.
TEST_F(ListTest, AFileSharingAllItsBlocksWithAnEarlierOneShowsAsAHardLink) {
  test::ScratchMount btrfs(test::ScratchMount::Btrfs{dir / "image"}, dir / "btrfs");
  if (!btrfs.mounted()) GTEST_SKIP() << "no file system that clones: " << btrfs.error();
  const std::string a = dir / "btrfs/a", clone = dir / "btrfs/clone";
  test::write_file(a, std::string(100000, 'x'));
  test::write_file(clone, "");
  {
    const int from = open(a.c_str(), O_RDONLY | O_CLOEXEC);
    const int to = open(clone.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(ioctl(to, FICLONE, from), 0);
    close(from);
    close(to);
  }
  header(1);
  for (const std::string& path : {a, clone}) {
    const FileIdentity id = test::identity_at(path);
    RowTexts r{{" ", "d", "t", "100,000", "crc", "-rw-r--r--", path.c_str()}, &id};
    list.append(r);
  }
  EXPECT_EQ(list.tooltip_markup(1).find("Shares all blocks with: "), std::string::npos);
  EXPECT_NE(list.tooltip_markup(2).find("Shares all blocks with: " + a), std::string::npos)
      << list.tooltip_markup(2);
  GtkTreeIter iter;
  gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(list.store()), &iter, nullptr, 2);
  gint style = -1;
  gtk_tree_model_get(GTK_TREE_MODEL(list.store()), &iter, COL_STYLE, &style, -1);
  EXPECT_EQ(style, PANGO_STYLE_ITALIC);
}

// Each row gets its group when it is appended; what is removed later never
// changes it. Rows read back with saved groups start a new group wherever
// the saved group changes, and a group never stands in two places.
TEST_F(ListTest, EveryRowHasTheGroupItWasListedIn) {
  struct Case {
    const char* name;
    std::vector<std::pair<char, std::int64_t>>
        rows;                        // 'c' comment, 'h' header, 'f' file + saved group
    std::vector<int> same_group_as;  // per row: the first row of its group
  };
  const Case cases[] = {
      {"a scan",
       {{'c', 0}, {'h', 0}, {'f', 0}, {'f', 0}, {'h', 0}, {'f', 0}, {'c', 0}},
       {0, 1, 1, 1, 4, 4, 6}},
      {"saved groups",
       {{'c', 0}, {'h', 0}, {'f', 5}, {'f', 5}, {'f', 9}, {'f', 9}, {'c', 0}},
       {0, 1, 1, 1, 4, 4, 6}},
      {"one saved group in two places",
       {{'h', 0}, {'f', 5}, {'f', 6}, {'f', 5}, {'h', 0}, {'f', 5}},
       {0, 0, 2, 3, 4, 4}},
      {"file rows before any header, then a comment",
       {{'f', 0}, {'f', 0}, {'c', 0}, {'f', 0}},
       {0, 0, 2, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    list.clear();
    for (auto [kind, saved] : c.rows) {
      if (kind == 'c') {
        comment("text");
      } else if (kind == 'h') {
        header(1);
      } else {
        RowTexts r{{" ", "d", "t", "1", "", "", "/f"}, nullptr, saved};
        list.append(r);
      }
    }
    ASSERT_EQ(list.size(), static_cast<int>(c.same_group_as.size()));
    for (int i = 0; i < list.size(); ++i) {
      EXPECT_GT(list.group_of(i), 0) << i;
      EXPECT_EQ(list.group_of(i), list.group_of(c.same_group_as[i])) << i;
      if (i > 0 && c.same_group_as[i] != c.same_group_as[i - 1]) {
        EXPECT_NE(list.group_of(i), list.group_of(i - 1)) << i;
      }
    }
  }
  // A header removed: its rows keep their group, beside the group above.
  list.clear();
  header(1);
  row("/a", 1);
  header(2);
  row("/b", 1);
  row("/c", 1);
  list.remove_row(2);
  int first, last;
  list.group_span(2, first, last);
  EXPECT_EQ(first, 2);
  EXPECT_EQ(last, 3);
  list.group_span(1, first, last);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(last, 1);
  EXPECT_EQ(list.group_of(-1), 0);
  EXPECT_EQ(list.group_of(4), 0);
}

TEST_F(ListTest, TagAndUntagKeepTheTotalsAndColours) {
  comment("Sorted List");
  header(1);
  row("/a", 1048575);
  row("/b", 1);
  row("/c", 1234567);
  EXPECT_EQ(list.totals_line(), "0 Files Tagged (0 bytes), 0 Files Deleted (0 bytes)");
  EXPECT_EQ(background(list, 2).red, -1) << "never tagged: the theme's background";

  list.tag(2);
  list.tag(3);
  EXPECT_EQ(list.text(2, 0), "*");
  GdkRGBA colour = background(list, 2);
  EXPECT_TRUE(gdk_rgba_equal(&TAG_COLOUR, &colour));
  EXPECT_EQ(list.totals_line(), "2 Files Tagged (1,048,576 bytes), 0 Files Deleted (0 bytes)");
  list.untag(3);
  list.untag(2);
  EXPECT_EQ(list.text(2, 0), " ");
  colour = background(list, 2);
  EXPECT_TRUE(gdk_rgba_equal(&PLAIN_COLOUR, &colour));
  list.tag(4);
  EXPECT_EQ(list.totals_line(), "1 File Tagged (1,234,567 bytes), 0 Files Deleted (0 bytes)");
  list.count_deletion(3000000000LL);
  EXPECT_EQ(list.totals_line(),
            "1 File Tagged (1,234,567 bytes), 1 File Deleted (3,000,000,000 bytes)");

  // A line longer than 76 characters is cut there.
  block->tagged_count = 2000000000;
  block->tagged_bytes = 9000000000000000000LL;
  block->deleted_count = 2000000000;
  block->deleted_bytes = 9000000000000000000LL;
  std::string line = list.totals_line();
  EXPECT_EQ(line.size(), 76u);
  EXPECT_EQ(line.rfind("2,000,000,000 Files Tagged (9,000,000,000,000,000,000 bytes), 2,0", 0), 0u);
}

TEST_F(ListTest, RemovingRowsCountsAndMovesTheSelection) {
  comment("Sorted List");
  header(1);
  row("/a", 1);
  row("/b", 1);
  row("/c", 1);
  list.select(3);
  list.remove_row(2);  // before the selected row: the selection follows its row
  EXPECT_EQ(list.selected_row(), 2);
  EXPECT_EQ(list.path(2), "/b");
  list.remove_row(2);  // the selected row itself: nothing is selected
  EXPECT_EQ(list.selected_row(), -1);
  EXPECT_EQ(block->row_count.load(), 3);
  list.select(7);  // outside the list: nothing happens
  EXPECT_EQ(list.selected_row(), -1);
  list.select(2);
  list.remove_row(2);
  EXPECT_EQ(list.selected_row(), -1);
  expect_counters_match_rows();
}

TEST_F(ListTest, EmptyGroupRuleRemovesTheHeaderOfAnEmptiedGroupOnly) {
  struct Case {
    const char* name;
    std::function<void(ListTest&)> build;
    int removed_at;  // the row that was removed
    bool header_goes;
  };
  // Each list below is what remains after a row at `removed_at` went.
  const Case cases[] = {
      {"next is a header",
       [](ListTest& t) {
         t.comment("S");
         t.header(1);
         t.header(2);
         t.row("/x", 1);
       },
       2, true},
      {"next is a comment",
       [](ListTest& t) {
         t.comment("S");
         t.header(1);
         t.comment("End Of List");
       },
       2, true},
      {"end of the list",
       [](ListTest& t) {
         t.comment("S");
         t.header(1);
       },
       2, true},
      {"a member is left",
       [](ListTest& t) {
         t.comment("S");
         t.header(1);
         t.row("/x", 1);
         t.comment("E");
       },
       2, false},
      {"a member before",
       [](ListTest& t) {
         t.comment("S");
         t.header(1);
         t.row("/x", 1);
         t.comment("E");
       },
       3, false},
      {"a deleted member",
       [](ListTest& t) {
         t.comment("S");
         t.header(1);
         t.row("/x", 1, "D");
         t.comment("E");
       },
       2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    list.clear();
    block->row_count = 0;
    c.build(*this);
    int before = list.size();
    EXPECT_EQ(list.remove_header_of_empty_group(c.removed_at), c.header_goes);
    EXPECT_EQ(list.size(), before - (c.header_goes ? 1 : 0));
    if (c.header_goes) {
      EXPECT_NE(list.text(c.removed_at - 1, 1), "Group 1 ") << "the emptied group's header went";
    }
  }
}

TEST_F(ListTest, BusyWordIsHeldForAScopeAndGivenBackOnEveryWayOut) {
  {
    ListBusy first(*block);
    EXPECT_TRUE(first.held());
    ListBusy second(*block);
    EXPECT_FALSE(second.held()) << "the list is busy";
  }
  EXPECT_EQ(block->list_busy.load(), 0);
  block->list_busy = 1;  // a scan holds it
  {
    ListBusy command(*block);
    EXPECT_FALSE(command.held());
  }
  EXPECT_EQ(block->list_busy.load(), 1) << "a scan's hold is not given back by a refused command";
}

TEST_F(ListTest, FreezingKeepsSelectionAndRows) {
  comment("S");
  header(1);
  row("/a", 1);
  {
    FrozenList frozen(list);
    EXPECT_TRUE(list.frozen());
    list.select(2);
    {
      ShownList shown(list);
      EXPECT_FALSE(list.frozen()) << "a question shows the list";
    }
    EXPECT_TRUE(list.frozen());
  }
  EXPECT_FALSE(list.frozen());
  EXPECT_EQ(list.selected_row(), 2);
}

}  // namespace
