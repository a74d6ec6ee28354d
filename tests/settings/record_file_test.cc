// Writing the record files safely: never through a link planted at the
// temporary name, through the user's own link to the real file, keeping a
// replaced file's mode, leaving alone what the user may not write, and
// never waiting on a FIFO.
#include "settings/record_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "settings/settings_file.h"
#include "settings/state_file.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace {

class RecordFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A FIFO that someone opened would block forever: end the test instead.
    alarm(20);
    chmod(dir.path().c_str(), 0777);  // "nobody" works in here too
    default_settings(*record);
  }
  void TearDown() override { alarm(0); }
  test::TempDir dir;
  test::InDirectory in{dir.path()};
  std::unique_ptr<SettingsRecord> record = std::make_unique<SettingsRecord>();
};

TEST_F(RecordFileTest, ALinkPlantedAtTheTemporaryNameIsNeverWrittenThrough) {
  test::write_file(dir / "victim", "keep me");
  ASSERT_EQ(symlink((dir / "victim").c_str(), "Settings.new"), 0);
  ASSERT_TRUE(save_settings(*record));
  EXPECT_EQ(test::read_file(dir / "victim"), "keep me");
  EXPECT_EQ(test::read_file("Settings").size(), sizeof(SettingsRecord));
  struct stat st;
  EXPECT_NE(lstat("Settings.new", &st), 0) << "nothing left behind";
}

