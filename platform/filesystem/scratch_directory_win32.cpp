#include <windows.h>

#include <cstdlib>
#include <mutex>

#include "platform/filesystem/scratch_directory.h"
#include "platform/owned_handle.h"
#include "platform/system_error.h"

namespace {

std::mutex g_mutex;
std::string g_path;  // with a trailing backslash; "" when none is active

// Removes the files in the directory, then the directory.
void RemoveScratch() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_path.empty()) return;
  for (int pass = 0; pass < 100; ++pass) {
    WIN32_FIND_DATAA found;
    const OwnedFindHandle search(::FindFirstFileA((g_path + "*").c_str(), &found));
    if (search.valid()) {
      do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") ::DeleteFileA((g_path + name).c_str());
      } while (::FindNextFileA(search.get(), &found));
    }
    if (::RemoveDirectoryA(g_path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND) break;
    ::Sleep(10);
  }
  g_path.clear();
}

// Runs on a thread of its own; returning FALSE lets the default handler end
// the process.
BOOL WINAPI OnConsoleEvent(DWORD) {
  RemoveScratch();
  return FALSE;
}

void RemoveAtExit() { RemoveScratch(); }

}  // namespace

ScratchDirectory::ScratchDirectory() {
  char base[MAX_PATH + 1];
  const DWORD length = ::GetTempPathA(sizeof base, base);
  if (length == 0 || length > MAX_PATH) {
    outcome_ = length == 0 ? WindowsError("the temporary directory", ::GetLastError())
                           : Outcome::Error("the temporary directory's path is too long");
    return;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_path.empty()) {
    outcome_ = Outcome::Error("another one is in use");
    return;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = std::string(base) + "wallpaper-fetcher-check-" +
                                  std::to_string(::GetCurrentProcessId()) + "." +
                                  std::to_string(::GetTickCount() + attempt);
    if (::CreateDirectoryA(candidate.c_str(), nullptr)) {
      g_path = candidate + "\\";
      break;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS || attempt == 99) {
      outcome_ = WindowsError(candidate, error);
      return;
    }
  }
  static bool at_exit_registered = false;
  if (!at_exit_registered) at_exit_registered = std::atexit(RemoveAtExit) == 0;
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  path_ = g_path;
}

ScratchDirectory::~ScratchDirectory() {
  if (path_.empty()) return;
  RemoveScratch();
  ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}
