// The folders a clean-up left empty: only those are removed, walking upward
// to (not including) the scanned top folder.
#include "disk/emptied_folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "support/temp_dir.h"

namespace {

bool exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> paths_of(const std::vector<RemovedFolder>& removed) {
  std::vector<std::string> out;
  for (const auto& r : removed) out.push_back(r.path);
  return out;
}

// Removes `file` as a clean-up would and tells the folders about it.
void clean_up(EmptiedFolders& folders, const std::string& file) {
  ASSERT_EQ(unlink(file.c_str()), 0) << file;
  folders.note_removed(file);
}

TEST(EmptiedFolders, RemovesOnlyWhatTheCleanUpEmptied) {
  test::TempDir dir;
  const std::string top = dir / "top";
  for (const char* d : {"top", "top/emptied", "top/empty_before", "top/still", "top/a", "top/a/b",
                        "top/a/b/c", "top/held", "top/held/sub"})
    ASSERT_EQ(mkdir((dir / d).c_str(), 0755), 0);
  chmod((dir / "top/a/b").c_str(), 0750);
  test::write_file(dir / "top/emptied/f", "x");
  test::write_file(dir / "top/still/f", "x");
  test::write_file(dir / "top/still/g", "x");
  test::write_file(dir / "top/a/b/c/f", "x");
  test::write_file(dir / "top/held/sub/f", "x");
  test::write_file(dir / "top/held/other", "x");
  test::write_file(dir / "top/direct", "x");

  EmptiedFolders folders({top + "/"});
  clean_up(folders, dir / "top/emptied/f");
  clean_up(folders, dir / "top/still/f");
  clean_up(folders, dir / "top/a/b/c/f");
  clean_up(folders, dir / "top/held/sub/f");
  clean_up(folders, dir / "top/direct");  // its folder is the top folder
  const auto removed = folders.remove_emptied();

  std::vector<std::string> got = paths_of(removed);
  // Children before their parents.
  const auto at = [&](const std::string& p) {
    return std::find(got.begin(), got.end(), p) - got.begin();
  };
  EXPECT_LT(at(dir / "top/a/b/c"), at(dir / "top/a/b"));
  EXPECT_LT(at(dir / "top/a/b"), at(dir / "top/a"));
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{dir / "top/a", dir / "top/a/b", dir / "top/a/b/c",
                                           dir / "top/emptied", dir / "top/held/sub"}));
  EXPECT_TRUE(exists(top));                       // the top folder stays, though empty now
  EXPECT_TRUE(exists(dir / "top/empty_before"));  // nothing removed from it
  EXPECT_TRUE(exists(dir / "top/still/g"));       // still holds a file
  EXPECT_TRUE(exists(dir / "top/held/other"));    // the parent holds something else
  EXPECT_FALSE(exists(dir / "top/a"));            // emptied by its emptied child
  for (const auto& r : removed) {
    if (r.path == dir / "top/a/b") {
      EXPECT_EQ(r.mode, 0750u);
    }
  }
}

TEST(EmptiedFolders, TopFolderAndOutsideNeverRemoved) {
  test::TempDir dir;
  ASSERT_EQ(mkdir((dir / "top").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "outside").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "topper").c_str(), 0755), 0);  // shares the top folder's prefix
  test::write_file(dir / "top/f", "x");
  test::write_file(dir / "outside/f", "x");
  test::write_file(dir / "topper/f", "x");
  EmptiedFolders folders({dir / "top"});
  clean_up(folders, dir / "top/f");
  clean_up(folders, dir / "outside/f");
  clean_up(folders, dir / "topper/f");
  EXPECT_TRUE(folders.remove_emptied().empty());
  EXPECT_TRUE(exists(dir / "top"));
  EXPECT_TRUE(exists(dir / "outside"));
  EXPECT_TRUE(exists(dir / "topper"));
}

