// Which names are one file: one device and inode, or one file seen through
// two mounts (on two devices: one inode number, size and modification time
// to the nanosecond); and the walk of a group that names each row's first
// earlier name of its file.
#include "core/hard_links.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "support/mounts.h"
#include "support/temp_dir.h"

namespace {

FileIdentity regular(std::uint64_t device, std::uint64_t inode) {
  FileIdentity id;
  id.device = device;
  id.inode = inode;
  id.size = 4096;
  id.mtime_sec = 1700000000;
  id.mtime_nsec = 123456789;
  id.type = S_IFREG;
  id.ctime_sec = 1700000001;
  id.ctime_nsec = 5;
  return id;
}

TEST(OneFile, TellsOneFileByDeviceAndInodeOrThroughTwoMounts) {
  struct Case {
    const char* what;
    std::function<void(FileIdentity& b)> change;  // b starts as a's very identity
    bool one;
  };
  const Case cases[] = {
      {"one identity", [](FileIdentity&) {}, true},
      {"another name on its device (the change time moved)",
       [](FileIdentity& b) { b.ctime_sec += 10; }, true},
      {"another inode on its device", [](FileIdentity& b) { b.inode += 1; }, false},
      {"through another mount", [](FileIdentity& b) { b.device = 99; }, true},
      {"through another mount, its change time its own",
       [](FileIdentity& b) {
         b.device = 99;
         b.ctime_nsec = 6;
       },
       true},
      {"another device, another inode", [](FileIdentity& b) { b.device = 99, b.inode += 1; },
       false},
      {"another device, another size", [](FileIdentity& b) { b.device = 99, b.size += 1; }, false},
      {"another device, another second", [](FileIdentity& b) { b.device = 99, b.mtime_sec += 1; },
       false},
      {"another device, another nanosecond",
       [](FileIdentity& b) { b.device = 99, b.mtime_nsec += 1; }, false},
      {"another device, another type", [](FileIdentity& b) { b.device = 99, b.type = S_IFLNK; },
       false},
      {"not known", [](FileIdentity& b) { b.type = 0; }, false},
      {"only a size known", [](FileIdentity& b) { b.type = FileIdentity::SIZE_ONLY; }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const FileIdentity a = regular(7, 42);
    FileIdentity b = a;
    c.change(b);
    EXPECT_EQ(one_file(a, b), c.one);
    EXPECT_EQ(one_file(b, a), c.one) << "either way round";
  }
}

TEST(HardLinkTracker, NamesTheFirstNameOfEachFileWithinAGroup) {
  HardLinkTracker tracker;
  FileIdentity merged = regular(99, 42);  // /lower/a seen through an overlay
  FileIdentity twin = regular(98, 42);    // another file: its time differs
  twin.mtime_nsec = 0;
  EXPECT_EQ(tracker.earlier_name(regular(7, 42), "/lower/a"), nullptr);
  EXPECT_EQ(tracker.earlier_name(twin, "/elsewhere/a"), nullptr);
  const std::string* first = tracker.earlier_name(merged, "/merged/a");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(*first, "/lower/a");
  // Many files of one inode number: each name handed out stays valid.
  for (std::uint64_t d = 200; d < 300; ++d) {
    FileIdentity other = regular(d, 42);
    other.size = static_cast<std::int64_t>(d);
    EXPECT_EQ(tracker.earlier_name(other, "/d" + std::to_string(d)), nullptr);
  }
  EXPECT_EQ(*first, "/lower/a");
  const std::string* again = tracker.earlier_name(regular(7, 42), "/lower/b");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(*again, "/lower/a");

  tracker.new_group();
  EXPECT_EQ(tracker.earlier_name(merged, "/merged/a"), nullptr) << "a new group starts afresh";
}

// A clone shares all its blocks with the file it was cloned from: listed
// after it in a group, it is told so; a copy written apart is not, nor is
// anything where blocks can not be shared.
TEST(HardLinkTracker, NamesTheFirstFileWhoseBlocksAFileAllShares) {
  test::TempDir dir;
  auto identity = [](const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return identity_of(st);
  };
  const std::string bytes(200000, 'b');
  {
    // The temporary folder's file system: ext4 or tmpfs here, nothing shared.
    const std::string a = dir / "a", b = dir / "b";
    test::write_file(a, bytes);
    ASSERT_EQ(link(a.c_str(), b.c_str()), 0);
    HardLinkTracker tracker;
    EXPECT_EQ(tracker.earlier_sharer(identity(a), a), nullptr);
    EXPECT_EQ(tracker.earlier_sharer(identity(b), b), nullptr);
  }
  test::ScratchMount btrfs(test::ScratchMount::Btrfs{dir / "image"}, dir / "btrfs");
  if (!btrfs.mounted()) GTEST_SKIP() << "no file system that clones: " << btrfs.error();
  const std::string a = dir / "btrfs/a", clone = dir / "btrfs/clone", copy = dir / "btrfs/copy";
  test::write_file(a, bytes);
  test::write_file(copy, bytes);
  test::write_file(clone, "");
  {
    const int from = open(a.c_str(), O_RDONLY | O_CLOEXEC);
    const int to = open(clone.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(ioctl(to, FICLONE, from), 0) << std::strerror(errno);
    close(from);
    close(to);
  }
  HardLinkTracker tracker;
  EXPECT_EQ(tracker.earlier_name(identity(copy), copy), nullptr);
  EXPECT_EQ(tracker.earlier_sharer(identity(copy), copy), nullptr) << "written apart";
  EXPECT_EQ(tracker.earlier_sharer(identity(a), a), nullptr) << "the first of the two";
  const std::string* sharer = tracker.earlier_sharer(identity(clone), clone);
  ASSERT_NE(sharer, nullptr);
  EXPECT_EQ(*sharer, a);
  FileIdentity changed = identity(clone);
  changed.mtime_nsec += 1;
  EXPECT_EQ(tracker.earlier_sharer(changed, clone), nullptr) << "no longer the file listed";

  tracker.new_group();
  EXPECT_EQ(tracker.earlier_sharer(identity(clone), clone), nullptr) << "a new group";
}

}  // namespace
