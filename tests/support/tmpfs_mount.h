#ifndef TESTS_SUPPORT_TMPFS_MOUNT_H_
#define TESTS_SUPPORT_TMPFS_MOUNT_H_

#include <string>

// A small tmpfs mounted on a fresh directory for the life of the object, to
// give a test a disk that fills up. Mounting needs root (or the right
// capability); where it is refused, mounted() is false and reason() says why,
// for GTEST_SKIP.
//
//   ScopedTmpfs disk(1 << 20);
//   if (!disk.mounted()) GTEST_SKIP() << disk.reason();
//   ... write under disk.path() ...
class ScopedTmpfs {
 public:
  explicit ScopedTmpfs(long long size_bytes);
  ~ScopedTmpfs();  // unmounts (lazily, should a file still be open) and removes
  ScopedTmpfs(const ScopedTmpfs&) = delete;
  ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& reason() const { return reason_; }
  // The mount point with a trailing "/".
  const std::string& path() const { return path_; }
  // Bytes still free on it.
  long long FreeBytes() const;

 private:
  std::string path_;
  std::string reason_;
  bool mounted_ = false;
};

#endif  // TESTS_SUPPORT_TMPFS_MOUNT_H_
