// Freeing space and keeping the names: "Hard-Link All Tagged Files", "Clone
// All Tagged Files (Copy-On-Write)", and "Undo Last Move To Trash", on real
// files in a temporary directory with the real desktop trash of a temporary
// home.
#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/disk_facts.h"
#include "support/mounts.h"
#include "ui/list/list_commands.h"
#include "ui/list/support/list_fixture.h"
#include "ui/list/trash_undo.h"

namespace {

using Rows = std::vector<std::string>;
using Said = std::vector<std::string>;

class LinkTest : public test::FileCommandTest {
 public:
  // Every file row's identity is its file's as it is now: a later command
  // finds each file still "as scanned".
  void expect_identities_current() {
    for (int r = 0; r < list.size(); ++r) {
      if (list.classify_row(r) == ROW_FILE || list.classify_row(r) == ROW_TAGGED) {
        EXPECT_TRUE(disk.real().unchanged(list.path(r), list.identity(r))) << list.path(r);
      }
    }
  }
};

TEST_F(LinkTest, EachTaggedCopyBecomesALinkToTheFirstUntaggedCopyOfItsGroup) {
  header(1);
  const std::string a = file("a", "first"), b = file("b", "first", "*"),
                    c = file("c", "first", "*");
  header(2);
  const std::string d = file("d", "second!", "*"), e = file("e", "second!");
  comment("End Of List");
  prompter.answers = {'Y', 'Y', 'A'};

  hard_link_all_tagged(ctx);

  EXPECT_EQ(prompter.said,
            (Said{"yes_no|Hard-Link All Tagged Files|REPLACE ALL TAGGED FILES BY HARD LINKS TO "
                  "THEIR KEPT COPIES?|3 Tagged Entries",
                  "yes_no_all|HARD-LINK ALL TAGGED|REPLACE THIS FILE BY A HARD LINK?|" + b,
                  "yes_no_all|HARD-LINK ALL TAGGED|REPLACE THIS FILE BY A HARD LINK?|" + c,
                  "message|Hard-Link All Tagged Files|3 Files Linked (17 bytes freed)|"}));
  EXPECT_EQ(test::inode_of(b), test::inode_of(a));
  EXPECT_EQ(test::inode_of(c), test::inode_of(a));
  EXPECT_EQ(test::inode_of(d), test::inode_of(e)) << "the kept copy may come after the tagged one";
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  a", "  b", "  c", "/* Group 2 ",
                           "  d", "  e", "/* End Of List"}));
  expect_counters_match_rows();
  EXPECT_EQ(block->deleted_count.load(), 0);
  EXPECT_NE(list.tooltip_markup(3).find("Hard link of: "), std::string::npos);
  EXPECT_EQ(log(), deletion_log_header() + logged(5, b, "Linked") + logged(5, c, "Linked") +
                       logged(7, d, "Linked"));
  expect_identities_current();

  // What was linked can still be deleted, with the same checks as ever: a
  // link of the kept copy is no other copy of it.
  list.select(2);
  prompter.answers = {'N'};
  delete_entry(ctx);
  EXPECT_EQ(prompter.titles().back(), "LAST COPY");
  EXPECT_TRUE(test::exists(a));
}

TEST_F(LinkTest, ACopyThatCanNotBeLinkedIsToldAndTheWalkGoesOn) {
  struct Case {
    const char* what;
    std::function<std::string(LinkTest&)> make;  // the group; returns the tagged path
    std::string told;                            // what is said of it
    const char* skipped;                         // the end notice's second line
  };
  const Case cases[] = {
      {"every copy tagged",
       [](LinkTest& t) {
         t.file("x0", "abc", "*");
         return t.file("x2", "abc", "*");
       },
       "message|Not Linked|No Kept Copy|", "2 Skipped: 2 No Kept Copy"},
      {"the only untagged copy deleted",
       [](LinkTest& t) {
         t.file("x1", "abc", "D");
         return t.file("x2", "abc", "*");
       },
       "message|Not Linked|No Kept Copy|", "1 Skipped: 1 No Kept Copy"},
      {"the kept copy changed since the scan",
       [](LinkTest& t) {
         std::string kept = t.file("x1", "abc");
         std::string tagged = t.file("x2", "abc", "*");
         test::write_file(kept, "abcd");
         return tagged;
       },
       "message|Not Linked|No Kept Copy|", "1 Skipped: 1 No Kept Copy"},
      {"the same size and CRC-32, other bytes",
       [](LinkTest& t) {
         t.file("x1", "plumless");
         return t.file("x2", "buckeroo", "*");
       },
       "message|Not Linked|Contents Differ|", "1 Skipped: 1 Contents Differ"},
      {"the tagged copy changed since the scan",
       [](LinkTest& t) {
         t.file("x1", "abc");
         std::string tagged = t.file("x2", "abc", "*");
         test::write_file(tagged, "xyz1");
         return tagged;
       },
       "message|File Changed|File Changed Since The Scan, Not Linked|",
       "1 Skipped: 1 Changed Since The Scan"},
      {"the system refuses",
       [](LinkTest& t) {
         t.file("x1", "abc");
         std::string tagged = t.file("x2", "abc", "*");
         t.disk.refuse[tagged] = "Read-only file system";
         return tagged;
       },
       "message|Not Linked|Read-only file system|", "1 Skipped: 1 Read-only file system"},
      {"an empty file",
       [](LinkTest& t) {
         t.file("x1", "");
         return t.file("x2", "", "*");
       },
       "message|Not Linked|Empty File|", "1 Skipped: 1 Empty File"},
      {"a copy only its owner may read",
       [](LinkTest& t) {
         t.file("x1", "abc");
         test::write_file(t.dir / "x2", "abc");
         chmod((t.dir / "x2").c_str(), 0600);
         return t.file("x2", "abc", "*");
       },
       "message|Not Linked|Owner, Mode Or Access List Differ From The Kept Copy|",
       "1 Skipped: 1 Owner, Mode Or Access List Differ"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string other = "case" + std::to_string(n++);
    list.clear();
    block->row_count = 0;
    block->tagged_count = 0;
    block->tagged_bytes = 0;
    prompter.said.clear();
    disk.refuse.clear();
    unlink((dir / "deleted.log").c_str());
    comment("Sorted List");
    header(1);
    const std::string tagged = c.make(*this);
    header(2);
    const std::string kept = file(other + "-y1", "fine");
    const std::string linked = file(other + "-y2", "fine", "*");
    const std::string bytes = test::read_file(tagged);
    const ino_t inode = test::inode_of(tagged);
    prompter.answers = {'Y', 'A'};

    hard_link_all_tagged(ctx);

    EXPECT_NE(std::find(prompter.said.begin(), prompter.said.end(), c.told + tagged),
              prompter.said.end());
    EXPECT_EQ(prompter.said.back(),
              std::string("message|Hard-Link All Tagged Files|1 Files Linked (4 bytes freed)|") +
                  c.skipped);
    EXPECT_EQ(test::read_file(tagged), bytes);
    EXPECT_EQ(test::inode_of(tagged), inode);
    EXPECT_EQ(list.text(3, COL_MARK), "*") << "still tagged";
    EXPECT_EQ(test::inode_of(linked), test::inode_of(kept)) << "the walk went on";
    EXPECT_EQ(log(), deletion_log_header() + logged(4, linked, "Linked"));
    expect_counters_match_rows();
  }
}

TEST_F(LinkTest, NoSkipsOneFileAndCancelEndsTheWalk) {
  header(1);
  const std::string a = file("a"), b = file("b", "abc", "*"), c = file("c", "abc", "*"),
                    d = file("d", "abc", "*");
  prompter.answers = {'Y', 'N', 'C'};
  hard_link_all_tagged(ctx);
  EXPECT_NE(test::inode_of(b), test::inode_of(a));
  EXPECT_NE(test::inode_of(c), test::inode_of(a));
  EXPECT_NE(test::inode_of(d), test::inode_of(a));
  EXPECT_EQ(
      prompter.said.back(),
      "message|Hard-Link All Tagged Files|0 Files Linked (0 bytes freed)|1 Skipped: 1 Answered "
      "No");

  prompter.said.clear();
  prompter.answers = {'N'};
  hard_link_all_tagged(ctx);
  EXPECT_EQ(prompter.said.size(), 1u) << "No to the first question does nothing";
}

TEST_F(LinkTest, ACloneIsMadeWhereTheFileSystemCanAndRefusedWithItsReasonElsewhere) {
  const bool clones = test::can_clone_in(dir.path());
  header(1);
  const std::string a = file("a", "contents"), b = file("b", "contents", "*");
  const ino_t b_inode = test::inode_of(b);
  prompter.answers = {'Y', 'A'};
  clone_all_tagged(ctx);
  EXPECT_EQ(prompter.said[0],
            "yes_no|Clone All Tagged Files (Copy-On-Write)|REPLACE ALL TAGGED FILES BY CLONES OF "
            "THEIR KEPT COPIES?|1 Tagged Entries");
  EXPECT_EQ(test::read_file(b), "contents");
  EXPECT_NE(test::inode_of(b), test::inode_of(a)) << "a clone is a file of its own";
  if (clones) {
    EXPECT_EQ(prompter.said.back(),
              "message|Clone All Tagged Files (Copy-On-Write)|1 Files Cloned (8 bytes freed)|");
    EXPECT_EQ(log(), deletion_log_header() + logged(8, b, "Cloned"));
    EXPECT_EQ(list.text(3, COL_MARK), " ");
  } else {
    EXPECT_EQ(prompter.said[2], "message|Not Cloned|Operation not supported|" + b);
    EXPECT_EQ(test::inode_of(b), b_inode);
    EXPECT_EQ(list.text(3, COL_MARK), "*");
    EXPECT_FALSE(test::exists(dir / "deleted.log"));
  }
  EXPECT_EQ(test::read_file(a), "contents");
  expect_counters_match_rows();
  expect_identities_current();
}

// Cloned once, a copy shares every block with its kept copy: tagged again,
// it is not cloned again, a box says why, and nothing is counted as freed.
TEST_F(LinkTest, AFileThatSharesAllItsBlocksWithTheKeptCopyIsNotClonedAgain) {
  test::ScratchMount btrfs(test::ScratchMount::Btrfs{dir / "image"}, dir / "btrfs");
  if (!btrfs.mounted()) GTEST_SKIP() << "no file system that clones: " << btrfs.error();
  const std::string bytes(200000, 's');
  header(1);
  const std::string a = file("btrfs/a", bytes), b = file("btrfs/b", bytes, "*");
  prompter.answers = {'Y', 'A'};
  clone_all_tagged(ctx);
  ASSERT_EQ(prompter.said.back(),
            "message|Clone All Tagged Files (Copy-On-Write)|1 Files Cloned (200,000 bytes freed)|");
  EXPECT_NE(list.tooltip_markup(3).find("Shares all blocks with: " + a), std::string::npos)
      << "drawn as the scan would draw it now";
  const ino_t b_inode = test::inode_of(b);

  list.tag(3);
  prompter.said.clear();
  prompter.answers = {'Y', 'A'};
  clone_all_tagged(ctx);
  EXPECT_NE(std::find(prompter.said.begin(), prompter.said.end(),
                      "message|Not Cloned|Already Shares Its Blocks With The Kept Copy|" + b),
            prompter.said.end())
      << testing::PrintToString(prompter.said);
  EXPECT_EQ(prompter.said.back(),
            "message|Clone All Tagged Files (Copy-On-Write)|0 Files Cloned (0 bytes freed)|1 "
            "Skipped: 1 Already Shared");
  EXPECT_EQ(test::inode_of(b), b_inode) << "not cloned again";
  EXPECT_EQ(log(), deletion_log_header() + logged(200000, b, "Cloned")) << "logged once";
  EXPECT_EQ(test::read_file(a), bytes);
  expect_counters_match_rows();
}

// ---- Undo from the trash -------------------------------------------------------------

class UndoTest : public LinkTest {
 public:
  void SetUp() override {
    LinkTest::SetUp();
    block->settings.reserved = RESERVED_MOVE_TO_TRASH;
    ctx.trash_undo = &undo;
    std::error_code ec;
    std::filesystem::remove_all(trash(), ec);
  }
  static std::string trash() { return std::string(g_get_user_data_dir()) + "/Trash"; }
  TrashUndo undo;
};

TEST_F(UndoTest, TheFilesComeBackAndTheRowsAreAsTheyWere) {
  for (int mode : {DELETED_MARK, DELETED_REMOVE}) {
    SCOPED_TRACE(mode == DELETED_MARK ? "deleted rows marked" : "deleted rows removed");
    block->settings.deleted_mode = mode;
    list.clear();
    block->row_count = 0;
    prompter.said.clear();
    unlink((dir / "deleted.log").c_str());
    comment("Sorted List");
    header(1);
    const std::string a = file("a", "one"), b = file("b", "one", "*");
    header(2);
    const std::string c = file("c", "two", "*"), d = file("d", "two", "*");
    comment("End Of List");
    const Rows before = shape();
    EXPECT_FALSE(undo.available(list));

    prompter.answers = {'Y', 'A', 'Y'};  // the last copy of group 2 too
    delete_all_tagged(ctx);
    ASSERT_FALSE(test::exists(b));
    ASSERT_FALSE(test::exists(c));
    ASSERT_FALSE(test::exists(d));
    ASSERT_TRUE(undo.available(list));
    EXPECT_EQ(block->deleted_count.load(), 3);

    undo_last_move_to_trash(ctx);

    EXPECT_EQ(test::read_file(b), "one");
    EXPECT_EQ(test::read_file(c), "two");
    EXPECT_EQ(test::read_file(d), "two");
    EXPECT_EQ(shape(), before);
    expect_counters_match_rows();
    EXPECT_EQ(block->tagged_count.load(), 3);
    EXPECT_EQ(block->deleted_count.load(), 0);
    EXPECT_EQ(block->deleted_bytes.load(), 0);
    expect_identities_current();
    const std::string log_text = log();
    EXPECT_NE(log_text.find(logged(3, d, "Restored")), std::string::npos) << log_text;
    EXPECT_FALSE(undo.available(list)) << "one undo per move";
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::is_empty(trash() + "/files", ec));
    EXPECT_TRUE(std::filesystem::is_empty(trash() + "/info", ec));
  }
}

TEST_F(UndoTest, AFileNowAtItsPlaceStaysAndItsCopyStaysInTheTrash) {
  header(1);
  const std::string a = file("a", "one"), b = file("b", "one", "*"), c = file("c", "one", "*");
  prompter.answers = {'Y', 'A'};
  delete_all_tagged(ctx);
  test::write_file(b, "new file");

  undo_last_move_to_trash(ctx);

  EXPECT_EQ(test::read_file(b), "new file");
  EXPECT_EQ(test::read_file(c), "one");
  EXPECT_EQ(prompter.said.back(), "message|Not Restored|Another File Is At Its Place|" + b);
  EXPECT_EQ(test::read_file(trash() + "/files/b"), "one");
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  a", "D b", "* c"}));
  EXPECT_EQ(block->deleted_count.load(), 1);
  expect_counters_match_rows();
}

TEST_F(UndoTest, NothingToUndoOnceTheListChangedOrWithoutTheTrash) {
  header(1);
  const std::string a = file("a", "one"), b = file("b", "one", "*");
  const std::string c = file("c", "one");
  prompter.answers = {'Y', 'A'};
  delete_all_tagged(ctx);
  ASSERT_TRUE(undo.available(list));
  list.select(4);
  toggle_tag(list, prompter);  // any change of the rows ends it
  EXPECT_FALSE(undo.available(list));
  const int signals = prompter.error_signals;
  undo_last_move_to_trash(ctx);
  EXPECT_EQ(prompter.error_signals, signals + 1);
  EXPECT_FALSE(test::exists(b)) << "nothing came back";

  // A single delete is undone as a walk is.
  list.clear();
  block->row_count = 0;
  block->tagged_count = 0;
  block->tagged_bytes = 0;
  comment("Sorted List");
  header(1);
  const std::string e = file("e", "two"), f = file("f", "two");
  list.select(3);
  delete_entry(ctx);
  ASSERT_FALSE(test::exists(f));
  ASSERT_TRUE(undo.available(list));
  undo_last_move_to_trash(ctx);
  EXPECT_EQ(test::read_file(f), "two");
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  e", "  f"}));
}

}  // namespace