TEST(EmptiedFolders, FolderSwappedForALinkIsNotFollowed) {
  test::TempDir dir;
  ASSERT_EQ(mkdir((dir / "top").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "top/d").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "elsewhere").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "elsewhere/empty").c_str(), 0755), 0);
  test::write_file(dir / "top/d/f", "x");
  EmptiedFolders folders({dir / "top"});
  clean_up(folders, dir / "top/d/f");
  // The emptied folder is replaced by a link to an empty folder elsewhere.
  ASSERT_EQ(rmdir((dir / "top/d").c_str()), 0);
  ASSERT_EQ(symlink((dir / "elsewhere/empty").c_str(), (dir / "top/d").c_str()), 0);
  EXPECT_TRUE(folders.remove_emptied().empty());
  struct stat st {};
  ASSERT_EQ(lstat((dir / "top/d").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_TRUE(exists(dir / "elsewhere/empty"));
}

TEST(EmptiedFolders, ParentSwappedForALinkIsNotFollowed) {
  test::TempDir dir;
  ASSERT_EQ(mkdir((dir / "top").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "top/p").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "top/p/d").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "elsewhere").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "elsewhere/d").c_str(), 0755), 0);
  test::write_file(dir / "top/p/d/f", "x");
  EmptiedFolders folders({dir / "top"});
  clean_up(folders, dir / "top/p/d/f");
  ASSERT_EQ(rmdir((dir / "top/p/d").c_str()), 0);
  ASSERT_EQ(rmdir((dir / "top/p").c_str()), 0);
  ASSERT_EQ(symlink((dir / "elsewhere").c_str(), (dir / "top/p").c_str()), 0);
  EXPECT_TRUE(folders.remove_emptied().empty());
  EXPECT_TRUE(exists(dir / "elsewhere/d"));
}

// A folder higher up swapped for a link to a tree of the same shape: the
// empty folder at the link's end is not removed.
TEST(EmptiedFolders, AnyFolderOnTheWaySwappedForALinkIsNotFollowed) {
  test::TempDir dir;
  for (const char* d : {"top", "top/x", "top/x/p", "top/x/p/d", "elsewhere", "elsewhere/x",
                        "elsewhere/x/p", "elsewhere/x/p/d"})
    ASSERT_EQ(mkdir((dir / d).c_str(), 0755), 0);
  test::write_file(dir / "top/x/p/d/f", "x");
  test::write_file(dir / "elsewhere/x/keep", "x");
  EmptiedFolders folders({dir / "top"});
  clean_up(folders, dir / "top/x/p/d/f");
  std::filesystem::remove_all(dir / "top/x");
  ASSERT_EQ(symlink((dir / "elsewhere/x").c_str(), (dir / "top/x").c_str()), 0);
  EXPECT_TRUE(folders.remove_emptied().empty());
  EXPECT_TRUE(exists(dir / "elsewhere/x/p/d"));
}

TEST(EmptiedFolders, RecreatedWithTheirModesParentsFirst) {
  test::TempDir dir;
  ASSERT_EQ(mkdir((dir / "top").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "top/a").c_str(), 0711), 0);
  ASSERT_EQ(mkdir((dir / "top/a/b").c_str(), 0750), 0);
  chmod((dir / "top/a").c_str(), 0711);
  chmod((dir / "top/a/b").c_str(), 0750);
  test::write_file(dir / "top/a/b/f", "x");
  EmptiedFolders folders({dir / "top"});
  clean_up(folders, dir / "top/a/b/f");
  const auto removed = folders.remove_emptied();
  ASSERT_EQ(removed.size(), 2u);
  ASSERT_FALSE(exists(dir / "top/a"));
  recreate_folders(removed);
  EXPECT_EQ(test::file_mode(dir / "top/a") & 07777, 0711u);
  EXPECT_EQ(test::file_mode(dir / "top/a/b") & 07777, 0750u);
}

}  // namespace
