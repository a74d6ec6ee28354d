// Replacing a copy by a hard link to the kept copy, or by a clone of it:
// done only when both files are still the ones the scan saw, lie on one file
// system and hold the same bytes; a refusal or a failure at any step leaves
// every file as it was and no temporary name behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "disk/file_system.h"
#include "support/disk_facts.h"
#include "support/mounts.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// CRC-32 as the scan computes it (the reflected polynomial of zlib).
std::uint32_t crc32_of(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

class FileReplaceTest : public ::testing::Test {
 public:
  test::TempDir dir;
  DiskFileSystem disk;
};

TEST_F(FileReplaceTest, AHardLinkTakesTheNameAndTheKeptCopyStays) {
  const std::string kept = dir / "kept", copy = dir / "copy";
  test::write_file(kept, "same bytes");
  test::write_file(copy, "same bytes");
  const FileIdentity seen = test::identity_at(copy), kept_seen = test::identity_at(kept);

  ReplaceOutcome outcome =
      disk.replace_with_copy(copy, seen, kept, kept_seen, Replacement::HARD_LINK);
  ASSERT_EQ(outcome.kind, ReplaceOutcome::DONE) << outcome.reason;
  EXPECT_EQ(test::inode_of(copy), test::inode_of(kept));
  EXPECT_EQ(test::read_file(copy), "same bytes");
  EXPECT_EQ(outcome.now, test::identity_at(copy));
  EXPECT_EQ(outcome.kept_now, test::identity_at(kept))
      << "the new link changed the kept copy's ctime";
  EXPECT_EQ(test::names_in(dir.path()), (std::set<std::string>{"kept", "copy"}));
}

// Each case prepares a pair, may change the disk after the scan, and must
// end refused with every file as it was.
TEST_F(FileReplaceTest, RefusalsLeaveEveryFileAsItWas) {
  struct Case {
    const char* what;
    std::string copy_bytes, kept_bytes;
    std::function<void(const std::string& copy, const std::string& kept)> after_scan;
    ReplaceOutcome::Kind expected;
  };
  const Case cases[] = {
      {"the copy rewritten since the scan", "abc", "abc",
       [](const std::string& copy, const std::string&) { test::write_file(copy, "xyz"); },
       ReplaceOutcome::CHANGED},
      {"the copy gone", "abc", "abc",
       [](const std::string& copy, const std::string&) { unlink(copy.c_str()); },
       ReplaceOutcome::CHANGED},
      {"the kept copy rewritten since the scan", "abc", "abc",
       [](const std::string&, const std::string& kept) { test::write_file(kept, "xyz"); },
       ReplaceOutcome::KEPT_CHANGED},
      {"the kept copy gone", "abc", "abc",
       [](const std::string&, const std::string& kept) { unlink(kept.c_str()); },
       ReplaceOutcome::KEPT_CHANGED},
      {"the kept copy now a link to the copy", "abc", "abc",
       [](const std::string& copy, const std::string& kept) {
         unlink(kept.c_str());
         EXPECT_EQ(symlink(copy.c_str(), kept.c_str()), 0);
       },
       ReplaceOutcome::KEPT_CHANGED},
      // Same size and the same CRC-32, other bytes: only a byte comparison
      // tells them apart.
      {"same size and CRC, other contents", "plumless", "buckeroo", nullptr,
       ReplaceOutcome::CONTENTS_DIFFER},
      {"one byte differs at the end of a long file", std::string(200000, 'a') + "b",
       std::string(200000, 'a') + "c", nullptr, ReplaceOutcome::CONTENTS_DIFFER},
  };
  ASSERT_EQ(crc32_of("plumless"), crc32_of("buckeroo"));
  for (Replacement how : {Replacement::HARD_LINK, Replacement::CLONE}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      test::TempDir here;
      const std::string copy = here / "copy", kept = here / "kept";
      test::write_file(copy, c.copy_bytes);
      test::write_file(kept, c.kept_bytes);
      const FileIdentity seen = test::identity_at(copy), kept_seen = test::identity_at(kept);
      if (c.after_scan) c.after_scan(copy, kept);
      const std::set<std::string> names = test::names_in(here.path());
      const std::string copy_now = test::read_file(copy);
      const ino_t copy_inode = test::inode_of(copy);

      ReplaceOutcome outcome = disk.replace_with_copy(copy, seen, kept, kept_seen, how);
      EXPECT_EQ(outcome.kind, c.expected) << outcome.reason;
      EXPECT_EQ(test::names_in(here.path()), names) << "no temporary name is left";
      EXPECT_EQ(test::read_file(copy), copy_now);
      EXPECT_EQ(test::inode_of(copy), copy_inode);
    }
  }
}

