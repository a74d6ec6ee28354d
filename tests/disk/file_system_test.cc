// The disk as the delete commands see it: a file is acted on only while it
// is the file the scan saw, reached without any symbolic link.
#include "disk/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/disk_facts.h"
#include "support/temp_dir.h"

namespace {

// Removed alone, as the last copy of its group after its own question:
// nothing to compare it with.
const StayingCopies AS_LAST_COPY{{}, true};

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
  EXPECT_EQ(disk.remove(f, other, AS_LAST_COPY).kind, FileOutcome::CHANGED);
  EXPECT_EQ(access(f.c_str(), F_OK), 0);

  EXPECT_EQ(disk.remove(f, seen, AS_LAST_COPY).kind, FileOutcome::DONE);
  EXPECT_NE(access(f.c_str(), F_OK), 0);
  EXPECT_EQ(disk.remove(f, seen, AS_LAST_COPY).kind, FileOutcome::CHANGED) << "gone";
  EXPECT_FALSE(disk.unchanged(f, seen));
}

TEST(DiskFileSystem, ARemovalTheSystemRefusesIsAFailureWithItsReason) {
  test::TempDir dir;
  DiskFileSystem disk;
  // A directory where a file was scanned: unlink refuses it.
  std::string d = dir / "d";
  mkdir(d.c_str(), 0755);
  FileIdentity seen = identity_at(d);
  FileOutcome outcome = disk.remove(d, seen, AS_LAST_COPY);
  EXPECT_EQ(outcome.kind, FileOutcome::FAILED);
  EXPECT_FALSE(outcome.reason.empty());
  struct stat st;
  EXPECT_EQ(stat(d.c_str(), &st), 0);
}

}  // namespace

namespace {

// A file goes as a copy only when its bytes, compared at that moment, are
// those of a copy that stays. Each case's copies are on disk, each with the
// identity the scan would have taken of it now: the identities alone never
// tell the bytes apart.
TEST(DiskFileSystem, AFileGoesAsACopyOnlyWhenItsBytesAreThoseOfACopyThatStays) {
  enum Way { REMOVE, TRASH, CHECK };
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, const char*>> copies;  // name, bytes
    bool last_copy;
    FileOutcome::Kind expected;
    const char* kept;  // the copy named by the outcome
  };
  const Case cases[] = {
      {"an equal copy", {{"c1", "same bytes"}}, false, FileOutcome::DONE, "c1"},
      {"one byte differs", {{"c1", "same bytez"}}, false, FileOutcome::CONTENTS_DIFFER, "c1"},
      {"a longer copy", {{"c1", "same bytes!"}}, false, FileOutcome::CONTENTS_DIFFER, "c1"},
      {"one differs, the next is equal",
       {{"c1", "Same bytes"}, {"c2", "same bytes"}},
       false,
       FileOutcome::DONE,
       "c2"},
      {"every copy differs",
       {{"c1", "Same bytes"}, {"c2", "same Bytes"}},
       false,
       FileOutcome::CONTENTS_DIFFER,
       "c1"},
      {"no copy and not the last", {}, false, FileOutcome::KEPT_CHANGED, ""},
      {"the last copy, after its own question", {}, true, FileOutcome::DONE, ""},
  };
  for (Way way : {REMOVE, TRASH, CHECK}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (way == REMOVE  ? " (remove)"
                                          : way == TRASH ? " (trash)"
                                                         : " (check)"));
      test::TempDir dir;
      DiskFileSystem disk;
      const std::string f = dir / "f";
      test::write_file(f, "same bytes");
      StayingCopies staying;
      staying.last_copy = c.last_copy;
      for (const auto& [name, bytes] : c.copies) {
        test::write_file(dir / name, bytes);
        staying.copies.push_back({dir / name, identity_at(dir / name)});
      }
      const FileIdentity seen = identity_at(f);
      FileOutcome outcome = way == REMOVE  ? disk.remove(f, seen, staying)
                            : way == TRASH ? disk.move_to_trash(f, seen, staying)
                                           : disk.check_removal(f, seen, staying);
      EXPECT_EQ(outcome.kind, c.expected);
      EXPECT_EQ(outcome.kept, c.kept[0] != '\0' ? dir / c.kept : "");
      const bool gone = way != CHECK && c.expected == FileOutcome::DONE;
      EXPECT_EQ(test::exists(f), !gone);
      if (!gone) {
        EXPECT_EQ(test::read_file(f), "same bytes");
      }
      EXPECT_EQ(outcome.trashed != nullptr, gone && way == TRASH);
      for (const auto& [name, bytes] : c.copies) EXPECT_EQ(test::read_file(dir / name), bytes);
    }
  }
}

