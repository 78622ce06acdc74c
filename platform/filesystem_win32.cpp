// The Windows file-system rules: a drive letter and colon, "\" (or "/") as
// separator, files replaced with MoveFileExA.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/filesystem.h"

std::string DirOfPath(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) return path.substr(0, separator + 1);
  // "C:name": the drive alone.
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  return "";
}

bool IsAbsolutePathRule(const std::string& path) { return path.size() > 2 && path[1] == ':'; }

std::string CurrentDirectory() {
  char buffer[MAX_PATH + 1];
  const DWORD n = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  if (n == 0 || n >= sizeof buffer) return "";
  std::string dir(buffer, n);
  if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
  return dir;
}

bool PathExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsPlainFileName(const std::string& name) {
  return name.find_first_of(std::string("\\/:\0", 4)) == std::string::npos;
}

bool DeleteFileAt(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

bool RenameFile(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool WriteAllBytes(int fd, const char* data, size_t size) {
  while (size > 0) {
    const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
    const int n = ::_write(fd, data, chunk);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

namespace {

// A new file beside `path`, opened for binary writing, not inherited by
// child processes. -1 when none could be made.
int CreateTemporaryBeside(const std::string& path, std::string* temp) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, ".%lx-%x.tmp", ::GetCurrentProcessId(),
                  counter.fetch_add(1) ^ static_cast<unsigned>(::GetTickCount()));
    *temp = path + suffix;
    const int fd = ::_open(temp->c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                           _S_IREAD | _S_IWRITE);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

}  // namespace

bool ReplaceFileWhole(const std::string& path, const std::function<bool(int fd)>& write_content) {
  std::string temp;
  const int fd = CreateTemporaryBeside(path, &temp);
  if (fd < 0) return false;
  bool ok = false;
  try {
    ok = write_content(fd);
  } catch (...) {
    ok = false;
  }
  ok = ok && ::_commit(fd) == 0;  // FlushFileBuffers
  ok = (::_close(fd) == 0) && ok;
  if (ok && ::MoveFileExA(temp.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
    return true;
  }
  ::DeleteFileA(temp.c_str());
  return false;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
  // A file marked read-only (or a directory of that name) is left alone.
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return false;
  }
  return ReplaceFileWhole(path,
                          [&](int fd) { return WriteAllBytes(fd, bytes.data(), bytes.size()); });
}
