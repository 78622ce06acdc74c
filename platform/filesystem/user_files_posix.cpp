#include "platform/filesystem/user_files_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/filesystem/user_files.h"

namespace {

// An environment variable naming a base directory counts only when absolute,
// as the XDG base directory rules say.
std::string BaseDir(const std::string& value, const std::string& home, const char* under_home) {
  if (!value.empty() && value[0] == '/') return value + "/";
  if (home.empty() || home[0] != '/') return "";
  return home + "/" + under_home + "/";
}

std::string ProgramDirUnder(std::string base) {
  if (base.empty()) return "";
  while (base.size() > 1 && base[base.size() - 2] == '/') base.pop_back();  // "//" from a "/" end
  return base + "wallpaper-fetcher/";
}

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string UserConfigDir() {
  return ProgramDirUnder(BaseDir(Variable("XDG_CONFIG_HOME"), Variable("HOME"), ".config"));
}

std::string UserDataDir() { return UserDataDirFor(Variable("XDG_DATA_HOME"), Variable("HOME")); }

std::string UserDataDirFor(const std::string& xdg_data_home, const std::string& home) {
  return ProgramDirUnder(BaseDir(xdg_data_home, home, ".local/share"));
}

bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  std::string path = dir;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (IsDirectory(path)) return true;
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(path.substr(0, slash))) {
    return false;
  }
  return ::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && IsDirectory(path));
}

bool CreateFileExclusively(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  const char* data = bytes.data();
  size_t left = bytes.size();
  bool ok = true;
  while (ok && left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) {
      data += n;
      left -= static_cast<size_t>(n);
    }
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (!ok) ::unlink(path.c_str());
  return ok;
}
