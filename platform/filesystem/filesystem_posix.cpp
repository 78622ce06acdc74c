#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/filesystem/filesystem.h"
#include "platform/owned_handle.h"
#include "platform/system_error.h"

std::string GetDirOfPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string GetCurrentDir() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (getcwd(buffer.data(), buffer.size()) == nullptr) return "";
  std::string dir(buffer.data());
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool IsPlainFileName(const std::string& name) {
  return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

Outcome DeleteFileAt(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? Outcome::Ok() : PosixError(errno);
}

Outcome RenameFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? Outcome::Ok() : PosixError(errno);
}

bool WriteAllBytes(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;  // nothing taken: no progress to wait for
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

namespace {

// A temporary of ours for the file NAME is "NAME.wallpaper-fetcher-XXXXXX.tmp",
// XXXXXX being six letters or digits: no name a user gives a file beside it
// ("NAME.backup", "NAME.orig", "NAME.tmp") looks like that.
constexpr char kTemporaryMark[] = ".wallpaper-fetcher-";
constexpr char kTemporaryEnd[] = ".tmp";
constexpr size_t kTemporaryRandom = 6;

bool IsTemporaryOf(const std::string& entry, const std::string& name) {
  const std::string head = name + kTemporaryMark;
  const std::string tail = kTemporaryEnd;
  if (entry.size() != head.size() + kTemporaryRandom + tail.size() ||
      entry.compare(0, head.size(), head) != 0 ||
      entry.compare(entry.size() - tail.size(), tail.size(), tail) != 0) {
    return false;
  }
  for (size_t i = head.size(); i < head.size() + kTemporaryRandom; ++i) {
    const char c = entry[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Where a save of `path` goes: `path` itself, or the file its chain of
// symbolic links ends at, so that the links stay links. "" for a chain that
// loops or cannot be read.
std::string FinalTarget(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return "";
    const std::string next(target.data(), static_cast<size_t>(n));
    current = next[0] == '/' ? next : GetDirOfPath(current) + next;
  }
  return "";
}

// Removes the temporaries of `name` in `dir` that saves killed on the way left
// behind: ours by name, regular files of this user, and no longer written
// (a save holds a lock on its temporary until it has renamed it).
void RemoveStrayTemporaries(const std::string& dir, const std::string& name) {
  const Owned<DIR, ::closedir> listing(::opendir(dir.c_str()));
  if (!listing) return;
  const int dir_fd = ::dirfd(listing.get());
  while (const dirent* entry = ::readdir(listing.get())) {
    if (!IsTemporaryOf(entry->d_name, name)) continue;
    const OwnedFd stray(
        ::openat(dir_fd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st;
    if (!stray.valid() || ::fstat(stray.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::geteuid() || ::flock(stray.get(), LOCK_EX | LOCK_NB) != 0) {
      continue;
    }
    ::unlinkat(dir_fd, entry->d_name, 0);
  }
}

// A new temporary beside `target`, locked for as long as it is open. -1, with
// errno saying why, when none can be made.
int CreateTemporaryBeside(const std::string& target, std::string* temp) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::string pattern =
        target + kTemporaryMark + std::string(kTemporaryRandom, 'X') + kTemporaryEnd;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    OwnedFd file(::mkostemps(name.data(), sizeof kTemporaryEnd - 1, O_CLOEXEC));
    if (!file.valid()) return -1;
    // Where locks fail (some network file systems), a temporary is merely
    // never taken for a stray.
    (void)::flock(file.get(), LOCK_EX);
    // Another save's clean-up may have taken it for a stray before it was
    // locked: then it is gone, and a new one is made.
    struct stat st;
    if (::fstat(file.get(), &st) == 0 && st.st_nlink == 0) continue;
    *temp = name.data();
    return file.Release();
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

Outcome ReplaceFileWhole(const std::string& path,
                         const std::function<bool(int fd)>& write_content) {
  const std::string target = FinalTarget(path);
  if (target.empty()) return Outcome::Error("its symbolic links loop or cannot be read");
  const std::string dir = GetDirOfPath(target).empty() ? "." : GetDirOfPath(target);
  RemoveStrayTemporaries(dir, target.substr(GetDirOfPath(target).size()));

  // The new file keeps the mode, and where this process may, the owner and
  // group of the one it replaces; a new file gets 0644.
  struct stat st;
  const bool replacing = ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  std::string temp;
  OwnedFd file(CreateTemporaryBeside(target, &temp));
  if (!file.valid()) return PosixError(errno);
  if (replacing && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
      ::fchown(file.get(), st.st_uid, st.st_gid) != 0) {
    (void)!::fchown(file.get(), static_cast<uid_t>(-1), st.st_gid);  // a group of ours
  }
  ::fchmod(file.get(), replacing ? st.st_mode & 07777 : 0644);  // a failed chmod is not fatal
  Outcome outcome;
  errno = 0;
  if (!write_content(file.get())) {
    outcome =
        errno != 0 ? PosixError(errno) : Outcome::Error("the new content could not be written");
  } else if (::fsync(file.get()) != 0) {
    outcome = PosixError(errno);
  }
  if (!file.Close() && outcome.ok()) outcome = PosixError(errno);
  if (outcome.ok() && ::rename(temp.c_str(), target.c_str()) != 0) outcome = PosixError(errno);
  if (!outcome.ok()) {
    ::unlink(temp.c_str());
    return outcome;
  }
  // Make the rename itself durable.
  const OwnedFd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir_fd.valid()) ::fsync(dir_fd.get());
  return Outcome::Ok();
}

void WithFileLock(const std::string& lock_path, const std::function<void()>& work) {
  const OwnedFd fd(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (fd.valid()) {
    while (::flock(fd.get(), LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  work();
}  // closing the descriptor lets go of the lock

Outcome ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
  // A file or directory marked read-only is left alone, also for root, who
  // could otherwise write anything.
  const std::string target = FinalTarget(path);
  if (target.empty()) return Outcome::Error("its symbolic links loop or cannot be read");
  struct stat st;
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return Outcome::Error("not a regular file");
    if ((st.st_mode & 0222) == 0) return Outcome::Error("the file is marked read-only");
    if (::access(target.c_str(), W_OK) != 0) return PosixError(errno);
  }
  const std::string dir = GetDirOfPath(target).empty() ? "." : GetDirOfPath(target);
  struct stat dir_st;
  if (::stat(dir.c_str(), &dir_st) != 0) return PosixError(dir, errno);
  if ((dir_st.st_mode & 0222) == 0) return Outcome::Error(dir + " is marked read-only");
  return ReplaceFileWhole(path,
                          [&](int fd) { return WriteAllBytes(fd, bytes.data(), bytes.size()); });
}
