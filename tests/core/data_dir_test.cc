// The data directory and the helper scripts: what cannot be made is told.
#include "core/data_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

// HOME for the test's time, and back to the directory it began in.
class DataDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* home = std::getenv("HOME");
    if (home != nullptr) old_home_ = home;
    char here[PATH_MAX];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    start_ = here;
    ASSERT_EQ(mkdir((dir / "start").c_str(), 0755), 0);
    ASSERT_EQ(chdir((dir / "start").c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(start_.c_str()), 0);
    if (old_home_) {
      setenv("HOME", old_home_->c_str(), 1);
    } else {
      unsetenv("HOME");
    }
  }
  std::string cwd() const {
    char here[PATH_MAX];
    return getcwd(here, sizeof here) != nullptr ? here : "";
  }

  test::TempDir dir;
  std::optional<std::string> old_home_;
  std::string start_;
};

TEST_F(DataDirTest, AHomeThatCannotBeUsedIsToldAndTheStartDirectoryServes) {
  test::write_file(dir / "a-file", "x");
  struct Case {
    const char* what;
    std::string home;  // empty: unset
    std::string failure;
  };
  const Case cases[] = {
      {"HOME unset", "", "HOME is not set"},
      {"HOME missing", dir / "missing",
       "cannot enter " + (dir / "missing") + ": No such file or directory"},
      {"HOME a file", dir / "a-file", "cannot enter " + (dir / "a-file") + ": Not a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.home.empty()) {
      unsetenv("HOME");
    } else {
      setenv("HOME", c.home.c_str(), 1);
    }
    const DataDirectory data = enter_data_directory();
    EXPECT_EQ(data.failure, c.failure);
    EXPECT_EQ(data.path, dir / "start");
    EXPECT_EQ(cwd(), dir / "start");
  }

  // A home where .PeltoMarvish is a file: the home holds no data directory.
  ASSERT_EQ(mkdir((dir / "home").c_str(), 0755), 0);
  test::write_file(dir / "home/.PeltoMarvish", "x");
  setenv("HOME", (dir / "home").c_str(), 1);
  DataDirectory data = enter_data_directory();
  EXPECT_EQ(data.failure, "cannot enter " + (dir / "home") + "/.PeltoMarvish: Not a directory");
  EXPECT_EQ(data.path, dir / "start");

  ASSERT_EQ(unlink((dir / "home/.PeltoMarvish").c_str()), 0);
  data = enter_data_directory();
  EXPECT_EQ(data.failure, "");
  EXPECT_EQ(data.path, dir / "home/.PeltoMarvish");
}

TEST_F(DataDirTest, AHelperThatCannotBeWrittenIsToldAndTheOthersAreWritten) {
  EXPECT_TRUE(write_missing_helper_scripts().empty());
  for (const char* name : {"pmuser", "pmview", "pmstop", "pmopen"}) {
    EXPECT_EQ(test::file_mode(dir / (std::string("start/") + name)), 0744u) << name;
  }
  // A directory that is gone takes no file, whoever writes.
  ASSERT_EQ(mkdir((dir / "gone").c_str(), 0755), 0);
  ASSERT_EQ(chdir((dir / "gone").c_str()), 0);
  ASSERT_EQ(rmdir((dir / "gone").c_str()), 0);
  EXPECT_EQ(write_missing_helper_scripts(),
            (std::vector<std::string>{
                "pmuser: No such file or directory", "pmview: No such file or directory",
                "pmstop: No such file or directory", "pmopen: No such file or directory"}));
}

}  // namespace