// A copy counts only while it is the file the scan saw and another file
// than the one to go.
TEST(DiskFileSystem, ACopyChangedSinceTheScanOrAnotherNameOfTheFileIsNoCopy) {
  test::TempDir dir;
  DiskFileSystem disk;
  const std::string f = dir / "f";
  test::write_file(f, "abc");
  test::write_file(dir / "changed", "abc");
  const FileIdentity changed_seen = identity_at(dir / "changed");
  test::write_file(dir / "changed", "abcd");
  ASSERT_EQ(link(f.c_str(), (dir / "link").c_str()), 0);
  const FileIdentity seen = identity_at(f);
  const StayingCopies staying{
      {{dir / "changed", changed_seen}, {dir / "link", seen}, {dir / "missing", seen}}, false};
  EXPECT_EQ(disk.remove(f, seen, staying).kind, FileOutcome::KEPT_CHANGED);
  EXPECT_EQ(disk.move_to_trash(f, seen, staying).kind, FileOutcome::KEPT_CHANGED);
  EXPECT_TRUE(test::exists(f));
}

// The bytes are read when the file goes, not when it was checked: a change
// that moves no time stamp (a write through a shared memory map into a page
// already dirty) between the look and the comparison is caught.
TEST(DiskFileSystem, BytesChangedAfterTheLookAreCaught) {
  for (bool trash : {false, true}) {
    SCOPED_TRACE(trash ? "trash" : "remove");
    test::TempDir dir;
    DiskFileSystem disk;
    const std::string f = dir / "f", copy = dir / "copy";
    test::write_file(f, "abc");
    test::write_file(copy, "abc");
    const FileIdentity seen = identity_at(f);
    StayingCopies staying{{{copy, identity_at(copy)}}, false};
    disk.before_comparing = [&] {
      // The test's stand-in for the invisible write: the bytes change, and
      // the identity the scan saw is the one the copy shows now.
      test::write_file(copy, "abd");
      staying.copies[0].seen = identity_at(copy);
    };
    FileOutcome outcome =
        trash ? disk.move_to_trash(f, seen, staying) : disk.remove(f, seen, staying);
    EXPECT_EQ(outcome.kind, FileOutcome::CONTENTS_DIFFER);
    EXPECT_EQ(outcome.kept, copy);
    EXPECT_EQ(test::read_file(f), "abc");
  }
}

// Taking one name of a file away moves its change time: the outcome gives
// the file as its other names see it now.
TEST(DiskFileSystem, ARemovalSaysHowTheOtherNamesSeeTheFileNow) {
  for (bool trash : {false, true}) {
    SCOPED_TRACE(trash ? "trash" : "remove");
    test::TempDir dir;
    DiskFileSystem disk;
    const std::string a = dir / "a", b = dir / "b", copy = dir / "copy";
    test::write_file(a, "abc");
    test::write_file(copy, "abc");
    ASSERT_EQ(link(a.c_str(), b.c_str()), 0);
    const FileIdentity seen = identity_at(b);
    const StayingCopies staying{{{copy, identity_at(copy)}}, false};
    FileOutcome outcome =
        trash ? disk.move_to_trash(b, seen, staying) : disk.remove(b, seen, staying);
    ASSERT_EQ(outcome.kind, FileOutcome::DONE);
    EXPECT_EQ(outcome.kept, copy);
    EXPECT_EQ(outcome.remaining, identity_at(a));
    EXPECT_TRUE(disk.unchanged(a, outcome.remaining));
  }
}

}  // namespace
