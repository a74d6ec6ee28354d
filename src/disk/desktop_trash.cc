#include "disk/desktop_trash.h"

#include <fcntl.h>
#include <glib.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/unique_fd.h"

namespace {

constexpr char INFO_SUFFIX[] = ".trashinfo";

// A file system deeper than this is taken for a loop.
constexpr int MAX_CLIMBS = 4096;

std::string because(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// Directory `name` in `parent`, opened without following a symbolic link
// (a link, or anything else that is no directory, fails with ENOTDIR).
// When it is missing and `create` is set it is made first, with mode 0700.
UniqueFd open_directory(int parent, const char* name, bool create) {
  const int flags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  UniqueFd fd(openat(parent, name, flags));
  if (fd || errno != ENOENT || !create) return fd;
  if (mkdirat(parent, name, 0700) != 0 && errno != EEXIST) return UniqueFd();
  return UniqueFd(openat(parent, name, flags));
}

// Whether the directory `fd` belongs to this user and no one else may
// read, write or enter it.
bool private_directory(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & 077) == 0;
}

// The two directories of a trash: the trashed files, and one record of
// each ("NAME.trashinfo") saying where it came from and when.
struct Trash {
  UniqueFd files;
  UniqueFd info;
};

bool open_files_and_info(int trash_dir, const std::string& shown, Trash& trash, std::string& why) {
  trash.files = open_directory(trash_dir, "files", true);
  if (!trash.files) {
    why = because("Can Not Open " + shown + "/files", errno);
    return false;
  }
  trash.info = open_directory(trash_dir, "info", true);
  if (!trash.info) {
    why = because("Can Not Open " + shown + "/info", errno);
    return false;
  }
  return true;
}

// The home trash, made where it is missing. `data_dev` gets the device of
// the data directory whenever that could be opened, even when the trash in
// it could not.
//
// The data directory is the user's own setting and may lie behind a link
// of theirs (a home on another disk); from there on nothing is followed.
bool open_home_trash(Trash& trash, dev_t& data_dev, bool& data_dev_known, std::string& why) {
  data_dev_known = false;
  const char* data = g_get_user_data_dir();
  if (data == nullptr || data[0] != '/') {
    why = "No Home Trash: The Data Directory Is Not An Absolute Path";
    return false;
  }
  UniqueFd data_fd(open(data, O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!data_fd && errno == ENOENT && g_mkdir_with_parents(data, 0700) == 0) {
    data_fd.reset(open(data, O_PATH | O_DIRECTORY | O_CLOEXEC));
  }
  struct stat st;
  if (!data_fd || fstat(data_fd.get(), &st) != 0) {
    why = because("Can Not Open The Home Trash", errno);
    return false;
  }
  data_dev = st.st_dev;
  data_dev_known = true;
  UniqueFd dir = open_directory(data_fd.get(), "Trash", true);
  if (!dir) {
    why = because("Can Not Open The Home Trash", errno);
    return false;
  }
  return open_files_and_info(dir.get(), "The Home Trash", trash, why);
}

// The top directory of the file system that holds the directory `dir`:
// climbing "..", the last directory before the device changes, or the
// root. `climbs` gets how many directories up it is.
UniqueFd top_directory(int dir, int& climbs, std::string& why) {
  climbs = 0;
  UniqueFd here(fcntl(dir, F_DUPFD_CLOEXEC, 0));
  struct stat here_st;
  if (!here || fstat(here.get(), &here_st) != 0) {
    why = because("Can Not Find The Top Of The File System", errno);
    return UniqueFd();
  }
  for (;;) {
    UniqueFd up(openat(here.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat up_st;
    if (!up || fstat(up.get(), &up_st) != 0) {
      why = because("Can Not Find The Top Of The File System", errno);
      return UniqueFd();
    }
    if (up_st.st_dev != here_st.st_dev || up_st.st_ino == here_st.st_ino) return here;
    if (++climbs > MAX_CLIMBS) {
      why = "Can Not Find The Top Of The File System";
      return UniqueFd();
    }
    here = std::move(up);
    here_st = up_st;
  }
}

// $topdir/.Trash/$uid, when the shared $topdir/.Trash is a real directory
// with the sticky bit set (so that no user can take another's directory
// away) and this user's directory in it is private. Anything less: none.
UniqueFd shared_trash(int top, const std::string& uid) {
  UniqueFd shared = open_directory(top, ".Trash", false);
  struct stat st;
  if (!shared || fstat(shared.get(), &st) != 0 || (st.st_mode & S_ISVTX) == 0) return UniqueFd();
  UniqueFd own = open_directory(shared.get(), uid.c_str(), true);
  if (!own || !private_directory(own.get())) return UniqueFd();
  return own;
}

// $topdir/.Trash-$uid, made where it is missing; one that is a link, or not
// this user's private directory, is refused.
UniqueFd own_trash(int top, const std::string& uid, std::string& why) {
  const std::string name = ".Trash-" + uid;
  UniqueFd own = open_directory(top, name.c_str(), true);
  if (!own) {
    why = errno == ENOTDIR || errno == ELOOP
              ? "Refused " + name + ": Not A Directory, Or A Symbolic Link"
              : because("No Trash On This File System", errno);
    return UniqueFd();
  }
  if (!private_directory(own.get())) {
    why = "Refused " + name + ": Not A Private Directory Of This User";
    return UniqueFd();
  }
  return own;
}

// `path` as seen from the directory `climbs` levels above the directory
// that holds it: its last `climbs` directory names and its own name. Empty
// when the path does not say (it has fewer directories, or "." or "..").
std::string path_below(const std::string& path, int climbs) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  std::vector<std::string> dirs;
  std::size_t start = 0;
  while (start < slash) {
    std::size_t end = path.find('/', start);
    if (end > slash) end = slash;
    std::string component = path.substr(start, end - start);
    if (component == "." || component == "..") return "";
    if (!component.empty()) dirs.push_back(component);
    start = end + 1;
  }
  if (static_cast<std::size_t>(climbs) > dirs.size()) return "";
  std::string below;
  for (std::size_t i = dirs.size() - climbs; i < dirs.size(); ++i) below += dirs[i] + "/";
  return below + path.substr(slash + 1);
}

// Chooses the trash for a file in the directory `dir_fd` on device `dev`,
// and the path its record gives: absolute in the home trash, relative to
// the top directory in a file system's own trash.
bool choose_trash(int dir_fd, dev_t dev, const std::string& path, Trash& trash,
                  std::string& record_path, std::string& why) {
  Trash home;
  dev_t data_dev = 0;
  bool data_dev_known = false;
  std::string home_why;
  if (open_home_trash(home, data_dev, data_dev_known, home_why)) {
    struct stat st;
    if (fstat(home.files.get(), &st) == 0 && st.st_dev == dev) {
      trash = std::move(home);
      record_path = path;
      return true;
    }
  } else if (data_dev_known && data_dev == dev) {
    // The file belongs in the home trash, which can not be used.
    why = home_why;
    return false;
  }

  int climbs = 0;
  UniqueFd top = top_directory(dir_fd, climbs, why);
  if (!top) return false;
  const std::string uid = std::to_string(geteuid());
  std::string shown = ".Trash/" + uid;
  UniqueFd dir = shared_trash(top.get(), uid);
  if (!dir) {
    shown = ".Trash-" + uid;
    dir = own_trash(top.get(), uid, why);
  }
  if (!dir || !open_files_and_info(dir.get(), shown, trash, why)) return false;
  record_path = path_below(path, climbs);
  // A directory moved meanwhile can leave the path without that many
  // directories: then the record says the whole path.
  if (record_path.empty()) record_path = path;
  return true;
}

// Path bytes as a trash record holds them: escaped as in URLs, everything
// but letters, digits, "-_.!~*'()" and the slashes written as %XX.
std::string escaped_path(const std::string& path) {
  static const char HEX[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    bool plain = g_ascii_isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '!' ||
                 c == '~' || c == '*' || c == '\'' || c == '(' || c == ')';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += HEX[c >> 4];
      out += HEX[c & 15];
    }
  }
  return out;
}

std::string local_time_text(std::time_t when) {
  struct tm tm {};
  localtime_r(&when, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
  return text;
}

// The name for the file in the trash on try `n` (from 1): its own name,
// then "name.2" up to "name.9", then "name." and eight random hex digits
// (a trash holding thousands of files of one name must not cost thousands
// of tries each, nor run out of them); cut short (not inside a UTF-8
// character) so that its record's name still fits in a directory entry.
std::string trash_name(const std::string& name, int n, std::mt19937& random) {
  constexpr int COUNTED_NAMES = 9;
  std::string suffix;
  if (n > COUNTED_NAMES) {
    char hex[16];
    std::snprintf(hex, sizeof hex, ".%08x", static_cast<unsigned>(random()));
    suffix = hex;
  } else if (n > 1) {
    suffix = "." + std::to_string(n);
  }
  const std::size_t room = NAME_MAX - (sizeof INFO_SUFFIX - 1) - suffix.size();
  if (name.size() <= room) return name + suffix;
  std::size_t cut = room;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  if (cut == 0) cut = room;
  return name.substr(0, cut) + suffix;
}

// Renames without ever replacing what `to` names: renameat2's
// RENAME_NOREPLACE, or on a file system that can not do that, a look that
// nothing is there and a plain rename.
int rename_no_replace(int from_dir, const char* from, int to_dir, const char* to) {
  if (renameat2(from_dir, from, to_dir, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  struct stat st;
  if (fstatat(to_dir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return -1;
  }
  if (errno != ENOENT) return -1;
  return renameat(from_dir, from, to_dir, to);
}

// Writes the record of a trashed file. Its name is taken with O_EXCL, so
// two programs trashing files of one name at once get two names. False
// (errno set) when it could not be made; EEXIST when the name is taken.
bool write_record(int info_dir, const std::string& record_name, const std::string& text) {
  UniqueFd fd(openat(info_dir, record_name.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd) return false;
  if (!write_all(fd.get(), text.data(), text.size()) || !fd.close()) {
    int error = errno;
    unlinkat(info_dir, record_name.c_str(), 0);
    errno = error;
    return false;
  }
  return true;
}

// The trash directories files went to, one descriptor each, shared by every
// TrashedFile that went there: a walk that moves thousands of files to the
// trash keeps two descriptors open (files/ and info/) for a trash, not two
// for each file, and never runs out of them. A descriptor lives as long as
// a file moved there can still be put back through it. (While it is open,
// its directory's inode can not be given to another directory: the key
// never names the wrong one.)
std::shared_ptr<UniqueFd> shared_directory(UniqueFd fd) {
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return std::make_shared<UniqueFd>(std::move(fd));
  static std::mutex lock;
  static std::map<std::pair<dev_t, ino_t>, std::weak_ptr<UniqueFd>> open_directories;
  std::lock_guard<std::mutex> hold(lock);
  std::weak_ptr<UniqueFd>& slot = open_directories[{st.st_dev, st.st_ino}];
  if (std::shared_ptr<UniqueFd> held = slot.lock()) return held;  // `fd` closes
  auto made = std::make_shared<UniqueFd>(std::move(fd));
  slot = made;
  // Directories no file refers to any more are forgotten now and then.
  if (open_directories.size() > 64) {
    std::erase_if(open_directories, [](const auto& entry) { return entry.second.expired(); });
  }
  return made;
}

}  // namespace

FileOutcome trash_entry(int dir_fd, const std::string& name, const std::string& path,
                        const FileIdentity& seen) {
  struct stat dir_st;
  if (fstat(dir_fd, &dir_st) != 0) return {FileOutcome::FAILED, std::strerror(errno)};
  Trash trash;
  std::string record_path;
  std::string why;
  if (!choose_trash(dir_fd, dir_st.st_dev, path, trash, record_path, why)) {
    return {FileOutcome::FAILED, why};
  }
  const std::string record = "[Trash Info]\nPath=" + escaped_path(record_path) +
                             "\nDeletionDate=" + local_time_text(std::time(nullptr)) + "\n";

  std::mt19937 random(std::random_device{}());
  for (int n = 1; n <= TRASH_NAME_TRIES; ++n) {
    const std::string trashed = trash_name(name, n, random);
    const std::string record_name = trashed + INFO_SUFFIX;
    if (!write_record(trash.info.get(), record_name, record)) {
      if (errno == EEXIST) continue;
      return {FileOutcome::FAILED, because("Can Not Write To The Trash", errno)};
    }
    auto drop_record = [&] { unlinkat(trash.info.get(), record_name.c_str(), 0); };

    if (rename_no_replace(dir_fd, name.c_str(), trash.files.get(), trashed.c_str()) != 0) {
      int error = errno;
      drop_record();
      if (error == EEXIST) continue;  // a file without a record has that name
      if (error == ENOENT) return {FileOutcome::CHANGED, ""};
      return {FileOutcome::FAILED, std::strerror(error)};
    }

    // The name could have been given to another file between the caller's
    // look and the rename: such a file goes back where it was. (The rename
    // itself gives the file a new change time: that one is not compared.)
    struct stat st;
    if (fstatat(trash.files.get(), trashed.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      FileIdentity moved = identity_of(st);
      moved.ctime_sec = seen.ctime_sec;
      moved.ctime_nsec = seen.ctime_nsec;
      if (still_the_same(seen, moved)) {
        FileOutcome done{FileOutcome::DONE, ""};
        done.trashed = std::make_shared<TrashedFile>();
        done.trashed->files = shared_directory(std::move(trash.files));
        done.trashed->info = shared_directory(std::move(trash.info));
        done.trashed->name = trashed;
        done.trashed->record = record;
        return done;
      }
    }
    if (rename_no_replace(trash.files.get(), trashed.c_str(), dir_fd, name.c_str()) == 0) {
      drop_record();
      return {FileOutcome::CHANGED, ""};
    }
    // Its place is taken again; it stays in the trash, whence it can be
    // restored by its record.
    return {FileOutcome::FAILED, "Another File Took Its Place And Went To The Trash"};
  }
  return {FileOutcome::FAILED, "The Trash Holds Too Many Files Of This Name"};
}

FileOutcome restore_entry(const TrashedFile& trashed, int dir_fd, const std::string& name) {
  if (!trashed.files || !trashed.info || !*trashed.files || !*trashed.info) {
    return {FileOutcome::CHANGED, ""};
  }
  // The record must be the one written when the file went: the same
  // original path and deletion date (a file manager may have restored or
  // emptied it meanwhile, and another file taken its name).
  const std::string record_name = trashed.name + INFO_SUFFIX;
  UniqueFd record(openat(trashed.info->get(), record_name.c_str(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  std::string text;
  if (record) {
    char buffer[4096];
    for (ssize_t n; (n = read(record.get(), buffer, sizeof buffer)) > 0;) {
      text.append(buffer, static_cast<std::size_t>(n));
      if (text.size() > trashed.record.size()) break;
    }
  }
  if (text != trashed.record) return {FileOutcome::CHANGED, ""};
  if (rename_no_replace(trashed.files->get(), trashed.name.c_str(), dir_fd, name.c_str()) != 0) {
    if (errno == EEXIST) return {FileOutcome::FAILED, "Another File Is At Its Place"};
    if (errno == ENOENT) return {FileOutcome::CHANGED, ""};
    return {FileOutcome::FAILED, std::strerror(errno)};
  }
  unlinkat(trashed.info->get(), record_name.c_str(), 0);
  FileOutcome done{FileOutcome::DONE, ""};
  struct stat st;
  if (fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) done.now = identity_of(st);
  return done;
}
