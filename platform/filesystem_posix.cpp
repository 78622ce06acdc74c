#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/filesystem.h"
#include "platform/owned_handle.h"

std::string DirOfPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsAbsolutePathRule(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (getcwd(buffer.data(), buffer.size()) == nullptr) return "";
  std::string dir(buffer.data());
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool IsPlainFileName(const std::string& name) {
  return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

bool DeleteFileAt(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool RenameFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool WriteAllBytes(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReplaceFileWhole(const std::string& path, const std::function<bool(int fd)>& write_content) {
  mode_t mode = 0644;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  std::string temp = path + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  OwnedFd file(::mkostemp(name.data(), O_CLOEXEC));
  if (!file.valid()) return false;
  temp = name.data();
  ::fchmod(file.get(), mode);  // a failed chmod is not fatal
  bool ok = write_content(file.get()) && ::fsync(file.get()) == 0;
  ok = file.Close() && ok;
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) {
    // Make the rename itself durable.
    const std::string dir = DirOfPath(path).empty() ? "." : DirOfPath(path);
    const OwnedFd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir_fd.valid()) ::fsync(dir_fd.get());
    return true;
  }
  ::unlink(temp.c_str());
  return false;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
  // A file or directory marked read-only is left alone, also for root, who
  // could otherwise write anything.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 &&
      (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0))
    return false;
  const std::string dir = DirOfPath(path).empty() ? "." : DirOfPath(path);
  struct stat dir_st;
  if (::stat(dir.c_str(), &dir_st) != 0 || (dir_st.st_mode & 0222) == 0) return false;
  return ReplaceFileWhole(path,
                          [&](int fd) { return WriteAllBytes(fd, bytes.data(), bytes.size()); });
}