TEST_F(FileReplaceTest, AParentDirectorySwappedForALinkIsNeverFollowed) {
  // a/copy is listed; after the scan a/ becomes a link to b/, which holds a
  // file of the same bytes that must not be touched.
  mkdir((dir / "a").c_str(), 0755);
  mkdir((dir / "b").c_str(), 0755);
  test::write_file(dir / "a/copy", "same");
  test::write_file(dir / "b/copy", "same");
  test::write_file(dir / "kept", "same");
  const FileIdentity seen = test::identity_at(dir / "a/copy"),
                     kept_seen = test::identity_at(dir / "kept");
  fs::rename(dir / "a", dir / "a-moved");
  EXPECT_EQ(symlink("b", (dir / "a").c_str()), 0);
  const ino_t other = test::inode_of(dir / "b/copy");

  for (Replacement how : {Replacement::HARD_LINK, Replacement::CLONE}) {
    ReplaceOutcome outcome =
        disk.replace_with_copy(dir / "a/copy", seen, dir / "kept", kept_seen, how);
    EXPECT_EQ(outcome.kind, ReplaceOutcome::CHANGED);
    EXPECT_EQ(test::inode_of(dir / "b/copy"), other);
    EXPECT_EQ(test::names_in(dir / "b"), std::set<std::string>{"copy"});
  }
}

TEST_F(FileReplaceTest, AFailureBeforeTheRenameLosesNothing) {
  const std::string kept = dir / "kept", copy = dir / "copy";
  test::write_file(kept, "bytes");
  test::write_file(copy, "bytes");
  const FileIdentity seen = test::identity_at(copy), kept_seen = test::identity_at(kept);
  const ino_t copy_inode = test::inode_of(copy);
  std::set<std::string> names_at_rename;
  disk.before_replacing_rename = [&] {
    names_at_rename = test::names_in(dir.path());
    return false;
  };

  ReplaceOutcome outcome =
      disk.replace_with_copy(copy, seen, kept, kept_seen, Replacement::HARD_LINK);
  EXPECT_EQ(outcome.kind, ReplaceOutcome::FAILED);
  EXPECT_FALSE(outcome.reason.empty());
  EXPECT_EQ(names_at_rename.size(), 3u) << "the link stood under a temporary name";
  EXPECT_EQ(test::names_in(dir.path()), (std::set<std::string>{"kept", "copy"}));
  EXPECT_EQ(test::inode_of(copy), copy_inode);
  EXPECT_EQ(test::read_file(copy), "bytes");
}

TEST_F(FileReplaceTest, FilesOnTwoFileSystemsAreNeitherLinkedNorCloned) {
  test::ScratchMount other(dir / "other");
  if (!other.mounted()) GTEST_SKIP() << "can not mount a second file system: " << other.error();
  const std::string kept = dir / "kept", copy = dir / "other/copy";
  test::write_file(kept, "bytes");
  test::write_file(copy, "bytes");
  const FileIdentity seen = test::identity_at(copy), kept_seen = test::identity_at(kept);
  for (Replacement how : {Replacement::HARD_LINK, Replacement::CLONE}) {
    EXPECT_EQ(disk.replace_with_copy(copy, seen, kept, kept_seen, how).kind,
              ReplaceOutcome::OTHER_FILE_SYSTEM);
    EXPECT_EQ(test::names_in(dir / "other"), std::set<std::string>{"copy"});
  }
}

TEST_F(FileReplaceTest, ACloneWhereTheFileSystemCanNotIsRefusedWithItsReason) {
  // A tmpfs can not clone.
  test::ScratchMount plain(dir / "plain");
  if (!plain.mounted()) GTEST_SKIP() << "can not mount a tmpfs: " << plain.error();
  const std::string kept = dir / "plain/kept", copy = dir / "plain/copy";
  test::write_file(kept, "bytes");
  test::write_file(copy, "bytes");
  ReplaceOutcome outcome = disk.replace_with_copy(copy, test::identity_at(copy), kept,
                                                  test::identity_at(kept), Replacement::CLONE);
  EXPECT_EQ(outcome.kind, ReplaceOutcome::NOT_SUPPORTED);
  EXPECT_FALSE(outcome.reason.empty());
  EXPECT_EQ(test::names_in(dir / "plain"), (std::set<std::string>{"kept", "copy"}));
  EXPECT_EQ(test::read_file(copy), "bytes");
}

