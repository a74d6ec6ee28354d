// Moving files to the desktop trash: the file moved is always the one that
// was checked, however its path is changed meanwhile; its record reads back
// as the exact path bytes; a file on another file system goes to that file
// system's own trash, and a trash directory that is not safe to use is
// refused; a refusal leaves nothing behind.
#include "disk/desktop_trash.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "disk/file_system.h"
#include "support/disk_facts.h"
#include "support/mounts.h"
#include "support/temp_dir.h"

namespace {

// Removed alone, as the last copy of its group after its own question:
// nothing to compare it with.
const StayingCopies AS_LAST_COPY{{}, true};

namespace fs = std::filesystem;

std::string data_dir() { return g_get_user_data_dir(); }
std::string home_trash() { return data_dir() + "/Trash"; }

// Everything under `root`, links not followed: each path with its type and
// mode, and a file's contents or a link's target. Two equal trees mean
// nothing was made, moved or changed.
std::map<std::string, std::string> tree(const std::string& root) {
  std::map<std::string, std::string> t;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string p = it->path().string();
    struct stat st {};
    lstat(p.c_str(), &st);
    std::string what = std::to_string(st.st_mode) + " " + std::to_string(st.st_uid) + " ";
    if (S_ISREG(st.st_mode)) what += test::read_file(p);
    if (S_ISLNK(st.st_mode)) what += fs::read_symlink(p, ec).string();
    t[p] = what;
  }
  return t;
}

// The record of a trashed file, read back as another program reads it:
// a key file, its Path unescaped to bytes.
struct Record {
  bool read = false;
  std::string text;      // the whole file
  std::string raw_path;  // Path as written
  std::string path;      // Path unescaped
  std::string date;
};

Record read_record(const std::string& file) {
  Record r;
  r.text = test::read_file(file);
  GKeyFile* keys = g_key_file_new();
  if (g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_NONE, nullptr)) {
    gchar* path = g_key_file_get_string(keys, "Trash Info", "Path", nullptr);
    gchar* date = g_key_file_get_string(keys, "Trash Info", "DeletionDate", nullptr);
    gchar* raw = path ? g_uri_unescape_string(path, nullptr) : nullptr;
    if (raw != nullptr && date != nullptr) {
      r.read = true;
      r.raw_path = path;
      r.path = raw;
      r.date = date;
    }
    g_free(raw);
    g_free(path);
    g_free(date);
  }
  g_key_file_free(keys);
  return r;
}

// A record as it must be: the group first, Path escaped (nothing but
// letters, digits, "/", "%" and the marks an URL keeps), saying `path`,
// and a local time between `before` and `after`.
void expect_record(const std::string& file, const std::string& path, std::time_t before,
                   std::time_t after) {
  SCOPED_TRACE(file);
  Record r = read_record(file);
  ASSERT_TRUE(r.read) << r.text;
  EXPECT_EQ(r.text.rfind("[Trash Info]\n", 0), 0u) << r.text;
  EXPECT_EQ(r.path, path);
  for (unsigned char c : r.raw_path) {
    EXPECT_TRUE(g_ascii_isalnum(c) || std::strchr("/%-_.!~*'()", c) != nullptr)
        << "'" << c << "' in " << r.raw_path;
  }
  struct tm tm {};
  const char* end = strptime(r.date.c_str(), "%Y-%m-%dT%H:%M:%S", &tm);
  ASSERT_TRUE(end != nullptr && *end == '\0' && r.date.size() == 19) << r.date;
  tm.tm_isdst = -1;
  std::time_t when = std::mktime(&tm);
  EXPECT_GE(when, before) << r.date;
  EXPECT_LE(when, after) << r.date;
}

// Each case starts with an empty home trash of its own.
class DesktopTrashTest : public ::testing::Test {
 public:
  void SetUp() override { empty_home_trash(); }

  static void empty_home_trash() {
    std::error_code ec;
    fs::remove_all(home_trash(), ec);
    g_mkdir_with_parents((home_trash() + "/files").c_str(), 0700);
    mkdir((home_trash() + "/info").c_str(), 0700);
    chmod(home_trash().c_str(), 0700);
  }

