#include "support/tmpfs_mount.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

ScopedTmpfs::ScopedTmpfs(long long size_bytes) {
  char pattern[] = "/tmp/fetcher-tmpfs-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    reason_ = std::string("no mount point: ") + std::strerror(errno);
    return;
  }
  path_ = std::string(pattern) + "/";
  const std::string options = "size=" + std::to_string(size_bytes) + ",mode=0755";
  if (::mount("tmpfs", pattern, "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    reason_ = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
    return;
  }
  mounted_ = true;
}

ScopedTmpfs::~ScopedTmpfs() {
  if (path_.empty()) return;
  const std::string dir = path_.substr(0, path_.size() - 1);
  // Everything on it goes with the mount.
  if (mounted_) ::umount2(dir.c_str(), MNT_DETACH);
  ::rmdir(dir.c_str());
}

long long ScopedTmpfs::FreeBytes() const {
  struct statvfs st;
  if (!mounted_ || ::statvfs(path_.c_str(), &st) != 0) return -1;
  return static_cast<long long>(st.f_bavail) * static_cast<long long>(st.f_frsize);
}