TEST_F(FileReplaceTest, ACloneKeepsTheFilesModeAndTimes) {
  test::ScratchMount btrfs(test::ScratchMount::Btrfs{dir / "image"}, dir / "btrfs");
  if (!btrfs.mounted()) GTEST_SKIP() << "no file system that clones: " << btrfs.error();
  ASSERT_TRUE(test::can_clone_in(dir / "btrfs"));
  const std::string kept = dir / "btrfs/kept", copy = dir / "btrfs/copy";
  const std::string bytes(300000, 'z');
  test::write_file(kept, bytes);
  test::write_file(copy, bytes);
  chmod(copy.c_str(), 0640);
  const struct timespec times[2] = {{1000000000, 5}, {1200000000, 123456789}};
  utimensat(AT_FDCWD, copy.c_str(), times, 0);
  const FileIdentity seen = test::identity_at(copy);
  const ino_t copy_inode = test::inode_of(copy);

  ReplaceOutcome outcome =
      disk.replace_with_copy(copy, seen, kept, test::identity_at(kept), Replacement::CLONE);
  ASSERT_EQ(outcome.kind, ReplaceOutcome::DONE) << outcome.reason;
  struct stat st {};
  lstat(copy.c_str(), &st);
  EXPECT_NE(st.st_ino, copy_inode) << "a new file, sharing the kept copy's blocks";
  EXPECT_NE(st.st_ino, test::inode_of(kept));
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
  EXPECT_EQ(test::read_file(copy), bytes);
  EXPECT_EQ(outcome.now, test::identity_at(copy));
  EXPECT_EQ(test::names_in(dir / "btrfs"), (std::set<std::string>{"kept", "copy"}));
}

TEST_F(FileReplaceTest, AnEmptyFileIsNeitherLinkedNorCloned) {
  // Nothing would be freed, and empty files that have nothing to do with
  // each other would become one file.
  const std::string kept = dir / "kept", copy = dir / "copy";
  test::write_file(kept, "");
  test::write_file(copy, "");
  for (Replacement how : {Replacement::HARD_LINK, Replacement::CLONE}) {
    ReplaceOutcome outcome =
        disk.replace_with_copy(copy, test::identity_at(copy), kept, test::identity_at(kept), how);
    EXPECT_EQ(outcome.kind, ReplaceOutcome::EMPTY);
    EXPECT_NE(test::inode_of(copy), test::inode_of(kept));
    EXPECT_EQ(test::names_in(dir.path()), (std::set<std::string>{"kept", "copy"}));
  }
}

