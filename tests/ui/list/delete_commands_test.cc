// Deleting files: "Delete File", "Delete All Tagged Files", "Delete All
// NON-Tagged Files", on real files in a temporary directory. Each safety
// rule is shown failing safe: a file changed or replaced after the scan, a
// file removed by hand, a parent directory replaced by a symbolic link, the
// last copy of a group, a removal the system refuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "list_text/deletion_log.h"
// (Before the disk's facts: the kernel's headers they take in define a
// BLOCK_SIZE of their own.)
#include "scan/content_cache.h"
#include "support/disk_facts.h"
#include "ui/list/list_commands.h"
#include "ui/list/support/list_fixture.h"
#include "ui/list/trash_undo.h"

namespace {

using test::exists;

using Rows = std::vector<std::string>;
using Said = std::vector<std::string>;

// Rewrites a file in place with bytes of the same length and puts its
// modification time back (as `touch -d` would): only its change time tells.
void rewrite_keeping_times(const std::string& path, const std::string& bytes) {
  struct stat before;
  ASSERT_EQ(lstat(path.c_str(), &before), 0);
  ASSERT_EQ(static_cast<std::size_t>(before.st_size), bytes.size());
  // The clock file times are taken from must move on for the change time
  // to differ.
  struct timespec now;
  do {
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
  } while (now.tv_sec < before.st_ctim.tv_sec ||
           (now.tv_sec == before.st_ctim.tv_sec && now.tv_nsec <= before.st_ctim.tv_nsec));
  test::write_file(path, bytes);
  timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
  struct stat after;
  ASSERT_EQ(lstat(path.c_str(), &after), 0);
  ASSERT_EQ(after.st_size, before.st_size);
  ASSERT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

class DeleteTest : public test::FileCommandTest {
 public:
  // Starts a case of a table afresh: a list of a comment row and one group
  // header, nothing said yet.
  void new_group() {
    list.clear();
    block->row_count = 0;
    prompter.said.clear();
    comment("Sorted List");
    header(1);
  }
};

TEST_F(DeleteTest, DeleteFileRemovesTheFileMarksTheRowAndLogsIt) {
  header(1);
  std::string a = file("a", "abc");
  std::string b = file("b", "abc");
  comment("End Of List");
  list.select(2);
  delete_entry(ctx);

  EXPECT_FALSE(exists(a));
  EXPECT_TRUE(exists(b));
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "D a", "  b", "/* End Of List"}));
  EXPECT_EQ(log(), deletion_log_header() + logged(3, a));
  EXPECT_EQ(list.totals_line(), "0 Files Tagged (0 bytes), 1 File Deleted (3 bytes)");
  EXPECT_TRUE(prompter.said.empty()) << "Confirm Delete File is off";
  EXPECT_EQ(block->list_busy.load(), 0);

  // A "D" row is refused; later deletions add a line each, never a header.
  delete_entry(ctx);
  EXPECT_EQ(prompter.error_signals, 1);
  list.select(3);
  prompter.answers = {'Y'};  // b is now the last copy of its group
  delete_entry(ctx);
  EXPECT_EQ(prompter.said,
            (Said{"yes_no|LAST COPY|THIS IS THE LAST COPY OF THIS GROUP, DELETE IT?|" + b}));
  EXPECT_EQ(log(), deletion_log_header() + logged(3, a) + logged(3, b));
  EXPECT_EQ(block->deleted_count.load(), 2);
  EXPECT_EQ(block->deleted_bytes.load(), 6);
}

TEST_F(DeleteTest, ConfirmDeleteAsksFirstAndNoKeepsTheFile) {
  block->settings.confirm_delete = 1;
  header(1);
  std::string a = file("a");
  file("b");
  list.select(2);
  prompter.answers = {'N'};
  delete_entry(ctx);
  EXPECT_EQ(prompter.said, (Said{"yes_no|DELETE|DELETE THIS FILE?|" + a}));
  EXPECT_TRUE(exists(a));
  EXPECT_FALSE(exists(dir / "deleted.log"));
  prompter.answers = {'Y'};
  delete_entry(ctx);
  EXPECT_FALSE(exists(a));
  EXPECT_EQ(list.text(2, 0), "D");
}

TEST_F(DeleteTest, TaggedDeletionMovesTheBytesFromTaggedToDeleted) {
  header(1);
  file("a", "abcd", "*");
  file("b", "abcd");
  list.select(3);  // any row: with a tag, Delete File deletes the tagged ones
  prompter.answers = {'Y', 'Y'};
  delete_entry(ctx);
  EXPECT_EQ(prompter.said[0],
            "yes_no|Delete All Tagged Entries|DELETE ALL TAGGED FILES FROM LISTBOX?|1 Tagged "
            "Entries");
  EXPECT_EQ(prompter.said[1], "yes_no_all|DELETE ALL TAGGED|DELETE THIS FILE?|" + dir / "a");
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "D a", "  b"}));
  EXPECT_EQ(list.totals_line(), "0 Files Tagged (0 bytes), 1 File Deleted (4 bytes)");
}

