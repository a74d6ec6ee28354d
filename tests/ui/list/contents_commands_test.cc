// "Save Contents" and "Restore Contents" on a result list.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "list_text/contents_file.h"
#include "ui/list/list_commands.h"
#include "ui/list/support/list_fixture.h"

namespace {

using Rows = std::vector<std::string>;

GdkRGBA colour(const ResultList& list, int row, int column) {
  GtkTreeIter iter;
  gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(list.store()), &iter, nullptr, row);
  GdkRGBA* c = nullptr;
  gtk_tree_model_get(GTK_TREE_MODEL(list.store()), &iter, column, &c, -1);
  GdkRGBA value = c ? *c : GdkRGBA{-1, -1, -1, -1};
  if (c) gdk_rgba_free(c);
  return value;
}

class ContentsTest : public test::ListTest {
 public:
  void SetUp() override {
    comment("Sorted List");
    header(1);
    a = file("a", "abc", "*");
    b = file("b\ncaf\xE9", "abc");
    header(2);
    file("c", "defg");
    row("/gone", 7, "D");
    comment("End Of List");
    block->counters.dirs_count = 12;
    block->counters.files_count = 345;
    block->counters.dup_count = 3;
    block->deleted_count = 1;
    block->deleted_bytes = 7;
    list.untag(5 - 1);  // /c: tagged then untagged, a white background
    list.select(3);
  }
  std::string contents() const { return dir / "Contents"; }
  std::string a, b;
};

TEST_F(ContentsTest, SaveThenRestoreGivesTheSameList) {
  const Rows before = shape();
  const std::string totals = list.totals_line();
  save_contents(list, prompter, contents());
  EXPECT_EQ(list.selected_row(), 7) << "the last comment row";
  EXPECT_TRUE(prompter.said.empty());

  list.clear();
  block->row_count = 0;
  block->tagged_count = 9;
  block->counters.dirs_count = 0;
  restore_contents(list, prompter, contents());
  EXPECT_EQ(shape(), before);
  EXPECT_EQ(list.path(3), dir / "b\ncaf\xE9") << "the path's bytes";
  EXPECT_EQ(list.totals_line(), totals);
  EXPECT_EQ(block->counters.dirs_count.load(), 12);
  EXPECT_EQ(block->counters.files_count.load(), 345);
  EXPECT_EQ(block->counters.dup_count.load(), 3);
  EXPECT_EQ(block->row_count.load(), 8);
  EXPECT_EQ(list.selected_row(), 7);
  GdkRGBA tagged = colour(list, 2, COL_BACKGROUND);
  EXPECT_TRUE(gdk_rgba_equal(&tagged, &TAG_COLOUR));
  EXPECT_EQ(colour(list, 5, COL_BACKGROUND).red, -1) << "untagged: the theme's background";
  GdkRGBA comment_text = colour(list, 1, COL_FOREGROUND);
  EXPECT_TRUE(gdk_rgba_equal(&comment_text, &COMMENT_COLOUR));
  EXPECT_EQ(colour(list, 6, COL_BACKGROUND).red, -1) << "a D row has no colour of its own";
  EXPECT_EQ(list.identity(2).inode, [&] {
    struct stat st;
    lstat(a.c_str(), &st);
    return static_cast<std::uint64_t>(st.st_ino);
  }());
  EXPECT_EQ(prompter.error_signals, 0);

  // The restored identities guard a deletion as the scan's did.
  test::write_file(a, "changed");
  DeleteContext ctx{list, prompter, disk, dir / "deleted.log"};
  block->settings.confirm_delete = 0;
  list.select(3);
  prompter.answers = {'N'};
  delete_one_file(ctx, "DELETE", 'Y');
  EXPECT_EQ(prompter.titles(), std::vector<std::string>{"LAST COPY"}) << "a changed: not a copy";
  EXPECT_EQ(access(b.c_str(), F_OK), 0);
}

TEST_F(ContentsTest, WithoutIdentitiesCopiesAreComparedByteForByte) {
  save_contents(list, prompter, contents());
  std::string file = test::read_file(contents());
  const std::string plain = file.substr(0, file.find("#identities"));
  // Without the section, with a damaged one, and with the first form of it
  // (no change times): the same restore, and the user is told once.
  for (const std::string& saved :
       {plain, plain + "#identities 2\n2 1 1 2 3 4 5 6 7 32768\n#end 1\n",
        plain + "#identities\n2 1 2 3 4 5 32768\n#end 32785\n"}) {
    test::write_file(contents(), saved);
    prompter.said.clear();
    restore_contents(list, prompter, contents());
    EXPECT_EQ(prompter.said, std::vector<std::string>{
                                 "message|Contents Restored Without File Identities|Copies Will "
                                 "Be Compared Byte For Byte Before Deleting|"});
    EXPECT_TRUE(list.identity(2).size_only());
    EXPECT_EQ(list.identity(2).size, 3);
  }

  DeleteContext ctx{list, prompter, disk, dir / "deleted.log"};
  block->settings.confirm_delete = 0;
  prompter.said.clear();
  test::write_file(b, "abcd");  // another size now
  list.select(3);
  delete_one_file(ctx, "DELETE", 'Y');
  EXPECT_EQ(prompter.titles(), std::vector<std::string>{"File Changed"});

  // Rewritten in place with its old size: the size check passes, but it is
  // no copy of a any more, so a is the last copy of the group.
  test::write_file(b, "xyz");
  prompter.said.clear();
  list.select(2);
  prompter.answers = {'N'};
  delete_one_file(ctx, "DELETE", 'Y');
  EXPECT_EQ(prompter.titles(), std::vector<std::string>{"LAST COPY"});
  EXPECT_EQ(access(a.c_str(), F_OK), 0);

  // The same bytes again: a copy.
  test::write_file(b, "abc");
  prompter.said.clear();
  list.select(3);
  EXPECT_EQ(delete_one_file(ctx, "DELETE", 'Y'), 'Y');
  EXPECT_TRUE(prompter.said.empty()) << "a holds the same bytes";
  EXPECT_NE(access(b.c_str(), F_OK), 0);
  EXPECT_GT(disk.contents_compared, 0);
}