// A link gives the name the kept copy's owner, group, mode and access list:
// made only where they are the file's own already. On a tmpfs of the test's
// own, which keeps access lists.
TEST_F(FileReplaceTest, AHardLinkIsMadeOnlyWhereWhoMayReadStaysTheSame) {
  test::ScratchMount tmpfs(dir / "tmpfs");
  if (!tmpfs.mounted()) GTEST_SKIP() << "can not mount a tmpfs: " << tmpfs.error();
  const std::string nobody_rw = test::access_list(6, 4, 4, {{65534, 6}});
  const std::string other_rw = test::access_list(6, 4, 4, {{65533, 6}});
  auto acl = [](const std::string& path, const std::string& list) {
    ASSERT_TRUE(test::set_attribute(path, "system.posix_acl_access", list)) << std::strerror(errno);
  };
  struct Case {
    const char* what;
    std::function<void(const std::string& copy, const std::string& kept)> prepare;
    ReplaceOutcome::Kind expected;
  };
  const Case cases[] = {
      {"owner, group and mode alike", [](const std::string&, const std::string&) {},
       ReplaceOutcome::DONE},
      {"the copy readable by its owner only",
       [](const std::string& copy, const std::string&) { chmod(copy.c_str(), 0600); },
       ReplaceOutcome::ACCESS_DIFFERS},
      {"the kept copy writable by all",
       [](const std::string&, const std::string& kept) { chmod(kept.c_str(), 0666); },
       ReplaceOutcome::ACCESS_DIFFERS},
      {"another owner",
       [](const std::string& copy, const std::string&) {
         ASSERT_EQ(chown(copy.c_str(), 65534, static_cast<gid_t>(-1)), 0);
       },
       ReplaceOutcome::ACCESS_DIFFERS},
      {"another group",
       [](const std::string& copy, const std::string&) {
         ASSERT_EQ(chown(copy.c_str(), static_cast<uid_t>(-1), 65534), 0);
       },
       ReplaceOutcome::ACCESS_DIFFERS},
      {"an access list on the kept copy only, the modes alike",
       [&](const std::string& copy, const std::string& kept) {
         acl(kept, nobody_rw);
         chmod(copy.c_str(), 0664);
       },
       ReplaceOutcome::ACCESS_DIFFERS},
      {"an access list on the copy only, the modes alike",
       [&](const std::string& copy, const std::string& kept) {
         acl(copy, nobody_rw);
         chmod(kept.c_str(), 0664);
       },
       ReplaceOutcome::ACCESS_DIFFERS},
      {"two access lists naming other users",
       [&](const std::string& copy, const std::string& kept) {
         acl(copy, nobody_rw);
         acl(kept, other_rw);
       },
       ReplaceOutcome::ACCESS_DIFFERS},
      {"one access list on both",
       [&](const std::string& copy, const std::string& kept) {
         acl(copy, nobody_rw);
         acl(kept, nobody_rw);
       },
       ReplaceOutcome::DONE},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = dir / ("tmpfs/" + std::to_string(n++));
    mkdir(folder.c_str(), 0755);
    const std::string kept = folder + "/kept", copy = folder + "/copy";
    test::write_file(kept, "same bytes");
    test::write_file(copy, "same bytes");
    chmod(kept.c_str(), 0644);
    chmod(copy.c_str(), 0644);
    c.prepare(copy, kept);
    const FileIdentity seen = test::identity_at(copy);
    const auto attributes = test::attributes_of(copy);

    ReplaceOutcome outcome =
        disk.replace_with_copy(copy, seen, kept, test::identity_at(kept), Replacement::HARD_LINK);
    EXPECT_EQ(outcome.kind, c.expected) << outcome.reason;
    if (c.expected == ReplaceOutcome::DONE) {
      EXPECT_EQ(test::inode_of(copy), test::inode_of(kept));
    } else {
      EXPECT_EQ(test::identity_at(copy), seen) << "left as it was";
      EXPECT_EQ(test::attributes_of(copy), attributes);
    }
    EXPECT_EQ(test::names_in(folder), (std::set<std::string>{"kept", "copy"}));
  }
}