TEST_F(DeleteTest, RemoveModeTakesRowsAndTheHeaderOfAnEmptiedGroup) {
  block->settings.deleted_mode = DELETED_REMOVE;
  header(1);
  file("a");
  file("b");
  file("c");
  comment("End Of List");
  list.select(2);
  delete_entry(ctx);
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  b", "  c", "/* End Of List"}));
  EXPECT_EQ(list.selected_row(), 2) << "the row that followed";
  delete_entry(ctx);
  prompter.answers = {'Y'};  // the last copy
  delete_entry(ctx);
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* End Of List"}));
  EXPECT_EQ(block->row_count.load(), 2);
  EXPECT_EQ(block->deleted_count.load(), 3);
}

// In both walks the LAST COPY question offers "No To All": every later last
// copy of the walk is kept without another question, and the next walk asks
// again.
TEST_F(DeleteTest, NoToAllKeepsEveryLastCopyOfTheWalk) {
  for (bool tagged_walk : {false, true}) {
    SCOPED_TRACE(tagged_walk ? "Delete All Tagged" : "Delete All NON-Tagged");
    const char* mark = tagged_walk ? "*" : " ";
    new_group();
    block->tagged_count = 0;
    block->tagged_bytes = 0;
    for (int g = 0; g < 3; ++g) {
      if (g > 0) header(g + 1);
      file("only" + std::to_string(g), "x" + std::to_string(g), mark);
    }
    prompter.answers = {'Y', 'A', 'X'};
    if (tagged_walk) {
      delete_all_tagged(ctx);
    } else {
      delete_all_non_tagged(ctx);
    }
    std::vector<std::string> titles = prompter.titles();
    EXPECT_EQ(std::count(titles.begin(), titles.end(), "LAST COPY"), 1) << "asked once";
    ASSERT_GE(prompter.said.size(), 2u);
    EXPECT_EQ(prompter.said[prompter.said.size() - 2].rfind("yes_no_none|LAST COPY|", 0), 0u);
    EXPECT_EQ(prompter.said.back(),
              std::string("message|") +
                  (tagged_walk ? "Delete All Tagged Entries" : "Delete All NON-Tagged Entries") +
                  "|0 Files Deleted (0 bytes freed)|3 Skipped: 3 Last Copy Kept")
        << "one notice ends the walk";
    for (int g = 0; g < 3; ++g) EXPECT_TRUE(exists(dir / ("only" + std::to_string(g))));
    EXPECT_TRUE(prompter.answers.empty());

    // The next walk asks again.
    prompter.said.clear();
    prompter.answers = {'Y', 'A', 'N', 'N', 'N'};
    if (tagged_walk) {
      delete_all_tagged(ctx);
    } else {
      delete_all_non_tagged(ctx);
    }
    titles = prompter.titles();
    EXPECT_EQ(std::count(titles.begin(), titles.end(), "LAST COPY"), 3);
  }
  // A single delete asks the plain Yes/No question.
  new_group();
  block->tagged_count = 0;
  block->tagged_bytes = 0;
  std::string a = file("single");
  list.select(2);
  prompter.said.clear();
  prompter.answers = {'N'};
  delete_entry(ctx);
  EXPECT_EQ(prompter.said.back().rfind("yes_no|LAST COPY|", 0), 0u);
  EXPECT_TRUE(exists(a));
}

TEST_F(DeleteTest, WalkInRemoveModeOffersAdjacentTaggedRowsBoth) {
  block->settings.deleted_mode = DELETED_REMOVE;
  header(1);
  file("a", "abc", "*");
  file("b", "abc", "*");
  file("c", "abc");
  prompter.answers = {'Y', 'Y', 'Y'};
  delete_all_tagged(ctx);
  EXPECT_EQ(prompter.titles(),
            (std::vector<std::string>{"Delete All Tagged Entries", "DELETE ALL TAGGED",
                                      "DELETE ALL TAGGED", "Delete All Tagged Entries"}));
  EXPECT_EQ(prompter.said.back(),
            "message|Delete All Tagged Entries|2 Files Deleted (6 bytes freed)|");
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  c"}));
  EXPECT_EQ(disk.removed, (std::vector<std::string>{dir / "a", dir / "b"}));
  expect_counters_match_rows();
}

// "Delete All NON-Tagged Files" answered "Yes To All" on groups where
// nothing was tagged keeps one copy of each group unless the user says yes
// to that group's own LAST COPY question.
TEST_F(DeleteTest, YesToAllNeverTakesTheLastCopyWithoutItsOwnQuestion) {
  header(1);
  file("g1a");
  file("g1b");
  file("g1c");
  header(2);
  file("g2a", "xyz");
  file("g2b", "xyz");
  comment("End Of List");
  prompter.answers = {'Y', 'A', 'N', 'Y'};
  delete_all_non_tagged(ctx);
  EXPECT_EQ(
      prompter.said,
      (Said{"yes_no|Delete All NON-Tagged Entries|DELETE ALL NON-TAGGED FILES FROM LISTBOX?|",
            "yes_no_all|DELETE ALL NON-TAGGED|DELETE THIS FILE?|" + dir / "g1a",
            "yes_no_none|LAST COPY|THIS IS THE LAST COPY OF THIS GROUP, DELETE IT?|" + dir / "g1c",
            "yes_no_none|LAST COPY|THIS IS THE LAST COPY OF THIS GROUP, DELETE IT?|" + dir / "g2b",
            "message|Delete All NON-Tagged Entries|4 Files Deleted (12 bytes freed)|1 Skipped: 1 "
            "Last Copy Kept"}));
  EXPECT_TRUE(exists(dir / "g1c")) << "the last copy the user kept";
  EXPECT_FALSE(exists(dir / "g2b")) << "the last copy the user let go";
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "D g1a", "D g1b", "  g1c",
                           "/* Group 2 ", "D g2a", "D g2b", "/* End Of List"}));
  EXPECT_EQ(block->list_busy.load(), 0);
}

// A group whose header is removed while one of its rows is marked "D"
// keeps its rows under the group above (the removal stops at the "D" row).
// They are still a group of their own: a file of the group above is never
// taken for a copy of theirs, nor theirs for a copy of its.
TEST_F(DeleteTest, AGroupWithoutItsHeaderIsStillItsOwnGroup) {
  mkdir((dir / "d1").c_str(), 0755);
  mkdir((dir / "d2").c_str(), 0755);
  header(1);
  std::string x2 = file("d2/x", "xxxx");
  std::string x1 = file("d1/x", "xxxx");
  header(2);
  std::string a2 = file("d2/a", "aaaa");
  std::string a1 = file("d1/a", "aaaa");
  comment("End Of List");

  list.select(5);
  delete_entry(ctx);  // d2/a
  ASSERT_FALSE(exists(a2));
  list.select(4);
  prompter.answers = {'Y'};
  remove_line_or_group(list, prompter);
  ASSERT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  d2/x", "  d1/x", "D d2/a", "  d1/a",
                           "/* End Of List"}));

  list.select(2);
  delete_entry(ctx);  // d2/x: d1/x is its copy
  EXPECT_FALSE(exists(x2));
  prompter.said.clear();
  prompter.answers = {'N'};
  list.select(3);
  delete_entry(ctx);  // d1/x: d1/a is no copy of it
  EXPECT_EQ(prompter.titles(), std::vector<std::string>{"LAST COPY"});
  EXPECT_TRUE(exists(x1));

  // The bulk walk answered "Yes To All" asks for the last copy of each.
  prompter.said.clear();
  prompter.answers = {'Y', 'A', 'N', 'N'};
  delete_all_non_tagged(ctx);
  EXPECT_EQ(prompter.titles(),
            (std::vector<std::string>{"Delete All NON-Tagged Entries", "DELETE ALL NON-TAGGED",
                                      "LAST COPY", "LAST COPY", "Delete All NON-Tagged Entries"}));
  EXPECT_TRUE(exists(x1));
  EXPECT_TRUE(exists(a1));
}

// The same after the list went through a contents file: the groups are
// saved with the rows, not rebuilt from the headers that are left.
TEST_F(DeleteTest, AGroupWithoutItsHeaderStaysItsOwnGroupThroughTheContentsFile) {
  header(1);
  std::string g1a = file("g1a", "same");
  std::string g1b = file("g1b", "same");
  header(2);
  file("g2a", "else");
  std::string g2b = file("g2b", "else");
  comment("End Of List");
  list.select(5);
  delete_entry(ctx);  // g2a, marked D
  list.select(4);
  prompter.answers = {'Y'};
  remove_line_or_group(list, prompter);  // group 2's header alone: the D row stops it
  ASSERT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  g1a", "  g1b", "D g2a", "  g2b",
                           "/* End Of List"}));
  save_contents(list, prompter, dir / "Contents");
  list.clear();
  restore_contents(list, prompter, dir / "Contents");

  prompter.said.clear();
  prompter.answers = {'Y', 'A', 'N', 'N'};
  delete_all_non_tagged(ctx);
  EXPECT_EQ(prompter.titles(),
            (std::vector<std::string>{"Delete All NON-Tagged Entries", "DELETE ALL NON-TAGGED",
                                      "LAST COPY", "LAST COPY", "Delete All NON-Tagged Entries"}));
  EXPECT_FALSE(exists(g1a));
  EXPECT_TRUE(exists(g1b)) << "g2b is no copy of it";
  EXPECT_TRUE(exists(g2b));
}

TEST_F(DeleteTest, CopiesThatDoNotCountKeepTheLastCopyQuestion) {
  struct Case {
    const char* name;
    std::function<void(DeleteTest&)> other;  // adds the one other member of the group
  };
  const Case cases[] = {
      {"marked D", [](DeleteTest& t) { t.file("other", "abc", "D"); }},
      {"changed on disk",
       [](DeleteTest& t) {
         std::string p = t.file("other");
         test::write_file(p, "abcd");
       }},
      {"gone from disk", [](DeleteTest& t) { unlink(t.file("other").c_str()); }},
      {"rewritten with its size and modification time put back",
       [](DeleteTest& t) { rewrite_keeping_times(t.file("other"), "xyz"); }},
      {"a hard link to the same file",
       [](DeleteTest& t) {
         // Made before x's row is listed: a new link changes x's ctime.
         std::string p = t.dir / "other";
         struct stat st;
         lstat(p.c_str(), &st);
         FileIdentity id = identity_of(st);
         RowTexts r{{" ", "d", "t", "3", "", "", p.c_str()}, &id};
         t.list.append(r);
         t.block->row_count.fetch_add(1);
       }},
      {"a symbolic link",
       [](DeleteTest& t) {
         std::string p = t.dir / "other";
         EXPECT_EQ(symlink("abc", p.c_str()), 0);
         struct stat st;
         lstat(p.c_str(), &st);
         FileIdentity id = identity_of(st);
         RowTexts r{{" ", "d", "t", "3", "", "", p.c_str()}, &id};
         t.list.append(r);
         t.block->row_count.fetch_add(1);
       }},
      {"no identity known", [](DeleteTest& t) { t.row(t.dir / "y", 3); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    new_group();
    test::write_file(dir / "x", "abc");
    if (std::string(c.name) == "a hard link to the same file") {
      EXPECT_EQ(link((dir / "x").c_str(), (dir / "other").c_str()), 0);
    }
    std::string x = file("x");
    test::write_file(dir / "y", "abc");
    c.other(*this);
    list.select(2);
    prompter.answers = {'N'};
    delete_entry(ctx);
    EXPECT_EQ(prompter.titles(), std::vector<std::string>{"LAST COPY"});
    EXPECT_TRUE(exists(x));
    EXPECT_EQ(list.text(2, 0), " ");
    unlink((dir / "other").c_str());
  }
  EXPECT_FALSE(exists(dir / "deleted.log"));
}

TEST_F(DeleteTest, AFileChangedSinceTheScanIsNeverDeleted) {
  struct Case {
    const char* name;
    std::function<void(const std::string& dir, const std::string& path)> change;
    bool still_there;  // the file (or what replaced it) is still at the path
  };
  const Case cases[] = {
      {"rewritten", [](auto&, auto& p) { test::write_file(p, "other contents"); }, true},
      {"touched",
       [](auto&, auto& p) {
         timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 123}};
         utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW);
       },
       true},
      {"replaced by another file",
       [](auto& d, auto& p) {
         test::write_file(d + "/new", "abc");
         rename((d + "/new").c_str(), p.c_str());
       },
       true},
      {"removed by hand", [](auto&, auto& p) { unlink(p.c_str()); }, false},
      {"rewritten with its size and modification time put back",
       [](auto&, auto& p) { rewrite_keeping_times(p, "xyz"); }, true},
      {"replaced by a symbolic link to a copy",
       [](auto& d, auto& p) {
         test::write_file(d + "/elsewhere", "abc");
         unlink(p.c_str());
         EXPECT_EQ(symlink((d + "/elsewhere").c_str(), p.c_str()), 0);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    new_group();
    std::string victim = file("victim");
    std::string keep = file("keep");
    c.change(dir.path(), victim);
    std::string before = exists(victim) ? test::read_file(victim) : "";
    list.select(2);
    delete_entry(ctx);
    EXPECT_EQ(prompter.said,
              (Said{"message|File Changed|File Changed Since The Scan, Not Deleted|" + victim}));
    EXPECT_EQ(exists(victim), c.still_there);
    if (c.still_there) {
      EXPECT_EQ(test::read_file(victim), before);
    }
    EXPECT_EQ(list.text(2, 0), " ") << "the row is left as it is";
    EXPECT_EQ(block->deleted_count.load(), 0);
    unlink(victim.c_str());
  }
  EXPECT_FALSE(exists(dir / "deleted.log"));
}

TEST_F(DeleteTest, AParentDirectorySwappedForASymbolicLinkNeverRedirectsTheDeletion) {
  // The scan saw sub/x and sub/y. Then sub moves away and a link named sub
  // points at it: sub/x still reaches the very same file, through the link.
  mkdir((dir / "sub").c_str(), 0755);
  header(1);
  std::string x = file("sub/x");
  file("sub/y");
  rename((dir / "sub").c_str(), (dir / "real").c_str());
  EXPECT_EQ(symlink("real", (dir / "sub").c_str()), 0);

  list.select(2);
  delete_entry(ctx);
  EXPECT_EQ(prompter.titles(), std::vector<std::string>{"File Changed"});
  EXPECT_TRUE(exists(dir / "real/x"));
  EXPECT_EQ(list.text(2, 0), " ");
}

TEST_F(DeleteTest, AWalkGoesOnAfterAChangedFileAndARefusedRemoval) {
  header(1);
  std::string a = file("a", "abc");
  std::string b = file("b", "abc");
  std::string c = file("c", "abc");
  std::string d = file("d", "abc");
  test::write_file(a, "changed");
  disk.refuse[b] = "Permission denied";
  prompter.answers = {'Y', 'A'};
  delete_all_non_tagged(ctx);
  EXPECT_EQ(prompter.titles(),
            (std::vector<std::string>{"Delete All NON-Tagged Entries", "DELETE ALL NON-TAGGED",
                                      "File Changed", "Delete All NON-Tagged Entries"}));
  EXPECT_EQ(prompter.said.back(),
            "message|Delete All NON-Tagged Entries|" + std::to_string(block->deleted_count.load()) +
                " Files Deleted (" + std::to_string(block->deleted_bytes.load()) +
                " bytes freed)|2 Skipped: 1 Changed Since The Scan, 1 Permission denied");
  EXPECT_EQ(prompter.error_signals, 1) << "the refused removal";
  EXPECT_TRUE(exists(a));
  EXPECT_TRUE(exists(b));
  EXPECT_FALSE(exists(c));
  EXPECT_FALSE(exists(d)) << "b, whose removal failed, is still a copy";
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  a", "  b", "D c", "D d"}));
}

TEST_F(DeleteTest, OneDeletionIsOneLogLineWhateverThePath) {
  header(1);
  std::string odd = file("new\nline\t\"q\"\\");
  std::string plain = file("quote\"and\\back");
  comment("End Of List");
  list.select(2);
  delete_entry(ctx);
  list.select(3);
  prompter.answers = {'Y'};
  delete_entry(ctx);
  std::string expected = deletion_log_header() + logged(3, dir / "new\\nline\\t\\\"q\\\"\\\\") +
                         logged(3, dir / "quote\\\"and\\\\back");
  EXPECT_EQ(log(), expected);
  EXPECT_EQ(list.path(2), odd);
}

// A deletion log that is a link out of the data directory is never written
// through; the user is told once, and the deletions go on.
TEST_F(DeleteTest, ALogLinkLeadingOutOfTheDataDirectoryIsToldOnceAndLeftAlone) {
  mkdir((dir / "data").c_str(), 0755);
  ctx.log_file = dir / "data/deleted.log";
  ASSERT_EQ(symlink((dir / "outside.log").c_str(), ctx.log_file.c_str()), 0);
  bool told = false;
  ctx.log_link_told = &told;
  header(1);
  std::string a = file("a");
  std::string b = file("b");
  file("c");
  list.select(2);
  delete_entry(ctx);
  list.select(3);
  delete_entry(ctx);
  EXPECT_FALSE(exists(a));
  EXPECT_FALSE(exists(b));
  EXPECT_EQ(prompter.said, (Said{"message|Deletions Are Not Logged|The Deletion Log Is A Link Out "
                                 "Of The Data Directory|" +
                                 ctx.log_file}));
  EXPECT_EQ(prompter.error_signals, 0);
  EXPECT_FALSE(exists(dir / "outside.log"));
  EXPECT_EQ(block->deleted_count.load(), 2);
}

TEST_F(DeleteTest, ALogThatCannotBeWrittenIsToldAndTheDeletionStillCounts) {
  ctx.log_file = dir / "no such directory/deleted.log";
  header(1);
  std::string a = file("a");
  file("b");
  list.select(2);
  delete_entry(ctx);
  EXPECT_FALSE(exists(a));
  EXPECT_EQ(prompter.said, (Said{"message|Can Not Log Deletion Of File|Warning|"}));
  EXPECT_EQ(prompter.error_signals, 1);
  EXPECT_EQ(list.text(2, 0), "D");
  EXPECT_EQ(block->deleted_count.load(), 1);
}

TEST_F(DeleteTest, TrashOptionMovesTheFileToTheTrash) {
  block->settings.reserved = RESERVED_MOVE_TO_TRASH;
  header(1);
  std::string a = file("trash-me", "abc");
  file("b");
  list.select(2);
  delete_entry(ctx);
  EXPECT_FALSE(exists(a));
  std::string trash = std::string(g_get_user_data_dir()) + "/Trash";
  EXPECT_EQ(test::read_file(trash + "/files/trash-me"), "abc") << "in " << trash;
  EXPECT_NE(test::read_file(trash + "/info/trash-me.trashinfo").find("\nPath=" + a + "\n"),
            std::string::npos);
  unlink((trash + "/files/trash-me").c_str());
  unlink((trash + "/info/trash-me.trashinfo").c_str());
  EXPECT_EQ(log(), deletion_log_header() + logged(3, a, "Moved To Trash"));
  EXPECT_EQ(list.text(2, 0), "D");
  EXPECT_TRUE(prompter.said.empty());
}

TEST_F(DeleteTest, ATrashThatCannotTakeTheFileLeavesItAndSaysWhy) {
  block->settings.reserved = RESERVED_MOVE_TO_TRASH;
  header(1);
  std::string a = file("a");
  file("b");
  disk.refuse[a] = "Unable to find or create trash directory";
  list.select(2);
  delete_entry(ctx);
  EXPECT_TRUE(exists(a));
  EXPECT_EQ(prompter.said, (Said{"message|Not Moved To Trash|Unable to find or create trash "
                                 "directory|" +
                                 a}));
  EXPECT_EQ(list.text(2, 0), " ");
  EXPECT_EQ(block->deleted_count.load(), 0);
  EXPECT_FALSE(exists(dir / "deleted.log"));
}

TEST_F(DeleteTest, RefusalsDoNothing) {
  header(1);
  std::string a = file("a");
  file("b");
  list.unselect();
  delete_entry(ctx);  // no selection: not even a signal
  EXPECT_EQ(delete_one_file(ctx, "DELETE", 'Y'), -1);
  list.select(1);
  EXPECT_EQ(delete_one_file(ctx, "DELETE", 'Y'), -1) << "a header has no path";
  delete_all_tagged(ctx);  // nothing tagged
  EXPECT_EQ(prompter.error_signals, 1);
  block->list_busy = 1;
  list.select(2);
  delete_entry(ctx);
  delete_all_non_tagged(ctx);
  EXPECT_EQ(prompter.said,
            (Said{"message|List Box Busy|Delete Files|Try after operation is complete",
                  "message|List Box Busy|Delete All NON-Tagged Entries|Try after operation is "
                  "complete"}));
  EXPECT_TRUE(exists(a));
  EXPECT_EQ(block->list_busy.load(), 1);
}

// A content cache holding an entry for the file at each of `paths` (its
// device and inode; times long past).
void write_cache(const std::string& file, const std::vector<std::string>& paths) {
  FileStore store;
  std::vector<std::uint32_t> files;
  for (const std::string& path : paths) {
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
    FileFacts f;
    f.device = st.st_dev;
    f.inode = st.st_ino;
    f.size = st.st_size;
    f.mtime_sec = f.ctime_sec = 1700000000;
    f.mode = S_IFREG | 0644;
    const std::uint32_t n = store.add(path, f);
    FileContents& c = store.contents_for(n);
    c.flags = FileContents::BEGINNING | FileContents::WHOLE | FileContents::LEARNT;
    c.set_beginning_hash(1);
    c.set_whole_hash(2, 3);
    files.push_back(n);
  }
  ContentCache cache;
  cache.recall(store, files);
  ASSERT_TRUE(cache.save(file, store));
}

std::size_t cache_entries(const std::string& file) {
  ContentCache cache;
  return cache.load(file) ? cache.size() : 0;
}

// A file whose bytes differ from its group's kept copy, though the scan
// took them for one (each row has the identity its file shows: as after a
// write that moved no time stamp), stays; the box names both files, and the
// content cache forgets them. In a walk the copy that stays is one the walk
// does not act on: another tagged copy with the same bytes does not count.
TEST_F(DeleteTest, AFileWhoseBytesDifferFromTheKeptCopyStaysAndTheBoxNamesBoth) {
  enum Command { DELETE_FILE, ALL_TAGGED, ALL_NON_TAGGED };
  ctx.content_cache = dir / "ContentCache";
  for (bool trash : {false, true}) {
    for (Command command : {DELETE_FILE, ALL_TAGGED, ALL_NON_TAGGED}) {
      SCOPED_TRACE(std::string(trash ? "trash, " : "delete, ") +
                   (command == DELETE_FILE  ? "Delete File"
                    : command == ALL_TAGGED ? "Delete All Tagged"
                                            : "Delete All NON-Tagged"));
      block->settings.reserved = trash ? RESERVED_MOVE_TO_TRASH : 0;
      std::filesystem::remove_all(dir / "g");
      mkdir((dir / "g").c_str(), 0755);
      new_group();
      block->tagged_count = 0;
      block->tagged_bytes = 0;
      const char* acted = command == ALL_NON_TAGGED ? " " : "*";
      const char* kept = command == ALL_NON_TAGGED ? "*" : " ";
      const std::string spare = file("g/spare", "abc", command == DELETE_FILE ? " " : acted);
      const std::string other = file("g/other", "abc", command == DELETE_FILE ? kept : acted);
      const std::string keep = file("g/keep", "abd", kept);
      header(2);
      const std::string elsewhere = file("g/elsewhere", "xyz", kept);
      write_cache(ctx.content_cache, {spare, keep, elsewhere});
      if (command == DELETE_FILE) {
        // A single delete may take any other member for its copy: here the
        // equal one. So that one is put out of reach first.
        unlink(other.c_str());
      }
      switch (command) {
        case DELETE_FILE:
          list.select(2);
          delete_entry(ctx);
          break;
        case ALL_TAGGED:
          prompter.answers = {'Y', 'A'};
          delete_all_tagged(ctx);
          break;
        case ALL_NON_TAGGED:
          prompter.answers = {'Y', 'A'};
          delete_all_non_tagged(ctx);
          break;
      }
      EXPECT_EQ(test::read_file(spare), "abc");
      EXPECT_EQ(list.text(2, 0), command == DELETE_FILE ? " " : acted) << "not marked deleted";
      const std::string box = std::string("message|") +
                              (trash ? "Not Moved To Trash" : "Not Deleted") +
                              "|Contents Differ From The Kept Copy|" + spare + "\n" + keep;
      EXPECT_NE(std::find(prompter.said.begin(), prompter.said.end(), box), prompter.said.end());
      EXPECT_EQ(cache_entries(ctx.content_cache), 1u) << "only the unrelated file's entry";
      EXPECT_EQ(block->deleted_count.load(), 0);
      EXPECT_FALSE(exists(dir / "deleted.log"));
    }
  }
}

// With several copies that stay, one holding the same bytes is enough.
TEST_F(DeleteTest, OneEqualCopyThatStaysIsEnough) {
  header(1);
  const std::string spare = file("spare", "abc", "*");
  file("differs", "abd");
  file("same", "abc");
  prompter.answers = {'Y', 'A'};
  delete_all_tagged(ctx);
  EXPECT_FALSE(exists(spare));
  EXPECT_EQ(list.text(2, 0), "D");
  EXPECT_EQ(prompter.said.size(), 3u) << "no box but the walk's end";
  EXPECT_EQ(prompter.said.back(),
            "message|Delete All Tagged Entries|1 Files Deleted (3 bytes freed)|");
}

// Two names of one file tagged, an older copy kept: taking the first name
// away moves the second's change time, which the walk expects; both go.
TEST_F(DeleteTest, EveryTaggedNameOfOneFileGoesInOneWalk) {
  for (bool trash : {false, true}) {
    SCOPED_TRACE(trash ? "trash" : "delete");
    block->settings.reserved = trash ? RESERVED_MOVE_TO_TRASH : 0;
    std::filesystem::remove_all(dir / "a");
    std::filesystem::remove_all(dir / "b");
    std::filesystem::remove_all(dir / "c");
    for (const char* d : {"a", "b", "c"}) mkdir((dir / d).c_str(), 0755);
    new_group();
    block->tagged_count = 0;
    block->tagged_bytes = 0;
    const std::string y = file("c/y", "same bytes");
    test::write_file(dir / "a/x", "same bytes");
    ASSERT_EQ(link((dir / "a/x").c_str(), (dir / "b/x2").c_str()), 0);
    file("b/x2", "same bytes", "*");  // written again in place: still a link of a/x
    file("a/x", "same bytes", "*");
    ASSERT_EQ(test::inode_of(dir / "a/x"), test::inode_of(dir / "b/x2"));
    // The scan saw both names after the last write.
    list.set_identity(3, test::identity_at(dir / "b/x2"));
    list.set_identity(4, test::identity_at(dir / "a/x"));
    prompter.answers = {'Y', 'A'};
    delete_all_tagged(ctx);
    EXPECT_FALSE(exists(dir / "a/x"));
    EXPECT_FALSE(exists(dir / "b/x2"));
    EXPECT_TRUE(exists(y));
    EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  c/y", "D b/x2", "D a/x"}));
    EXPECT_EQ(prompter.titles(),
              (std::vector<std::string>{"Delete All Tagged Entries", "DELETE ALL TAGGED",
                                        "Delete All Tagged Entries"}));
  }
}

// The same failure for three files in a row asks once whether to go on:
// yes, and that failure opens no more boxes in this walk (another one
// still does); no, and the walk stops there.
TEST_F(DeleteTest, TheSameFailureThreeTimesInARowAsksOnceWhetherToGoOn) {
  for (bool trash : {false, true}) {
    for (int go_on : {'Y', 'N'}) {
      SCOPED_TRACE(std::string(trash ? "trash" : "delete") + (go_on == 'Y' ? ", go on" : ", stop"));
      block->settings.reserved = trash ? RESERVED_MOVE_TO_TRASH : 0;
      std::filesystem::remove_all(dir / "g");
      mkdir((dir / "g").c_str(), 0755);
      new_group();
      block->tagged_count = 0;
      block->tagged_bytes = 0;
      disk.refuse.clear();
      file("g/keep", "abc");
      std::vector<std::string> f;
      for (int i = 0; i < 6; ++i) f.push_back(file("g/f" + std::to_string(i), "abc", "*"));
      for (int i = 0; i < 4; ++i) disk.refuse[f[i]] = "Input/output error";
      disk.refuse[f[4]] = "No space left on device";
      prompter.answers = {'Y', 'A', go_on};
      delete_all_tagged(ctx);

      Said said{std::string("yes_no|Delete All Tagged Entries|") +
                    (trash ? "MOVE ALL TAGGED FILES TO THE TRASH?"
                           : "DELETE ALL TAGGED FILES FROM LISTBOX?") +
                    "|6 Tagged Entries",
                std::string("yes_no_all|DELETE ALL TAGGED|") +
                    (trash ? "MOVE THIS FILE TO THE TRASH?" : "DELETE THIS FILE?") + "|" + f[0]};
      // A removal the system refuses beeps; one the trash refuses says why.
      if (trash) {
        for (int i = 0; i < 2; ++i)
          said.push_back("message|Not Moved To Trash|Input/output error|" + f[i]);
      }
      said.push_back(
          "yes_no|Same Error Three Times|GO ON WITHOUT MORE BOXES FOR THIS ERROR?|Input/output "
          "error");
      if (go_on == 'Y' && trash) {
        said.push_back("message|Not Moved To Trash|No space left on device|" + f[4]);
      }
      said.push_back(std::string("message|Delete All Tagged Entries|") +
                     (go_on == 'Y' ? "1 Files " : "0 Files ") +
                     (trash ? "Moved To Trash" : "Deleted") +
                     (go_on == 'Y' ? " (3 bytes freed)|5 Skipped: 4 Input/output error, 1 No space "
                                     "left on device"
                                   : " (0 bytes freed)|3 Skipped: 3 Input/output error"));
      EXPECT_EQ(prompter.said, said);
      EXPECT_TRUE(prompter.answers.empty());
      EXPECT_EQ(exists(f[5]), go_on != 'Y') << "the walk went on, or stopped";
      for (int i = 0; i < 5; ++i) EXPECT_TRUE(exists(f[i]));
    }
  }
}

// Lowers the limit of open descriptors for as long as it lives.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t soft) {
    getrlimit(RLIMIT_NOFILE, &before_);
    rlimit lower = before_;
    lower.rlim_cur = soft;
    EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &lower), 0);
  }
  ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &before_); }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;

 private:
  rlimit before_{};
};

// 500 tagged files with 128 descriptors: no file keeps one open for long,
// so every file goes (to the trash or not) without a single box, and Undo
// puts every one back.
TEST_F(DeleteTest, AWalkOfManyFilesNeverRunsOutOfDescriptorsAndUndoPutsThemAllBack) {
  constexpr int FILES = 500;
  const std::string trash_dir = std::string(g_get_user_data_dir()) + "/Trash";
  for (bool trash : {false, true}) {
    SCOPED_TRACE(trash ? "trash" : "delete");
    TrashUndo undo;
    ctx.trash_undo = &undo;
    block->settings.reserved = trash ? RESERVED_MOVE_TO_TRASH : 0;
    std::filesystem::remove_all(dir / "many");
    std::filesystem::remove_all(trash_dir);
    mkdir((dir / "many").c_str(), 0755);
    new_group();
    block->tagged_count = 0;
    block->tagged_bytes = 0;
    file("many/keep", "the same bytes");
    std::vector<std::string> tagged;
    for (int i = 0; i < FILES; ++i) {
      tagged.push_back(file("many/f" + std::to_string(i), "the same bytes", "*"));
    }
    prompter.answers = {'Y', 'A'};
    {
      DescriptorLimit limit(128);
      delete_all_tagged(ctx);
    }
    EXPECT_EQ(prompter.titles(),
              (std::vector<std::string>{"Delete All Tagged Entries", "DELETE ALL TAGGED",
                                        "Delete All Tagged Entries"}));
    int left = 0;
    for (const std::string& path : tagged) left += exists(path) ? 1 : 0;
    EXPECT_EQ(left, 0);
    if (!trash) continue;
    ASSERT_TRUE(undo.available(list));
    {
      DescriptorLimit limit(128);
      undo_last_move_to_trash(ctx);
    }
    EXPECT_EQ(prompter.titles(),
              (std::vector<std::string>{"Delete All Tagged Entries", "DELETE ALL TAGGED",
                                        "Delete All Tagged Entries"}));
    int back = 0;
    for (const std::string& path : tagged) back += test::read_file(path) == "the same bytes";
    EXPECT_EQ(back, FILES);
    EXPECT_EQ(test::names_in(trash_dir + "/files").size(), 0u);
  }
  ctx.trash_undo = nullptr;
}

}  // namespace

namespace {

// Every question and the walk's end notice say "trash" when the trash is on
// and keep their words when it is off; a single Delete File ends with no
// notice.
TEST_F(DeleteTest, QuestionsAndTheEndNoticeSayWhereTheFilesGo) {
  struct Case {
    bool trash;
    bool tagged_walk;
    const char* walk_question;
    const char* file_question;
    const char* last_question;
    const char* end;
  };
  const Case cases[] = {
      {false, true, "DELETE ALL TAGGED FILES FROM LISTBOX?", "DELETE THIS FILE?",
       "THIS IS THE LAST COPY OF THIS GROUP, DELETE IT?",
       "1 Files Deleted (3 bytes freed)|1 Skipped: 1 Last Copy Kept"},
      {true, true, "MOVE ALL TAGGED FILES TO THE TRASH?", "MOVE THIS FILE TO THE TRASH?",
       "THIS IS THE LAST COPY OF THIS GROUP, MOVE IT TO THE TRASH?",
       "1 Files Moved To Trash (3 bytes freed)|1 Skipped: 1 Last Copy Kept"},
      {false, false, "DELETE ALL NON-TAGGED FILES FROM LISTBOX?", "DELETE THIS FILE?",
       "THIS IS THE LAST COPY OF THIS GROUP, DELETE IT?",
       "1 Files Deleted (3 bytes freed)|1 Skipped: 1 Last Copy Kept"},
      {true, false, "MOVE ALL NON-TAGGED FILES TO THE TRASH?", "MOVE THIS FILE TO THE TRASH?",
       "THIS IS THE LAST COPY OF THIS GROUP, MOVE IT TO THE TRASH?",
       "1 Files Moved To Trash (3 bytes freed)|1 Skipped: 1 Last Copy Kept"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.trash ? "trash, " : "delete, ") +
                 (c.tagged_walk ? "tagged" : "non-tagged"));
    block->settings.reserved = c.trash ? RESERVED_MOVE_TO_TRASH : 0;
    new_group();
    block->tagged_count = 0;
    block->tagged_bytes = 0;
    block->deleted_count = 0;
    block->deleted_bytes = 0;
    const char* mark = c.tagged_walk ? "*" : " ";
    const char* other = c.tagged_walk ? " " : "*";
    const std::string prefix = "q" + std::to_string(n++);
    // Group 1: one to act on beside a copy that stays; group 2: only a last copy.
    const std::string goes = file(prefix + "a", "abc", mark);
    file(prefix + "b", "abc", other);
    header(2);
    const std::string last = file(prefix + "c", "xyz", mark);
    prompter.answers = {'Y', 'A', 'N'};
    if (c.tagged_walk) {
      delete_all_tagged(ctx);
    } else {
      delete_all_non_tagged(ctx);
    }
    const std::string title =
        c.tagged_walk ? "Delete All Tagged Entries" : "Delete All NON-Tagged Entries";
    const std::string per_file = c.tagged_walk ? "DELETE ALL TAGGED" : "DELETE ALL NON-TAGGED";
    const std::string second = c.tagged_walk ? "2 Tagged Entries" : "";
    EXPECT_EQ(prompter.said,
              (Said{"yes_no|" + title + "|" + c.walk_question + "|" + second,
                    "yes_no_all|" + per_file + "|" + c.file_question + "|" + goes,
                    "yes_no_none|LAST COPY|" + std::string(c.last_question) + "|" + last,
                    "message|" + title + "|" + c.end}));
    EXPECT_FALSE(exists(goes));
    EXPECT_TRUE(exists(last));
    EXPECT_EQ(list.totals_line().find(c.trash ? "1 File Moved To Trash (3 bytes)"
                                              : "1 File Deleted (3 bytes)") != std::string::npos,
              true)
        << list.totals_line();

    // Delete File asks its own question in the same words, and ends with no notice.
    new_group();
    block->tagged_count = 0;
    block->tagged_bytes = 0;
    const std::string one = file(prefix + "d", "abc");
    file(prefix + "e", "abc");
    list.select(2);
    prompter.answers = {'Y'};
    const int confirm = block->settings.confirm_delete;
    block->settings.confirm_delete = 1;
    delete_entry(ctx);
    block->settings.confirm_delete = confirm;
    EXPECT_EQ(prompter.said, (Said{"yes_no|DELETE|" + std::string(c.file_question) + "|" + one}));
    EXPECT_FALSE(exists(one));
  }
  block->settings.reserved = 0;
}

}  // namespace

namespace {

// "Remove Folders Left Empty": a walk (and a single Delete File) removes
// the folders it emptied, upward to the include directory; never one empty
// before or still holding a file, never the include directory. With it off
// every folder stays. Undo puts the folders back, with their modes, and then
// the files.
TEST_F(DeleteTest, RemoveFoldersLeftEmptyAfterAWalkAndUndoPutsThemBack) {
  const std::string trash_dir = std::string(g_get_user_data_dir()) + "/Trash";
  struct Case {
    bool option;
    bool trash;
    bool walk;
  };
  const Case cases[] = {{true, false, true}, {true, true, true},   {false, false, true},
                        {false, true, true}, {true, false, false}, {true, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.option ? "on" : "off") + (c.trash ? " trash" : " delete") +
                 (c.walk ? " walk" : " Delete File"));
    TrashUndo undo;
    ctx.trash_undo = &undo;
    block->settings.reserved =
        (c.trash ? RESERVED_MOVE_TO_TRASH : 0) | (c.option ? RESERVED_REMOVE_EMPTY_FOLDERS : 0);
    std::memset(block->settings.include_dirs, 0, sizeof block->settings.include_dirs);
    const std::string top = dir / "top";
    std::snprintf(block->settings.include_dirs[0], MASK_SLOT_SIZE, "%s", top.c_str());
    std::snprintf(block->settings.include_dirs[1], MASK_SLOT_SIZE, "%s/*", top.c_str());
    std::filesystem::remove_all(top);
    std::filesystem::remove_all(trash_dir);
    for (const char* d : {"top", "top/a", "top/a/b", "top/held", "top/empty_before"})
      ASSERT_EQ(mkdir((dir / d).c_str(), 0755), 0);
    chmod((dir / "top/a/b").c_str(), 0710);
    new_group();
    block->tagged_count = 0;
    block->tagged_bytes = 0;
    file("top/held/keep", "same");
    const char* tag = c.walk ? "*" : " ";  // Delete File takes the selected row
    const std::string gone = file("top/a/b/f", "same", tag);
    const std::string direct = file("top/g", "same", tag);  // its folder is the include dir
    test::write_file(dir / "top/held/other", "x");
    comment("End Of List");
    if (c.walk) {
      prompter.answers = {'Y', 'A'};
      delete_all_tagged(ctx);
    } else {
      list.select(3);
      delete_entry(ctx);
      EXPECT_TRUE(exists(direct));
    }
    EXPECT_FALSE(exists(gone));
    EXPECT_EQ(exists(dir / "top/a/b"), !c.option);
    EXPECT_EQ(exists(dir / "top/a"), !c.option);
    EXPECT_TRUE(exists(top));
    EXPECT_TRUE(exists(dir / "top/held/keep"));
    EXPECT_TRUE(exists(dir / "top/empty_before"));
    if (!c.trash) continue;
    ASSERT_TRUE(undo.available(list));
    undo_last_move_to_trash(ctx);
    EXPECT_EQ(test::read_file(gone), "same");
    EXPECT_EQ(test::read_file(direct), "same");
    EXPECT_TRUE(test::names_in(trash_dir + "/files").empty());
    EXPECT_EQ(test::file_mode(dir / "top/a/b"), 0710u);
    EXPECT_EQ(test::file_mode(dir / "top/a"), 0755u);
  }
  ctx.trash_undo = nullptr;
}

}  // namespace