  // Makes `name` (with its directories) under the temporary directory.
  std::string file(const std::string& name, const std::string& bytes) {
    std::string path = dir / name;
    g_mkdir_with_parents(fs::path(path).parent_path().c_str(), 0755);
    test::write_file(path, bytes);
    return path;
  }

  test::TempDir dir;
  DiskFileSystem disk;
};

TEST_F(DesktopTrashTest, ADirectorySwappedForALinkAfterTheCheckStillSendsTheCheckedFile) {
  const std::string listed = file("d/x", "listed");
  const std::string other = file("other/x", "other");
  const FileIdentity seen = test::identity_at(listed);
  disk.after_trash_check = [&] {
    ASSERT_EQ(rename((dir / "d").c_str(), (dir / "d.moved").c_str()), 0);
    ASSERT_EQ(symlink((dir / "other").c_str(), (dir / "d").c_str()), 0);
  };

  const std::time_t before = std::time(nullptr);
  FileOutcome outcome = disk.move_to_trash(listed, seen, AS_LAST_COPY);
  const std::time_t after = std::time(nullptr);
  EXPECT_EQ(outcome.kind, FileOutcome::DONE) << outcome.reason;
  EXPECT_FALSE(test::exists(dir / "d.moved/x")) << "the checked file left its directory";
  EXPECT_EQ(test::read_file(other), "other") << "the other directory's file stays";
  EXPECT_EQ(test::names_in(home_trash() + "/files"), std::set<std::string>{"x"});
  EXPECT_EQ(test::read_file(home_trash() + "/files/x"), "listed");
  EXPECT_EQ(test::names_in(home_trash() + "/info"), std::set<std::string>{"x.trashinfo"});
  expect_record(home_trash() + "/info/x.trashinfo", listed, before, after);
}

TEST_F(DesktopTrashTest, ALoopSwappingTheDirectoryForALinkSendsOnlyListedFilesToTheTrash) {
  constexpr int FILES = 32;
  const std::string d = dir / "d", moved = dir / "d.moved", other = dir / "other";
  std::vector<std::string> listed;
  std::vector<FileIdentity> seen;
  for (int i = 0; i < FILES; ++i) {
    const std::string name = "x" + std::to_string(i);
    listed.push_back(file("d/" + name, "listed " + name));
    file("other/" + name, "other " + name);
    seen.push_back(test::identity_at(listed.back()));
  }

  std::atomic<bool> stop{false};
  std::atomic<int> swaps{0};
  std::thread swapper([&] {
    while (!stop.load()) {
      rename(d.c_str(), moved.c_str());
      // May fail while the code under test holds the name: that is the race.
      [[maybe_unused]] const int linked = symlink(other.c_str(), d.c_str());
      unlink(d.c_str());
      rename(moved.c_str(), d.c_str());
      swaps.fetch_add(1);
    }
  });
  while (swaps.load() == 0) std::this_thread::yield();
  // Each file is tried until it goes (its directory is in place at a check
  // now and then); a deadline rather than a count of tries, for a busy
  // machine.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::vector<FileOutcome> last(FILES, FileOutcome{FileOutcome::FAILED, "not tried"});
  int unexpected = 0;
  for (int i = 0; i < FILES; ++i) {
    do {
      last[i] = disk.move_to_trash(listed[i], seen[i], AS_LAST_COPY);
      // A path that leads nowhere at the check is a change; nothing fails.
      if (last[i].kind == FileOutcome::FAILED) ++unexpected;
    } while (last[i].kind != FileOutcome::DONE && std::chrono::steady_clock::now() < deadline);
  }
  stop = true;
  swapper.join();

  EXPECT_EQ(unexpected, 0);
  std::set<std::string> trashed_contents;
  for (const std::string& name : test::names_in(home_trash() + "/files")) {
    const std::string contents = test::read_file(home_trash() + "/files/" + name);
    trashed_contents.insert(contents);
    // Its record names the listed path the contents came from.
    Record r = read_record(home_trash() + "/info/" + name + ".trashinfo");
    EXPECT_EQ("listed " + fs::path(r.path).filename().string(), contents);
    EXPECT_EQ(fs::path(r.path).parent_path().string(), d);
  }
  std::set<std::string> expected;
  for (int i = 0; i < FILES; ++i) {
    const std::string name = "x" + std::to_string(i);
    EXPECT_EQ(last[i].kind, FileOutcome::DONE) << name << ": " << last[i].reason;
    EXPECT_FALSE(test::exists(listed[i]));
    EXPECT_EQ(test::read_file(other + "/" + name), "other " + name);
    expected.insert("listed " + name);
  }
  EXPECT_EQ(trashed_contents, expected) << "every listed file, and nothing else";
  EXPECT_EQ(test::names_in(home_trash() + "/info").size(), static_cast<std::size_t>(FILES));
}

