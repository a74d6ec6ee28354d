// File systems of their own for one test case, gone after it: a tmpfs (a
// second file system), a small btrfs image on a loop device (one that can
// clone), or an overlay (one file seen through two mounts). Mounting needs root and a kernel that
// lets the test do it; mounted() says whether it worked and error() why not, so a case can skip.
#pragma once

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace test {

class ScratchMount {
 public:
  // A tmpfs on `where`.
  explicit ScratchMount(const std::string& where) : where_(where) {
    mkdir(where.c_str(), 0755);
    if (mount("tmpfs", where.c_str(), "tmpfs", 0, "mode=0755") == 0) {
      mounted_ = true;
    } else {
      error_ = std::strerror(errno);
    }
  }
  // A 128 MiB btrfs made in the sparse file `image`, mounted on `where`.
  struct Btrfs {
    std::string image;
  };
  ScratchMount(const Btrfs& btrfs, const std::string& where) : where_(where) {
    if (geteuid() != 0) {
      error_ = "mounting needs root";
    } else if (access("/usr/sbin/mkfs.btrfs", X_OK) != 0 && access("/sbin/mkfs.btrfs", X_OK) != 0) {
      error_ = "mkfs.btrfs is not installed";
    } else {
      mkdir(where.c_str(), 0755);
      const std::string make = "truncate -s 128M '" + btrfs.image + "' && mkfs.btrfs -q '" +
                               btrfs.image + "' >/dev/null 2>&1 && mount -o loop '" + btrfs.image +
                               "' '" + where + "' 2>/dev/null";
      mounted_ = std::system(make.c_str()) == 0;
      if (!mounted_) error_ = "no loop device or no btrfs in this kernel";
    }
  }
  // An overlay on `where` of the folder `lower`, with `upper` and `work`
  // (empty folders on the file system of `lower`, made here): `where` shows
  // the files of `lower` on a device of its own, with their own inode
  // numbers.
  struct Overlay {
    std::string lower, upper, work;
  };
  ScratchMount(const Overlay& overlay, const std::string& where) : where_(where) {
    mkdir(where.c_str(), 0755);
    mkdir(overlay.upper.c_str(), 0755);
    mkdir(overlay.work.c_str(), 0755);
    const std::string options =
        "lowerdir=" + overlay.lower + ",upperdir=" + overlay.upper + ",workdir=" + overlay.work;
    if (mount("overlay", where.c_str(), "overlay", 0, options.c_str()) == 0) {
      mounted_ = true;
    } else {
      error_ = std::strerror(errno);
    }
  }
  ~ScratchMount() {
    if (mounted_) umount2(where_.c_str(), MNT_DETACH);
  }
  ScratchMount(const ScratchMount&) = delete;
  ScratchMount& operator=(const ScratchMount&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }

 private:
  std::string where_;
  bool mounted_ = false;
  std::string error_;
};

}  // namespace test
