// The clean-up of a group's tagged files without a window: the same checks
// as the window's commands, on real files whose state after the scan each
// case changes.
#include "disk/group_cleanup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "support/disk_facts.h"
#include "support/temp_dir.h"

namespace {

using test::exists;
using test::identity_at;
using test::inode_of;

TEST(GroupCleanup, EachActionChecksAsTheWindowDoes) {
  // Every case: a group of an untagged "keep" and a tagged "spare" with the
  // same bytes, something changed after the scan, then the spare acted on.
  struct Case {
    const char* what;
    CleanupAction action;
    std::function<void(const std::string& keep, const std::string& spare)> meanwhile;
    const char* skipped;  // the reason; null: done
  };
  auto rewrite = [](const std::string& path) { test::write_file(path, "changed!"); };
  const Case cases[] = {
      {"delete", CleanupAction::DELETE, nullptr, nullptr},
      {"trash", CleanupAction::TRASH, nullptr, nullptr},
      {"hard link", CleanupAction::HARD_LINK, nullptr, nullptr},
      {"delete a changed spare", CleanupAction::DELETE,
       [&](const std::string&, const std::string& spare) { rewrite(spare); },
       "changed since the scan"},
      {"delete when the kept copy changed: the last copy", CleanupAction::DELETE,
       [&](const std::string& keep, const std::string&) { rewrite(keep); },
       "the last copy of its group"},
      {"delete when the kept copy is gone", CleanupAction::DELETE,
       [](const std::string& keep, const std::string&) { unlink(keep.c_str()); },
       "the last copy of its group"},
      {"delete when the kept copy is now a link to the spare", CleanupAction::DELETE,
       [](const std::string& keep, const std::string& spare) {
         unlink(keep.c_str());
         EXPECT_EQ(symlink(spare.c_str(), keep.c_str()), 0);
       },
       "the last copy of its group"},
      {"link when the kept copy changed", CleanupAction::HARD_LINK,
       [&](const std::string& keep, const std::string&) { rewrite(keep); }, "no kept copy"},
      {"link a changed spare", CleanupAction::HARD_LINK,
       [&](const std::string&, const std::string& spare) { rewrite(spare); },
       "changed since the scan"},
  };
  for (bool dry_run : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (dry_run ? " (dry run)" : ""));
      test::TempDir dir;
      const std::string keep = dir / "keep", spare = dir / "spare";
      test::write_file(keep, "contents");
      test::write_file(spare, "contents");
      std::vector<CleanupMember> group = {{keep, identity_at(keep), false},
                                          {spare, identity_at(spare), true}};
      if (c.meanwhile) c.meanwhile(keep, spare);
      const bool spare_there = exists(spare);
      const ino_t spare_inode = inode_of(spare);
      DiskFileSystem disk;

      CleanupStep step = clean_up_member(disk, group, 1, c.action, dry_run);
      if (c.skipped != nullptr) {
        EXPECT_EQ(step.kind, CleanupStep::SKIPPED);
        EXPECT_EQ(step.reason, c.skipped);
      } else {
        EXPECT_EQ(step.kind, CleanupStep::DONE) << step.reason;
      }
      const bool acted = step.kind == CleanupStep::DONE && !dry_run;
      if (!acted) {
        EXPECT_EQ(exists(spare), spare_there);
        EXPECT_EQ(inode_of(spare), spare_inode) << "nothing changed";
        continue;
      }
      if (c.action == CleanupAction::HARD_LINK) {
        EXPECT_EQ(step.kept, keep);
        EXPECT_EQ(inode_of(spare), inode_of(keep));
        EXPECT_TRUE(disk.unchanged(keep, group[0].seen)) << "the members follow the disk";
        EXPECT_TRUE(disk.unchanged(spare, group[1].seen));
      } else {
        EXPECT_FALSE(exists(spare));
        EXPECT_TRUE(group[1].gone);
      }
      EXPECT_TRUE(exists(keep));
    }
  }
}