TEST_F(ContentsTest, EachRowKeepsItsGroupThroughSaveAndRestore) {
  // Group 2's header removed: its file row now sits right under group 1's
  // rows, but stays a group of its own, in the list and after a restore.
  const std::int64_t group_of_c = list.group_of(5);
  list.remove_row(4);
  ASSERT_EQ(list.path(4), dir / "c");
  EXPECT_EQ(list.group_of(4), group_of_c);
  EXPECT_NE(list.group_of(4), list.group_of(3));
  save_contents(list, prompter, contents());
  restore_contents(list, prompter, contents());
  EXPECT_TRUE(prompter.said.empty());
  EXPECT_EQ(list.group_of(2), list.group_of(3));
  EXPECT_NE(list.group_of(3), list.group_of(4));
  EXPECT_EQ(list.group_of(4), list.group_of(5)) << "the D row of the same group";
  int first, last;
  list.group_span(4, first, last);
  EXPECT_EQ(first, 4);
  EXPECT_EQ(last, 5);

  // c is the last copy of its group: a and b above it are not its copies.
  DeleteContext ctx{list, prompter, disk, dir / "deleted.log"};
  block->settings.confirm_delete = 0;
  list.select(4);
  prompter.answers = {'N'};
  delete_one_file(ctx, "DELETE", 'Y');
  EXPECT_EQ(prompter.titles(), std::vector<std::string>{"LAST COPY"});
}

TEST_F(ContentsTest, ADamagedFileLeavesAnEmptyListAndSaysSo) {
  save_contents(list, prompter, contents());
  std::string file = test::read_file(contents());
  file[8] = static_cast<char>(file[8] ^ 1);
  test::write_file(contents(), file);
  restore_contents(list, prompter, contents());
  EXPECT_EQ(list.size(), 0);
  EXPECT_EQ(block->row_count.load(), 0);
  EXPECT_EQ(list.selected_row(), -1);
  EXPECT_EQ(block->counters.dirs_count.load(), 0);
  EXPECT_EQ(list.totals_line(), "0 Files Tagged (0 bytes), 0 Files Deleted (0 bytes)");
  EXPECT_EQ(prompter.said, std::vector<std::string>{
                               "message|Restore Contents|The Contents File is Corrupted, List Can "
                               "Not be restored|"});
  EXPECT_EQ(prompter.error_signals, 1);
  EXPECT_EQ(block->list_busy.load(), 0);
}

TEST_F(ContentsTest, ANewFileGetsTheUmaskAndASavedOverOneKeepsItsMode) {
  for (mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
    SCOPED_TRACE("umask " + std::to_string(mask));
    const mode_t old_mask = umask(mask);
    unlink(contents().c_str());
    save_contents(list, prompter, contents());
    EXPECT_EQ(test::file_mode(contents()), 0666u & ~mask) << "a new file";
    for (mode_t kept : {mode_t{0600}, mode_t{0640}, mode_t{0664}}) {
      ASSERT_EQ(chmod(contents().c_str(), kept), 0);
      save_contents(list, prompter, contents());
      EXPECT_EQ(test::file_mode(contents()), kept) << "a saved-over file";
    }
    umask(old_mask);
  }
  EXPECT_TRUE(prompter.said.empty());
}

TEST_F(ContentsTest, RefusalsAndAFailedSaveKeepTheOldFile) {
  restore_contents(list, prompter, contents());  // no file yet
  EXPECT_EQ(prompter.error_signals, 1);
  EXPECT_EQ(list.size(), 8) << "nothing changed";
  mkfifo(contents().c_str(), 0644);
  restore_contents(list, prompter, contents());  // a pipe is never waited on
  EXPECT_EQ(prompter.error_signals, 2);
  unlink(contents().c_str());

  save_contents(list, prompter, contents());
  const std::string saved = test::read_file(contents());
  mkdir((contents() + ".new").c_str(), 0755);  // the new file cannot be made
  list.select(2);
  toggle_tag(list, prompter);
  save_contents(list, prompter, contents());
  ASSERT_EQ(prompter.said.size(), 1u);
  EXPECT_EQ(prompter.said[0].rfind("message|Save Contents|Can Not Write The Contents File|", 0),
            0u);
  EXPECT_EQ(test::read_file(contents()), saved) << "the old file stays";

  block->list_busy = 1;
  save_contents(list, prompter, contents());
  restore_contents(list, prompter, contents());
  EXPECT_EQ(prompter.said.size(), 3u);
  EXPECT_EQ(prompter.said[2],
            "message|List Box Busy|Restore Contents|Try after operation is complete");
  block->list_busy = 0;
  list.clear();
  comment("Sorted List");
  save_contents(list, prompter, contents());  // nothing worth saving
  EXPECT_EQ(prompter.error_signals, 3);
}

}  // namespace