TEST_F(DesktopTrashTest, TheHomeTrashIsMadePrivateAndItsRecordsGiveBackThePathBytes) {
  std::error_code ec;
  fs::remove_all(home_trash(), ec);
  // Names whose bytes a record must escape, and some it may keep.
  const std::vector<std::string> names = {
      "plain.txt",  "with space",       "per%cent%41",
      "line\nfeed", "latin1-\xE9-byte", "+&=;?#:@$,[]\\\"<>|`^{}",
      "~!*'()-_.",  "tab\tand\x7F",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string path = file("in dir%/" + name, "bytes of " + name);
    const std::time_t before = std::time(nullptr);
    FileOutcome outcome = disk.move_to_trash(path, test::identity_at(path), AS_LAST_COPY);
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(outcome.kind, FileOutcome::DONE) << outcome.reason;
    EXPECT_FALSE(test::exists(path));
    EXPECT_EQ(test::read_file(home_trash() + "/files/" + name), "bytes of " + name);
    expect_record(home_trash() + "/info/" + name + ".trashinfo", path, before, after);
  }
  for (const char* made : {"", "/files", "/info"}) {
    EXPECT_EQ(test::file_mode(home_trash() + made), 0700u) << made;
  }
}

// Putting back what was moved: only the very file the trash took, under the
// very record written for it, and never over a file now at its place.
TEST_F(DesktopTrashTest, AFileComesBackFromTheTrashOnlyToAFreePlace) {
  struct Case {
    const char* what;
    std::function<void(const std::string& path, const std::string& trashed)> meanwhile;
    FileOutcome::Kind expected;
  };
  const Case cases[] = {
      {"nothing changed", nullptr, FileOutcome::DONE},
      {"another file now at its place",
       [](const std::string& path, const std::string&) { test::write_file(path, "new"); },
       FileOutcome::FAILED},
      {"the trash emptied",
       [](const std::string&, const std::string& trashed) {
         unlink(trashed.c_str());
         unlink((home_trash() + "/info/" + fs::path(trashed).filename().string() + ".trashinfo")
                    .c_str());
       },
       FileOutcome::CHANGED},
      {"its record rewritten (another file under its name)",
       [](const std::string&, const std::string& trashed) {
         test::write_file(
             home_trash() + "/info/" + fs::path(trashed).filename().string() + ".trashinfo",
             "[Trash Info]\nPath=/elsewhere\nDeletionDate=2020-01-01T00:00:00\n");
       },
       FileOutcome::CHANGED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    empty_home_trash();
    const std::string path = file("d/name with\nfeed", "the bytes");
    const FileIdentity seen = test::identity_at(path);
    FileOutcome moved = disk.move_to_trash(path, seen, AS_LAST_COPY);
    ASSERT_EQ(moved.kind, FileOutcome::DONE) << moved.reason;
    ASSERT_TRUE(moved.trashed);
    const std::string trashed = home_trash() + "/files/" + moved.trashed->name;
    ASSERT_EQ(test::read_file(trashed), "the bytes");
    if (c.meanwhile) c.meanwhile(path, trashed);
    const std::string at_place = test::exists(path) ? test::read_file(path) : "";

    FileOutcome back = disk.restore_from_trash(*moved.trashed, path);
    EXPECT_EQ(back.kind, c.expected) << back.reason;
    if (c.expected == FileOutcome::DONE) {
      EXPECT_EQ(test::read_file(path), "the bytes");
      EXPECT_EQ(back.now, test::identity_at(path));
      EXPECT_EQ(back.now.inode, seen.inode) << "the same file, not a copy";
      EXPECT_TRUE(test::names_in(home_trash() + "/files").empty());
      EXPECT_TRUE(test::names_in(home_trash() + "/info").empty());
    } else {
      EXPECT_EQ(test::exists(path) ? test::read_file(path) : "", at_place)
          << "the place is left alone";
    }
    if (c.expected == FileOutcome::FAILED) {
      EXPECT_FALSE(back.reason.empty());
      EXPECT_EQ(test::read_file(trashed), "the bytes") << "it stays in the trash";
    }
  }
}

TEST_F(DesktopTrashTest, ANameTakenInTheTrashGivesTheFileAnotherOne) {
  const std::time_t before = std::time(nullptr);
  const std::string a = file("a/same", "A");
  const std::string b = file("b/same", "B");
  // A file in the trash without a record (another program's leftover).
  test::write_file(home_trash() + "/files/orphan", "left over");
  const std::string c = file("c/orphan", "C");
  for (const std::string& path : {a, b, c}) {
    FileOutcome outcome = disk.move_to_trash(path, test::identity_at(path), AS_LAST_COPY);
    EXPECT_EQ(outcome.kind, FileOutcome::DONE) << path << ": " << outcome.reason;
  }
  const std::time_t after = std::time(nullptr);

  EXPECT_EQ(test::names_in(home_trash() + "/files"),
            (std::set<std::string>{"same", "same.2", "orphan", "orphan.2"}));
  EXPECT_EQ(test::names_in(home_trash() + "/info"),
            (std::set<std::string>{"same.trashinfo", "same.2.trashinfo", "orphan.2.trashinfo"}));
  EXPECT_EQ(test::read_file(home_trash() + "/files/same"), "A");
  EXPECT_EQ(test::read_file(home_trash() + "/files/same.2"), "B");
  EXPECT_EQ(test::read_file(home_trash() + "/files/orphan"), "left over");
  EXPECT_EQ(test::read_file(home_trash() + "/files/orphan.2"), "C");
  expect_record(home_trash() + "/info/same.trashinfo", a, before, after);
  expect_record(home_trash() + "/info/same.2.trashinfo", b, before, after);
  expect_record(home_trash() + "/info/orphan.2.trashinfo", c, before, after);
}

// Thousands of files of one name (a clean-up of copies of "index.html") all
// find a name in the trash, each in a few tries.
TEST_F(DesktopTrashTest, ThousandsOfFilesOfOneNameAllGoToTheTrash) {
  constexpr int FILES = TRASH_NAME_TRIES + 50;
  for (int i = 0; i < FILES; ++i) {
    const std::string path = file("d" + std::to_string(i) + "/index.html", std::to_string(i));
    FileOutcome outcome = disk.move_to_trash(path, test::identity_at(path), AS_LAST_COPY);
    ASSERT_EQ(outcome.kind, FileOutcome::DONE) << i << ": " << outcome.reason;
  }
  const std::set<std::string> names = test::names_in(home_trash() + "/files");
  EXPECT_EQ(names.size(), static_cast<std::size_t>(FILES));
  EXPECT_EQ(names.count("index.html.9"), 1u) << "the first names are counted";
  EXPECT_EQ(test::names_in(home_trash() + "/info").size(), static_cast<std::size_t>(FILES));
}

TEST_F(DesktopTrashTest, ANameTooLongForItsRecordIsCutOutsideACharacter) {
  struct Case {
    std::string name;
    std::string in_trash;
  };
  const std::string a_umlaut = "\xC3\xA4";
  std::string umlauts;
  for (int i = 0; i < 127; ++i) umlauts += a_umlaut;
  const Case cases[] = {
      {std::string(255, 'n'), std::string(245, 'n')},
      // 245 bytes would end inside the 123rd character: it is left out.
      {umlauts + "z", umlauts.substr(0, 244)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.size());
    const std::string path = file(c.name, "long");
    FileOutcome outcome = disk.move_to_trash(path, test::identity_at(path), AS_LAST_COPY);
    ASSERT_EQ(outcome.kind, FileOutcome::DONE) << outcome.reason;
    EXPECT_EQ(test::read_file(home_trash() + "/files/" + c.in_trash), "long");
    EXPECT_EQ(read_record(home_trash() + "/info/" + c.in_trash + ".trashinfo").path, path);
    empty_home_trash();
  }
}

// A move to the trash that can not be done, or finds the file gone or
// replaced, leaves every file and directory as it was: the listed file where
// it was, no record, nothing made.
TEST_F(DesktopTrashTest, AMoveThatCanNotBeDoneLeavesNothingBehind) {
  const std::string trash = home_trash();
  struct Case {
    const char* what;
    std::function<void()> prepare;    // before the move
    std::function<void()> meanwhile;  // between the check and the move
    FileOutcome::Kind kind;
  };
  const std::string f = dir / "d/f";
  const Case cases[] = {
      {"info is a file",
       [&] {
         fs::remove(trash + "/info");
         test::write_file(trash + "/info", "not a directory");
       },
       nullptr, FileOutcome::FAILED},
      {"files is a file",
       [&] {
         fs::remove(trash + "/files");
         test::write_file(trash + "/files", "not a directory");
       },
       nullptr, FileOutcome::FAILED},
      {"the home trash is a link",
       [&] {
         fs::remove_all(trash);
         mkdir((dir / "elsewhere").c_str(), 0700);
         mkdir((dir / "elsewhere/files").c_str(), 0700);
         mkdir((dir / "elsewhere/info").c_str(), 0700);
         EXPECT_EQ(symlink((dir / "elsewhere").c_str(), trash.c_str()), 0);
       },
       nullptr, FileOutcome::FAILED},
      {"the file removed meanwhile", nullptr, [&] { unlink(f.c_str()); }, FileOutcome::CHANGED},
      {"another file put in its place meanwhile", nullptr,
       [&] {
         rename(f.c_str(), (dir / "d/f.old").c_str());
         test::write_file(f, "new");
       },
       FileOutcome::CHANGED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    empty_home_trash();
    fs::remove_all(dir / "elsewhere");
    fs::remove_all(dir / "d");
    file("d/f", "listed");
    const FileIdentity seen = test::identity_at(f);
    if (c.prepare) c.prepare();
    std::map<std::string, std::string> files, home;
    disk.after_trash_check = [&] {
      if (c.meanwhile) c.meanwhile();
      files = tree(dir.path());
      home = tree(data_dir());
    };
    FileOutcome outcome = disk.move_to_trash(f, seen, AS_LAST_COPY);
    EXPECT_EQ(outcome.kind, c.kind) << outcome.reason;
    if (c.kind == FileOutcome::FAILED) {
      EXPECT_FALSE(outcome.reason.empty());
    }
    EXPECT_EQ(tree(dir.path()), files);
    EXPECT_EQ(tree(data_dir()), home);
  }
}

TEST_F(DesktopTrashTest, AFileOnAnotherFileSystemGoesToTheTrashAtItsTop) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
  const std::string uid = std::to_string(geteuid());
  struct Case {
    const char* what;
    std::string file;                                     // below the top
    std::function<void(const std::string& top)> prepare;  // the top's trash
    std::string trash;  // where the file must go, below the top; empty: refused
  };
  auto make_dir = [](const std::string& path, mode_t mode) {
    mkdir(path.c_str(), mode);
    chmod(path.c_str(), mode);  // past the umask
  };
  auto trash_elsewhere = [&](const std::string& top) {
    make_dir(top + "/elsewhere", 0700);
    make_dir(top + "/elsewhere/files", 0700);
    make_dir(top + "/elsewhere/info", 0700);
  };
  const Case cases[] = {
      {"no trash yet", "a/b/f", nullptr, ".Trash-" + uid},
      {"a file at the top", "f", nullptr, ".Trash-" + uid},
      {"a shared .Trash with the sticky bit", "sub/f",
       [&](const std::string& top) { make_dir(top + "/.Trash", 01777); }, ".Trash/" + uid},
      {"a shared .Trash without the sticky bit", "sub/f",
       [&](const std::string& top) { make_dir(top + "/.Trash", 0777); }, ".Trash-" + uid},
      {"a shared .Trash that is a link", "sub/f",
       [&](const std::string& top) {
         make_dir(top + "/sticky", 01777);
         EXPECT_EQ(symlink("sticky", (top + "/.Trash").c_str()), 0);
       },
       ".Trash-" + uid},
      {"the user's directory in .Trash a link", "sub/f",
       [&](const std::string& top) {
         make_dir(top + "/.Trash", 01777);
         trash_elsewhere(top);
         EXPECT_EQ(symlink("../elsewhere", (top + "/.Trash/" + uid).c_str()), 0);
       },
       ".Trash-" + uid},
      {".Trash-uid a link", "sub/f",
       [&](const std::string& top) {
         trash_elsewhere(top);
         EXPECT_EQ(symlink("elsewhere", (top + "/.Trash-" + uid).c_str()), 0);
       },
       ""},
      {".Trash-uid open to others", "sub/f",
       [&](const std::string& top) { make_dir(top + "/.Trash-" + uid, 0755); }, ""},
      {".Trash-uid another user's", "sub/f",
       [&](const std::string& top) {
         make_dir(top + "/.Trash-" + uid, 0700);
         EXPECT_EQ(chown((top + "/.Trash-" + uid).c_str(), 65534, 65534), 0);
       },
       ""},
      {".Trash-uid a file", "sub/f",
       [&](const std::string& top) { test::write_file(top + "/.Trash-" + uid, "file"); }, ""},
  };
  const auto home_before = tree(data_dir());
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string top = dir / ("top" + std::to_string(n++));
    test::ScratchMount mount(top);
    if (!mount.mounted()) GTEST_SKIP() << "can not mount a tmpfs: " << mount.error();
    const std::string path = top + "/" + c.file;
    g_mkdir_with_parents(fs::path(path).parent_path().c_str(), 0755);
    test::write_file(path, "data");
    if (c.prepare) c.prepare(top);
    const auto top_before = tree(top);

    const std::time_t before = std::time(nullptr);
    FileOutcome outcome = disk.move_to_trash(path, test::identity_at(path), AS_LAST_COPY);
    const std::time_t after = std::time(nullptr);
    if (c.trash.empty()) {
      EXPECT_EQ(outcome.kind, FileOutcome::FAILED);
      EXPECT_FALSE(outcome.reason.empty());
      EXPECT_EQ(tree(top), top_before) << "nothing moved or made";
    } else {
      ASSERT_EQ(outcome.kind, FileOutcome::DONE) << outcome.reason;
      const std::string trash = top + "/" + c.trash;
      EXPECT_FALSE(test::exists(path));
      EXPECT_EQ(test::file_mode(trash), 0700u);
      EXPECT_EQ(test::names_in(trash + "/files"), std::set<std::string>{"f"});
      EXPECT_EQ(test::read_file(trash + "/files/f"), "data");
      expect_record(trash + "/info/f.trashinfo", c.file, before, after);
      // Only the trash used was made.
      for (const std::string& other : {".Trash-" + uid, ".Trash/" + uid}) {
        if (other != c.trash) {
          EXPECT_FALSE(fs::is_directory(fs::symlink_status(top + "/" + other))) << other;
        }
      }
      EXPECT_TRUE(test::names_in(top + "/elsewhere/files").empty());
    }
  }
  EXPECT_EQ(tree(data_dir()), home_before) << "the home trash is for its own file system";
}

TEST_F(DesktopTrashTest, ADirectoryMountedAgainElsewhereCanNotReachTheHomeTrash) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a directory needs root";
  const std::string f = file("real/f", "data");
  const std::string view = dir / "view";
  mkdir(view.c_str(), 0755);
  if (mount((dir / "real").c_str(), view.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "can not bind a directory: " << std::strerror(errno);
  }
  // The home trash is on the same device, but not on that mount.
  const auto home_before = tree(data_dir());
  FileOutcome outcome =
      disk.move_to_trash(view + "/f", test::identity_at(view + "/f"), AS_LAST_COPY);
  umount2(view.c_str(), MNT_DETACH);
  EXPECT_EQ(outcome.kind, FileOutcome::FAILED);
  EXPECT_EQ(outcome.reason, std::strerror(EXDEV));
  EXPECT_EQ(test::read_file(f), "data");
  EXPECT_EQ(tree(data_dir()), home_before) << "no record left";
}

}  // namespace