TEST_F(RecordFileTest, TheUsersOwnLinkKeepsPointingAtTheRealFile) {
  mkdir((dir / "dotfiles").c_str(), 0755);
  test::write_file(dir / "dotfiles/Settings", "old");
  ASSERT_EQ(symlink("dotfiles/Settings", "Settings"), 0);
  ASSERT_TRUE(save_settings(*record));
  struct stat st;
  ASSERT_EQ(lstat("Settings", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays";
  EXPECT_EQ(test::read_file(dir / "dotfiles/Settings").size(), sizeof(SettingsRecord));
}

TEST_F(RecordFileTest, AReplacedFileKeepsItsMode) {
  save_state(g_state);
  ASSERT_EQ(chmod("State", 0600), 0);
  save_state(g_state);
  EXPECT_EQ(test::file_mode(dir / "State"), 0600u);
  ASSERT_EQ(chmod("State", 0640), 0);
  save_state(g_state);
  EXPECT_EQ(test::file_mode(dir / "State"), 0640u);
}

// Sets the umask for one test and gives the old one back.
class UmaskFor {
 public:
  explicit UmaskFor(mode_t mask) : old_(umask(mask)) {}
  ~UmaskFor() { umask(old_); }
  UmaskFor(const UmaskFor&) = delete;
  UmaskFor& operator=(const UmaskFor&) = delete;

 private:
  mode_t old_;
};

TEST_F(RecordFileTest, ANewFileGetsTheUmaskAndAReplacedOneKeepsItsModeWhateverTheUmask) {
  struct Save {
    const char* name;
    std::function<bool()> save;
  };
  const Save saves[] = {
      {"Settings", [&] { return save_settings(*record); }},
      {"State",
       [] {
         save_state(g_state);
         return true;
       }},
      {"Record", [&] { return write_record_file("Record", "abc", 3); }},
  };
  for (mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
    UmaskFor umask_for(mask);
    for (const Save& s : saves) {
      SCOPED_TRACE(std::string(s.name) + " umask 0" + std::to_string(mask / 8) +
                   std::to_string(mask % 8));
      unlink(s.name);
      ASSERT_TRUE(s.save());
      EXPECT_EQ(test::file_mode(dir / s.name), 0666u & ~mask) << "a new file";
      for (mode_t kept : {mode_t{0600}, mode_t{0640}, mode_t{0664}, mode_t{0666}}) {
        ASSERT_EQ(chmod(s.name, kept), 0);
        ASSERT_TRUE(s.save());
        EXPECT_EQ(test::file_mode(dir / s.name), kept) << "a replaced file";
      }
    }
  }
}

TEST_F(RecordFileTest, FilesTheUserMayNotWriteOrReadAreLeftAlone) {
  // A read-only file of another version, and a good file the user may not read.
  test::write_file(dir / "Settings", "*Pelto*Marvish*0.99*\t\f" + std::string(100, 'x'));
  chmod((dir / "Settings").c_str(), 0444);
  std::string good(reinterpret_cast<const char*>(record.get()), sizeof *record);
  good[26100] = 7;  // stop_after 7
  test::write_file(dir / "State", "unused");
  std::string out = test::as_unprivileged_user([&] {
    auto loaded = std::make_unique<SettingsRecord>();
    int defaulted = load_settings(*loaded);
    return std::to_string(defaulted) + "|" + test::read_file("Settings").substr(15, 4);
  });
  EXPECT_EQ(out, "1|0.99") << "defaults in force, the file as it was";

  test::write_file(dir / "Settings", good);
  chmod((dir / "Settings").c_str(), 0200);  // writable, not readable
  if (geteuid() == 0) {
    ASSERT_EQ(chown((dir / "Settings").c_str(), 65534, 65534), 0);
  }
  out = test::as_unprivileged_user([&] {
    auto loaded = std::make_unique<SettingsRecord>();
    int defaulted = load_settings(*loaded);
    return std::to_string(defaulted) + "|" + std::to_string(loaded->stop_after);
  });
  EXPECT_EQ(out, "1|1000");
  chmod((dir / "Settings").c_str(), 0644);
  EXPECT_EQ(test::read_file(dir / "Settings"), good) << "the user's settings are still there";
}

TEST_F(RecordFileTest, FifosAreNeverWaitedOn) {
  ASSERT_EQ(mkfifo("Settings", 0644), 0);
  ASSERT_EQ(mkfifo("State", 0644), 0);
  auto loaded = std::make_unique<SettingsRecord>();
  EXPECT_FALSE(read_record_file("Settings", loaded.get(), sizeof *loaded));
  EXPECT_EQ(load_settings(*loaded), 1);
  EXPECT_EQ(loaded->stop_after, 1000);
  load_state(g_state);
  EXPECT_STREQ(g_state.find_has_history[0], "*junk*");
  struct stat st;
  ASSERT_EQ(lstat("Settings", &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode)) << "treated as a missing file: the defaults were written";
}

// A failed write tells which step failed, so that its message can name the
// file at fault.
TEST_F(RecordFileTest, AFailedWriteTellsWhichFileFailed) {
  struct Case {
    const char* name;
    std::function<void()> plant;
    RecordWriteStep step;
    int error;
  };
  const Case cases[] = {
      {"a directory at the temporary name", [] { ASSERT_EQ(mkdir("Settings.new", 0755), 0); },
       RecordWriteStep::TEMPORARY, EEXIST},
      {"a directory at the file's name", [] { ASSERT_EQ(mkdir("Settings", 0755), 0); },
       RecordWriteStep::RENAME, EISDIR},
      {"links in a loop",
       [] {
         ASSERT_EQ(symlink("Loop", "Settings"), 0);
         ASSERT_EQ(symlink("Settings", "Loop"), 0);
       },
       RecordWriteStep::TARGET, ELOOP},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.plant();
    RecordWriteStep step = RecordWriteStep::NONE;
    errno = 0;
    EXPECT_FALSE(save_settings(*record, &step));
    EXPECT_EQ(errno, c.error);
    EXPECT_EQ(step, c.step);
    struct stat st;
    if (c.step != RecordWriteStep::TEMPORARY) {
      EXPECT_NE(lstat("Settings.new", &st), 0) << "the temporary file is gone";
    }
    std::filesystem::remove_all("Settings");
    std::filesystem::remove_all("Settings.new");
    std::filesystem::remove_all("Loop");
  }
  RecordWriteStep step = RecordWriteStep::TEMPORARY;
  EXPECT_TRUE(save_settings(*record, &step));
  EXPECT_EQ(step, RecordWriteStep::NONE);
}

}  // namespace
