// The user's own directories on Windows: the roaming application data
// (%APPDATA%) for the configuration, the local one (%LOCALAPPDATA%) for
// pictures and the desktop's copy of the wallpaper.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "platform/filesystem/filesystem.h"
#include "platform/filesystem/user_files.h"
#include "platform/filesystem/wide_text_win32.h"
#include "platform/owned_handle.h"
#include "platform/system_error.h"

namespace {

// The variable's value, read wide: the ANSI call under Wine counts it in
// UTF-16 characters, cutting a UTF-8 value short.
std::string Variable(const char* name) {
  const std::wstring wide_name = WideFromUtf8(name);
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = ::GetEnvironmentVariableW(wide_name.c_str(), buffer, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return "";
  return Utf8FromWide(std::wstring(buffer, n));
}

std::string ProgramDirUnder(const char* variable) {
  std::string base = Variable(variable);
  if (base.size() < 3 || base[1] != ':') return "";
  if (base.back() != '\\' && base.back() != '/') base += '\\';
  return base + "wallpaper-fetcher\\";
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::string UserConfigDir() { return ProgramDirUnder("APPDATA"); }

std::string UserDataDir() { return ProgramDirUnder("LOCALAPPDATA"); }

std::string UserStateDir() { return UserDataDir(); }

std::string DescribeUserDir(UserDir dir) {
  return dir == UserDir::kConfig ? "%APPDATA%\\wallpaper-fetcher\\"
                                 : "%LOCALAPPDATA%\\wallpaper-fetcher\\";
}

namespace {

// Makes `path` (no trailing separator), and its parents where they are
// missing; a failure to make a parent names it, one to make `top` itself
// does not.
Outcome MakeDirectoryChain(const std::string& path, const std::string& top) {
  if (IsDirectory(path)) return Outcome::Ok();
  if (::CreateDirectoryA(path.c_str(), nullptr) != 0) return Outcome::Ok();
  DWORD error = ::GetLastError();
  const size_t separator = path.find_last_of("\\/");
  if (error == ERROR_PATH_NOT_FOUND && separator != std::string::npos && separator > 2) {
    const Outcome parent = MakeDirectoryChain(path.substr(0, separator), top);
    if (!parent.ok()) return parent;
    if (::CreateDirectoryA(path.c_str(), nullptr) != 0) return Outcome::Ok();
    error = ::GetLastError();
  }
  if (IsDirectory(path)) return Outcome::Ok();
  return path == top ? WindowsError(error) : WindowsError(path, error);
}

}  // namespace

Outcome MakeDirectories(const std::string& dir) {
  if (dir.empty()) return Outcome::Error("no directory named");
  std::string path = dir;
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return MakeDirectoryChain(path, path);
}

Outcome CreateFileExclusively(const std::string& path, const std::string& bytes) {
  // _O_EXCL: the system's CREATE_NEW.
  OwnedFd file(::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                       _S_IREAD | _S_IWRITE));
  if (!file.valid()) return PosixError(errno);
  Outcome outcome;
  if (!WriteAllBytes(file.get(), bytes.data(), bytes.size()) || ::_commit(file.get()) != 0) {
    outcome = PosixError(errno);
  }
  if (!file.Close() && outcome.ok()) outcome = PosixError(errno);
  if (!outcome.ok()) ::DeleteFileA(path.c_str());
  return outcome;
}
