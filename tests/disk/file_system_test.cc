// The disk as the delete commands see it: a file is acted on only while it
// is the file the scan saw, reached without any symbolic link.
#include "disk/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/disk_facts.h"
#include "support/temp_dir.h"

namespace {

using test::identity_at;

// Both ways of opening the parent: openat2, and the walk a kernel without
// it takes.
class ParentDirectory : public ::testing::TestWithParam<bool> {};

TEST_P(ParentDirectory, OpensOnlyWithoutSymbolicLinks) {
  const bool use_openat2 = GetParam();
  test::TempDir dir;
  mkdir((dir / "a").c_str(), 0755);
  mkdir((dir / "a/b").c_str(), 0755);
  test::write_file(dir / "a/b/f", "x");
  EXPECT_EQ(symlink("a", (dir / "link").c_str()), 0);
  EXPECT_EQ(symlink("b", (dir / "a/blink").c_str()), 0);

  struct Case {
    std::string path;
    bool opens;
    std::string name;
  };
  const Case cases[] = {
      {dir / "a/b/f", true, "f"},
      {dir / "a/b/missing", true, "missing"},  // the directory is there
      {dir / "link/b/f", false, ""},           // a link on the way
      {dir / "a/blink/f", false, ""},          // a link as the last directory
      {dir / "a/b/f/g", false, ""},            // a file is no directory
      {dir / "nowhere/f", false, ""},
      {"relative/f", false, ""},
      {dir / "a/b/", false, ""},
      {"/f", true, "f"},
  };
  for (const Case& c : cases) {
    std::string name;
    UniqueFd fd = open_parent_directory(c.path, name, use_openat2);
    EXPECT_EQ(fd.valid(), c.opens) << c.path;
    if (c.opens) {
      EXPECT_EQ(name, c.name);
      struct stat st;
      EXPECT_EQ(fstat(fd.get(), &st), 0);
      EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothWays, ParentDirectory, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "openat2" : "walk"; });

TEST(DiskFileSystem, RemovesOnlyTheScannedFile) {
  test::TempDir dir;
  DiskFileSystem disk;
  std::string f = dir / "f";
  test::write_file(f, "abc");
  FileIdentity seen = identity_at(f);
  EXPECT_TRUE(disk.unchanged(f, seen));
  EXPECT_FALSE(disk.unchanged(f, FileIdentity{})) << "an unknown identity never matches";

  FileIdentity other = seen;
  other.mtime_nsec += 1;
  EXPECT_FALSE(disk.unchanged(f, other));
  EXPECT_EQ(disk.remove(f, other).kind, FileOutcome::CHANGED);
  EXPECT_EQ(access(f.c_str(), F_OK), 0);

  EXPECT_EQ(disk.remove(f, seen).kind, FileOutcome::DONE);
  EXPECT_NE(access(f.c_str(), F_OK), 0);
  EXPECT_EQ(disk.remove(f, seen).kind, FileOutcome::CHANGED) << "gone";
  EXPECT_FALSE(disk.unchanged(f, seen));
}

TEST(DiskFileSystem, ARemovalTheSystemRefusesIsAFailureWithItsReason) {
  test::TempDir dir;
  DiskFileSystem disk;
  // A directory where a file was scanned: unlink refuses it.
  std::string d = dir / "d";
  mkdir(d.c_str(), 0755);
  FileIdentity seen = identity_at(d);
  FileOutcome outcome = disk.remove(d, seen);
  EXPECT_EQ(outcome.kind, FileOutcome::FAILED);
  EXPECT_FALSE(outcome.reason.empty());
  struct stat st;
  EXPECT_EQ(stat(d.c_str(), &st), 0);
}

}  // namespace
