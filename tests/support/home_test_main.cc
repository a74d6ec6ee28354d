// The main of the tests that act on files without a display (the disk, the
// list model and its commands: a list store needs none). HOME and the data directory point into a
// temporary directory of their own, so that the desktop trash the tests use is theirs and lies on
// the same file system as their files.
#include <glib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  std::string home = (std::filesystem::temp_directory_path() / "pmtest-home-XXXXXX").string();
  if (mkdtemp(home.data()) == nullptr) return 1;
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
  unsetenv("DISPLAY");  // nothing here may need one
  int result = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  return result;
}
