#include "platform/filesystem/user_files_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/filesystem/filesystem.h"
#include "platform/filesystem/user_files.h"
#include "platform/owned_handle.h"
#include "platform/system_error.h"

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

std::string UserStateDir() {
  return ProgramDirUnder(BaseDir(Variable("XDG_STATE_HOME"), Variable("HOME"), ".local/state"));
}

std::string DescribeUserDir(UserDir dir) {
  switch (dir) {
    case UserDir::kConfig:
      return "$XDG_CONFIG_HOME/wallpaper-fetcher/ (else ~/.config/wallpaper-fetcher/)";
    case UserDir::kData:
      return "$XDG_DATA_HOME/wallpaper-fetcher/ (else ~/.local/share/wallpaper-fetcher/)";
    case UserDir::kState:
      break;
  }
  return "$XDG_STATE_HOME/wallpaper-fetcher/ (else ~/.local/state/wallpaper-fetcher/)";
}

std::string UserDataDirFor(const std::string& xdg_data_home, const std::string& home) {
  return ProgramDirUnder(BaseDir(xdg_data_home, home, ".local/share"));
}

namespace {

// Makes `path` (no trailing "/"), and its parents where they are missing; a
// failure to make a parent names it, one to make `top` itself does not.
Outcome MakeDirectoryChain(const std::string& path, const std::string& top) {
  if (IsDirectory(path)) return Outcome::Ok();
  if (::mkdir(path.c_str(), 0755) == 0) return Outcome::Ok();
  int error = errno;
  const size_t slash = path.rfind('/');
  if (error == ENOENT && slash != std::string::npos && slash > 0) {
    const Outcome parent = MakeDirectoryChain(path.substr(0, slash), top);
    if (!parent.ok()) return parent;
    if (::mkdir(path.c_str(), 0755) == 0) return Outcome::Ok();
    error = errno;
  }
  if (error == EEXIST && IsDirectory(path)) return Outcome::Ok();
  return path == top ? PosixError(error) : PosixError(path, error);
}

}  // namespace

Outcome MakeDirectories(const std::string& dir) {
  if (dir.empty()) return Outcome::Error("no directory named");
  std::string path = dir;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return MakeDirectoryChain(path, path);
}

Outcome CreateFileExclusively(const std::string& path, const std::string& bytes) {
  OwnedFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (!file.valid()) return PosixError(errno);
  Outcome outcome;
  if (!WriteAllBytes(file.get(), bytes.data(), bytes.size()) || ::fsync(file.get()) != 0) {
    outcome = PosixError(errno);
  }
  if (!file.Close() && outcome.ok()) outcome = PosixError(errno);
  if (!outcome.ok()) ::unlink(path.c_str());
  return outcome;
}