// A clone is a new file: it gets the file's own extended attributes and
// access list, exactly (nothing its directory would give a new file), never
// the kept copy's.
TEST_F(FileReplaceTest, ACloneKeepsTheFilesOwnAttributesAndAccessList) {
  test::ScratchMount btrfs(test::ScratchMount::Btrfs{dir / "image"}, dir / "btrfs");
  if (!btrfs.mounted()) GTEST_SKIP() << "no file system that clones: " << btrfs.error();
  ASSERT_TRUE(test::can_clone_in(dir / "btrfs"));
  const std::string nobody_rw = test::access_list(6, 4, 4, {{65534, 6}});
  struct Case {
    const char* what;
    std::map<std::string, std::string> copy_attributes;  // besides what the folder gives
    bool folder_gives_access = false;                    // a default access list on the folder
  };
  const Case cases[] = {
      {"a note and an access list",
       {{"user.note", "keep me"}, {"system.posix_acl_access", nobody_rw}}},
      {"notes only", {{"user.note", "one"}, {"user.other", std::string("t\0wo", 4)}}},
      {"nothing, in a folder that gives new files an access list", {}, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = dir / ("btrfs/" + std::to_string(n++));
    mkdir(folder.c_str(), 0755);
    const std::string kept = folder + "/kept", copy = folder + "/copy";
    const std::string bytes(200000, 'q');
    test::write_file(kept, bytes);
    test::write_file(copy, bytes);
    ASSERT_TRUE(test::set_attribute(kept, "user.kept", "the kept copy's"));
    for (const auto& [name, value] : c.copy_attributes) {
      ASSERT_TRUE(test::set_attribute(copy, name, value)) << name << ": " << std::strerror(errno);
    }
    if (c.folder_gives_access) {
      ASSERT_TRUE(test::set_attribute(folder, "system.posix_acl_default", nobody_rw));
    }
    const auto attributes = test::attributes_of(copy);
    ASSERT_EQ(attributes, c.copy_attributes);
    const FileIdentity seen = test::identity_at(copy);
    struct stat before {};
    lstat(copy.c_str(), &before);

    ReplaceOutcome outcome =
        disk.replace_with_copy(copy, seen, kept, test::identity_at(kept), Replacement::CLONE);
    ASSERT_EQ(outcome.kind, ReplaceOutcome::DONE) << outcome.reason;
    EXPECT_NE(test::inode_of(copy), test::inode_of(kept));
    EXPECT_EQ(test::attributes_of(copy), attributes);
    struct stat st {};
    lstat(copy.c_str(), &st);
    EXPECT_EQ(st.st_mode, before.st_mode) << "the mode as it was";
    EXPECT_EQ(test::read_file(copy), bytes);
  }
}

// A clone made before left the file sharing every block with the kept copy:
// cloning it again frees nothing and is not done. A file sharing only some
// of its blocks (one written to since) is cloned again.
TEST_F(FileReplaceTest, AFileSharingAllItsBlocksWithTheKeptCopyIsNotClonedAgain) {
  test::ScratchMount btrfs(test::ScratchMount::Btrfs{dir / "image"}, dir / "btrfs");
  if (!btrfs.mounted()) GTEST_SKIP() << "no file system that clones: " << btrfs.error();
  ASSERT_TRUE(test::can_clone_in(dir / "btrfs"));
  const std::string kept = dir / "btrfs/kept", copy = dir / "btrfs/copy";
  const std::string bytes(1 << 20, 'k');
  test::write_file(kept, bytes);
  test::write_file(copy, bytes);
  auto clone = [&] {
    return disk.replace_with_copy(copy, test::identity_at(copy), kept, test::identity_at(kept),
                                  Replacement::CLONE);
  };
  EXPECT_FALSE(disk.share_blocks(copy, kept)) << "two files written apart share nothing";
  ASSERT_EQ(clone().kind, ReplaceOutcome::DONE);
  EXPECT_TRUE(disk.share_blocks(copy, kept));
  EXPECT_TRUE(disk.share_blocks(kept, copy));

  const ino_t inode = test::inode_of(copy);
  const FileIdentity seen = test::identity_at(copy);
  ReplaceOutcome again = clone();
  EXPECT_EQ(again.kind, ReplaceOutcome::ALREADY_SHARED) << again.reason;
  EXPECT_EQ(test::inode_of(copy), inode) << "left as it was";
  EXPECT_EQ(test::identity_at(copy), seen);
  EXPECT_EQ(test::names_in(dir / "btrfs"), (std::set<std::string>{"kept", "copy"}));
  EXPECT_EQ(
      disk.replace_with_copy(copy, seen, kept, test::identity_at(kept), Replacement::HARD_LINK)
          .kind,
      ReplaceOutcome::DONE)
      << "a link still frees the file's own inode";
  ASSERT_EQ(test::inode_of(copy), test::inode_of(kept));

  // A copy of its own again, cloned, then one block in its middle written
  // back with the same bytes (and put on the device): that block is its own.
  unlink(copy.c_str());
  test::write_file(copy, bytes);
  ASSERT_EQ(clone().kind, ReplaceOutcome::DONE);
  {
    const int fd = open(copy.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, bytes.data(), 4096, 1 << 19), 4096);
    ASSERT_EQ(fsync(fd), 0);
    close(fd);
  }
  EXPECT_FALSE(disk.share_blocks(copy, kept));
  EXPECT_EQ(clone().kind, ReplaceOutcome::DONE);
  EXPECT_TRUE(disk.share_blocks(copy, kept));
}

TEST_F(FileReplaceTest, WhereNothingCanBeSharedNoFileSharesBlocks) {
  // The temporary folder's own file system, and a tmpfs: never asked.
  test::ScratchMount plain(dir / "plain");
  for (const std::string& where : {dir.path(), dir / "plain"}) {
    if (where == dir / "plain" && !plain.mounted()) continue;
    SCOPED_TRACE(where);
    const std::string a = where + "/a", b = where + "/b";
    test::write_file(a, "same");
    ASSERT_EQ(link(a.c_str(), b.c_str()), 0);
    EXPECT_FALSE(disk.share_blocks(a, b)) << "even one file under two names";
  }
}

}  // namespace
