// Single instance on Windows: the named mutex "UniqueAppTextMutex" makes the
// create-or-find of a 4-byte named shared memory and the storing of the
// first instance's process id in it one step. The mapping handle stays open
// for the life of the process, so the name goes away with the first instance
// however it ends.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/desktop/process_window.h"
#include "platform/instance_lock/instance_lock.h"
#include "platform/owned_handle.h"

namespace {

constexpr char kMutexName[] = "UniqueAppTextMutex";
constexpr char kMappingStem[] = "Application-Unique-Check-Is-Present";
constexpr size_t kNameBufferSize = 512;  // terminating zero included
constexpr DWORD kMappingSize = 4;

// A mapped view, unmapped when it goes out of scope.
class ScopedView {
 public:
  ScopedView(HANDLE mapping, DWORD access)
      : view_(::MapViewOfFile(mapping, access, 0, 0, kMappingSize)) {}
  ~ScopedView() {
    if (view_ != nullptr) ::UnmapViewOfFile(view_);
  }
  ScopedView(const ScopedView&) = delete;
  ScopedView& operator=(const ScopedView&) = delete;
  volatile uint32_t* get() const { return static_cast<volatile uint32_t*>(view_); }

 private:
  void* view_;
};

// The running file's full path; `program_path` when it cannot be had.
std::string ModulePath(const std::string& program_path) {
  char buffer[MAX_PATH + 1];
  const DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return program_path;
  return std::string(buffer, n);
}

// Every start of the same program file forms the same suffix: the drive
// letter, then a hash of the full path in lower case (Windows compares file
// names without case). No backslash: Windows reads one in an object name as
// a namespace separator.
std::string DerivedSuffix(const std::string& path) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (char c : path) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<unsigned char>(byte - 'A' + 'a');
    if (byte == '/') byte = '\\';
    hash ^= byte;
    hash *= 1099511628211ull;
  }
  char text[40];
  const char drive = path.size() >= 2 && path[1] == ':' ? path[0] : '_';
  std::snprintf(text, sizeof text, "-%c-%016llx", drive, static_cast<unsigned long long>(hash));
  return text;
}

// wallpaper-fetcher.com, the console program beside the .exe, is the same
// program as the .exe: both claim under the .exe's name.
std::string ProgramFile(const std::string& path) {
  const size_t n = path.size();
  if (n > 4 && _stricmp(path.c_str() + n - 4, ".com") == 0) return path.substr(0, n - 4) + ".exe";
  return path;
}

std::string MappingName(const std::string& program_path, const std::string& unique_name) {
  std::string suffix =
      unique_name.empty() ? DerivedSuffix(ProgramFile(ModulePath(program_path))) : unique_name;
  for (char& c : suffix) {
    if (c == '\\') c = '/';
  }
  std::string name = kMappingStem + suffix;
  if (name.size() > kNameBufferSize - 1) name.resize(kNameBufferSize - 1);
  return name;
}

// When process `pid` started, 0 when it cannot be told.
std::time_t ProcessStartTime(DWORD pid) {
  const OwnedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  FILETIME created, exited, kernel, user;
  if (!process.valid() || !::GetProcessTimes(process.get(), &created, &exited, &kernel, &user))
    return 0;
  // 100-nanosecond steps since 1601-01-01.
  const unsigned long long steps =
      (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  constexpr unsigned long long kStepsTo1970 = 116444736000000000ull;
  if (steps <= kStepsTo1970) return 0;
  return static_cast<std::time_t>((steps - kStepsTo1970) / 10000000ull);
}

void BringForward(HANDLE mapping, RunningCopy* running) {
  ScopedView view(mapping, FILE_MAP_READ);
  if (view.get() == nullptr) return;
  const DWORD pid = *view.get();
  if (running != nullptr && pid != 0) {
    running->pid = pid;
    running->started = ProcessStartTime(pid);
  }
  BringWindowOfProcessForward(pid);
}

}  // namespace

bool ClaimSingleInstance(const std::string& program_path, const std::string& unique_name,
                         std::string* problem, RunningCopy* running) {
  problem->clear();
  const std::string name = MappingName(program_path, unique_name);

  const OwnedHandle mutex(::CreateMutexA(nullptr, FALSE, kMutexName));
  // Without a mutex the wait fails at once and the check goes on unserialised.
  ::WaitForSingleObject(mutex.get(), INFINITE);

  // Kept open for the life of the process: it is the claim. The system
  // closes it when the process ends, however it ends.
  const HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              kMappingSize, name.c_str());
  const DWORD created = ::GetLastError();
  if (mapping != nullptr && created == ERROR_ALREADY_EXISTS) {
    BringForward(mapping, running);
    // The mapping is closed before the mutex is released, so that an
    // instance that starts after the first has ended never finds it kept
    // alive by this one.
    ::CloseHandle(mapping);
    if (mutex.valid()) ::ReleaseMutex(mutex.get());
    return false;
  }
  static OwnedHandle claim(mapping);
  if (mapping != nullptr) {
    ScopedView view(mapping, FILE_MAP_WRITE);
    if (view.get() != nullptr) *view.get() = ::GetCurrentProcessId();
  } else {
    *problem = "cannot create the shared memory " + name + " (error " + std::to_string(created) +
               "); running without a single-instance claim";
  }
  if (mutex.valid()) ::ReleaseMutex(mutex.get());
  return true;
}
