// The user's own directories on Windows: the roaming application data
// (%APPDATA%) for the configuration, the local one (%LOCALAPPDATA%) for
// pictures and the desktop's copy of the wallpaper.
#include <windows.h>

#include <string>

#include "platform/filesystem/user_files.h"

namespace {

std::string Variable(const char* name) {
  char buffer[MAX_PATH + 1];
  const DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return "";
  return std::string(buffer, n);
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

// Closes the file handle it holds.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    if (!valid()) return true;
    const bool closed = ::CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::string UserConfigDir() { return ProgramDirUnder("APPDATA"); }

std::string UserDataDir() { return ProgramDirUnder("LOCALAPPDATA"); }

bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  std::string path = dir;
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  if (IsDirectory(path)) return true;
  const size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos && separator > 2 &&
      !MakeDirectories(path.substr(0, separator))) {
    return false;
  }
  return ::CreateDirectoryA(path.c_str(), nullptr) != 0 || IsDirectory(path);
}

bool CreateFileExclusively(const std::string& path, const std::string& bytes) {
  FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  const char* data = bytes.data();
  size_t left = bytes.size();
  bool ok = true;
  while (ok && left > 0) {
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    ok = ::WriteFile(file.get(), data, chunk, &written, nullptr) != 0 && written > 0;
    data += written;
    left -= written;
  }
  ok = ::FlushFileBuffers(file.get()) != 0 && ok;
  ok = file.Close() && ok;
  if (!ok) ::DeleteFileA(path.c_str());
  return ok;
}