TEST(GroupCleanup, TheLastOfManyTaggedCopiesIsNeverTaken) {
  // Every member tagged (a rule never does this, a list read back may): the
  // walk takes all but the last.
  test::TempDir dir;
  std::vector<CleanupMember> group;
  for (const char* name : {"a", "b", "c"}) {
    test::write_file(dir / name, "same");
    group.push_back({dir / name, identity_at(dir / name), true});
  }
  DiskFileSystem disk;
  EXPECT_EQ(clean_up_member(disk, group, 0, CleanupAction::DELETE, false).kind, CleanupStep::DONE);
  EXPECT_EQ(clean_up_member(disk, group, 1, CleanupAction::DELETE, false).kind, CleanupStep::DONE);
  CleanupStep last = clean_up_member(disk, group, 2, CleanupAction::DELETE, false);
  EXPECT_EQ(last.kind, CleanupStep::SKIPPED);
  EXPECT_EQ(last.reason, "the last copy of its group");
  EXPECT_TRUE(exists(dir / "c"));
  // Nothing untagged: nothing to link to.
  EXPECT_EQ(clean_up_member(disk, group, 2, CleanupAction::HARD_LINK, false).reason,
            "no kept copy");
}

// A tagged file whose bytes differ from the kept copy's, though the scan
// took them for one: the identity each shows is the one the scan saw, as
// after a write that moved no time stamp. It is skipped, dry run or not,
// with both files named for the content cache to forget.
TEST(GroupCleanup, ACopyWhoseBytesDifferFromTheKeptCopyIsSkipped) {
  for (CleanupAction action : {CleanupAction::DELETE, CleanupAction::TRASH}) {
    for (bool dry_run : {false, true}) {
      SCOPED_TRACE(std::string(action == CleanupAction::DELETE ? "delete" : "trash") +
                   (dry_run ? " (dry run)" : ""));
      test::TempDir dir;
      const std::string keep = dir / "keep", spare = dir / "spare", other = dir / "other";
      test::write_file(keep, "contents");
      test::write_file(spare, "Contents");
      test::write_file(other, "contents");
      std::vector<CleanupMember> group = {{keep, identity_at(keep), false},
                                          {spare, identity_at(spare), true},
                                          {other, identity_at(other), true}};
      DiskFileSystem disk;
      CleanupStep step = clean_up_member(disk, group, 1, action, dry_run);
      EXPECT_EQ(step.kind, CleanupStep::SKIPPED);
      EXPECT_EQ(step.reason, "contents differ from the kept copy");
      EXPECT_EQ(step.differing, (std::vector<FileIdentity>{group[1].seen, group[0].seen}));
      EXPECT_FALSE(group[1].gone);
      EXPECT_EQ(test::read_file(spare), "Contents");
      // The other tagged copy is no kept copy of it: nothing else vouches
      // for its bytes. Its own bytes are the kept copy's: it goes.
      CleanupStep next = clean_up_member(disk, group, 2, action, dry_run);
      EXPECT_EQ(next.kind, CleanupStep::DONE) << next.reason;
      EXPECT_EQ(exists(other), dry_run);
      EXPECT_TRUE(exists(keep));
    }
  }
}

// Two names of one file, both tagged, and an older copy kept: taking the
// first name away moves the change time of the second, which the clean-up
// expects, so both names go.
TEST(GroupCleanup, EveryTaggedNameOfOneFileGoes) {
  for (CleanupAction action : {CleanupAction::DELETE, CleanupAction::TRASH}) {
    SCOPED_TRACE(action == CleanupAction::DELETE ? "delete" : "trash");
    test::TempDir dir;
    for (const char* d : {"a", "b", "c"}) mkdir((dir / d).c_str(), 0755);
    const std::string x = dir / "a/x", x2 = dir / "b/x2", y = dir / "c/y";
    test::write_file(y, "same bytes");
    test::write_file(x, "same bytes");
    ASSERT_EQ(link(x.c_str(), x2.c_str()), 0);
    std::vector<CleanupMember> group = {
        {x, identity_at(x), true}, {x2, identity_at(x2), true}, {y, identity_at(y), false}};
    DiskFileSystem disk;
    for (std::size_t i : {1u, 0u}) {
      CleanupStep step = clean_up_member(disk, group, i, action, false);
      EXPECT_EQ(step.kind, CleanupStep::DONE) << group[i].path << ": " << step.reason;
    }
    EXPECT_FALSE(exists(x));
    EXPECT_FALSE(exists(x2));
    EXPECT_TRUE(exists(y));
  }
}

}  // namespace
