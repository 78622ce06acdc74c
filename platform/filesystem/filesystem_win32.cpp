// The Windows file-system rules: a drive letter and colon, "\" (or "/") as
// separator, files replaced with MoveFileExA.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/filesystem/filesystem.h"
#include "platform/owned_handle.h"
#include "platform/system_error.h"

std::string GetDirOfPath(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) return path.substr(0, separator + 1);
  // "C:name": the drive alone.
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  return "";
}

bool IsAbsolutePath(const std::string& path) { return path.size() > 2 && path[1] == ':'; }

std::string GetCurrentDir() {
  char buffer[MAX_PATH + 1];
  const DWORD n = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  if (n == 0 || n >= sizeof buffer) return "";
  std::string dir(buffer, n);
  if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
  return dir;
}

bool FileExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsPlainFileName(const std::string& name) {
  return name.find_first_of(std::string("\\/:\0", 4)) == std::string::npos;
}

Outcome DeleteFileAt(const std::string& path) {
  return ::DeleteFileA(path.c_str()) != 0 ? Outcome::Ok() : WindowsError(::GetLastError());
}

Outcome RenameFile(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0
             ? Outcome::Ok()
             : WindowsError(::GetLastError());
}

bool WriteAllBytes(int fd, const char* data, size_t size) {
  while (size > 0) {
    const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
    const int n = ::_write(fd, data, chunk);
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

// A new file beside `path`, opened for binary writing, not inherited by
// child processes. -1, with errno saying why, when none could be made.
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

bool IsHexRun(const std::string& text, size_t from, size_t to) {
  if (from >= to) return false;
  for (size_t i = from; i < to; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

// True for the name of a temporary that CreateTemporaryBeside makes for the
// file `name`: "NAME.<hex>-<hex>.tmp".
bool IsTemporaryNameOf(const std::string& candidate, const std::string& name) {
  const std::string suffix = ".tmp";
  if (candidate.size() <= name.size() + 1 + suffix.size() ||
      candidate.compare(0, name.size() + 1, name + ".") != 0 ||
      candidate.compare(candidate.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  const size_t start = name.size() + 1;
  const size_t end = candidate.size() - suffix.size();
  const size_t dash = candidate.find('-', start);
  return dash != std::string::npos && dash < end && IsHexRun(candidate, start, dash) &&
         IsHexRun(candidate, dash + 1, end);
}

// Removes what saves of `path` that were killed left beside it: our
// temporaries last written over ten minutes ago (a save takes far less; one
// still being written is also open without delete sharing and would stay).
void RemoveStrayTemporaries(const std::string& path) {
  const std::string dir = GetDirOfPath(path);
  const std::string name = path.substr(dir.size());
  FILETIME now_time;
  ::GetSystemTimeAsFileTime(&now_time);
  const auto ticks = [](const FILETIME& t) {  // 100 ns each
    return static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
  };
  const unsigned long long now = ticks(now_time);
  constexpr unsigned long long kTenMinutes = 10ULL * 60 * 10000000;
  WIN32_FIND_DATAA found;
  const OwnedFindHandle search(::FindFirstFileA((path + ".*-*.tmp").c_str(), &found));
  if (!search.valid()) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        IsTemporaryNameOf(found.cFileName, name) &&
        ticks(found.ftLastWriteTime) + kTenMinutes < now) {
      ::DeleteFileA((dir + found.cFileName).c_str());
    }
  } while (::FindNextFileA(search.get(), &found));
}

}  // namespace

Outcome ReplaceFileWhole(const std::string& path,
                         const std::function<bool(int fd)>& write_content) {
  std::string temp;
  OwnedFd file(CreateTemporaryBeside(path, &temp));
  if (!file.valid()) return PosixError(errno);
  bool written = false;
  errno = 0;
  try {
    written = write_content(file.get());
  } catch (...) {
    written = false;
  }
  Outcome outcome;
  if (!written) {
    outcome =
        errno != 0 ? PosixError(errno) : Outcome::Error("the new content could not be written");
  } else if (::_commit(file.get()) != 0) {  // FlushFileBuffers
    outcome = PosixError(errno);
  }
  if (!file.Close() && outcome.ok()) outcome = PosixError(errno);
  if (outcome.ok() && ::MoveFileExA(temp.c_str(), path.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    outcome = WindowsError(::GetLastError());
  }
  if (!outcome.ok()) {
    ::DeleteFileA(temp.c_str());
    return outcome;
  }
  RemoveStrayTemporaries(path);
  return Outcome::Ok();
}

void WithFileLock(const std::string& lock_path, const std::function<void()>& work) {
  const OwnedHandle file(::CreateFileA(lock_path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       /*lpSecurityAttributes=*/nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr));
  OVERLAPPED whole = {};
  const bool locked = file.valid() && ::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK,
                                                   /*dwReserved=*/0, MAXDWORD, MAXDWORD, &whole);
  work();
  if (locked) ::UnlockFileEx(file.get(), /*dwReserved=*/0, MAXDWORD, MAXDWORD, &whole);
}

Outcome ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
  // A file marked read-only (or a directory of that name) is left alone.
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Outcome::Error("not a regular file");
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      return Outcome::Error("the file is marked read-only");
    }
  }
  return ReplaceFileWhole(path,
                          [&](int fd) { return WriteAllBytes(fd, bytes.data(), bytes.size()); });
}
