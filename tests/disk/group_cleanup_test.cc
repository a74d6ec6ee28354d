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
#include "support/mounts.h"
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

TEST(GroupCleanup, ALinkOrCloneThatWouldChangeWhoMayReadOrFreeNothingIsSkipped) {
  struct Case {
    const char* what;
    CleanupAction action;
    const char* bytes;
    std::function<void(const std::string& keep, const std::string& spare)> before_scan;
    const char* skipped;
  };
  const Case cases[] = {
      {"link an empty file", CleanupAction::HARD_LINK, "", nullptr, "empty file"},
      {"clone an empty file", CleanupAction::CLONE, "", nullptr, "empty file"},
      {"link a file only its owner may read", CleanupAction::HARD_LINK, "contents",
       [](const std::string& keep, const std::string& spare) {
         chmod(keep.c_str(), 0644);
         chmod(spare.c_str(), 0600);
       },
       "owner, mode or access list differ from the kept copy"},
      {"link a file of another owner", CleanupAction::HARD_LINK, "contents",
       [](const std::string&, const std::string& spare) {
         ASSERT_EQ(chown(spare.c_str(), 65534, 65534), 0);
       },
       "owner, mode or access list differ from the kept copy"},
  };
  for (bool dry_run : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (dry_run ? " (dry run)" : ""));
      test::TempDir dir;
      const std::string keep = dir / "keep", spare = dir / "spare";
      test::write_file(keep, c.bytes);
      test::write_file(spare, c.bytes);
      if (c.before_scan) c.before_scan(keep, spare);
      std::vector<CleanupMember> group = {{keep, identity_at(keep), false},
                                          {spare, identity_at(spare), true}};
      const FileIdentity spare_seen = group[1].seen;
      DiskFileSystem disk;

      CleanupStep step = clean_up_member(disk, group, 1, c.action, dry_run);
      EXPECT_EQ(step.kind, CleanupStep::SKIPPED);
      EXPECT_EQ(step.reason, c.skipped);
      EXPECT_EQ(identity_at(spare), spare_seen) << "left as it was";
      EXPECT_TRUE(group[1].tagged);
    }
  }
}

// An overlay shows the files of its lower folder on a device of its own,
// with their own inode numbers, sizes and times: lower/doc and merged/doc
// are one file, and deleting either deletes what the other shows.
TEST(GroupCleanup, OneFileSeenThroughTwoMountsIsNeverACopyOfItself) {
  test::TempDir dir;
  const std::string fs = dir / "fs";
  test::ScratchMount tmpfs(fs);
  if (!tmpfs.mounted()) GTEST_SKIP() << "mounting is not allowed here: " << tmpfs.error();
  mkdir((fs + "/lower").c_str(), 0755);
  const std::string lower = fs + "/lower/doc", merged = fs + "/merged/doc";
  const std::string copy = fs + "/copy";  // a real copy, elsewhere
  test::write_file(lower, "the only contents");
  test::ScratchMount overlay({fs + "/lower", fs + "/upper", fs + "/work"}, fs + "/merged");
  ASSERT_TRUE(overlay.mounted()) << "a tmpfs mounts here, an overlay does not: " << overlay.error();
  ASSERT_NE(identity_at(lower).device, identity_at(merged).device);
  ASSERT_EQ(identity_at(lower).inode, identity_at(merged).inode);
  DiskFileSystem disk;
  EXPECT_TRUE(disk.same_file(lower, merged));
  EXPECT_TRUE(disk.same_file(merged, lower));

  for (bool dry_run : {false, true}) {
    for (CleanupAction action : {CleanupAction::DELETE, CleanupAction::TRASH,
                                 CleanupAction::HARD_LINK, CleanupAction::CLONE}) {
      for (std::size_t tagged : {0u, 1u}) {
        SCOPED_TRACE(std::to_string(static_cast<int>(action)) + " member " +
                     std::to_string(tagged) + (dry_run ? " (dry run)" : ""));
        std::vector<CleanupMember> group = {{lower, identity_at(lower), tagged == 0},
                                            {merged, identity_at(merged), tagged == 1}};
        EXPECT_FALSE(another_copy_remains(disk, group, tagged));
        EXPECT_EQ(kept_copy(disk, group, tagged), -1);
        CleanupStep step = clean_up_member(disk, group, tagged, action, dry_run);
        EXPECT_EQ(step.kind, CleanupStep::SKIPPED);
        const bool removal = action == CleanupAction::DELETE || action == CleanupAction::TRASH;
        EXPECT_EQ(step.reason, removal ? "the last copy of its group" : "no kept copy");
        EXPECT_EQ(test::read_file(lower), "the only contents");
        EXPECT_EQ(test::read_file(merged), "the only contents");
      }
    }
  }

  // With a real copy beside them, that copy is the one kept, and a name of
  // the file may go: the contents stay in the copy.
  test::write_file(copy, "the only contents");
  std::vector<CleanupMember> group = {{lower, identity_at(lower), true},
                                      {merged, identity_at(merged), false},
                                      {copy, identity_at(copy), false}};
  EXPECT_TRUE(another_copy_remains(disk, group, 0));
  EXPECT_EQ(kept_copy(disk, group, 0), 2);
}

}  // namespace
