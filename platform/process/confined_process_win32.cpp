#include "platform/process/confined_process_win32.h"

#include <psapi.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/filesystem/wide_text_win32.h"

namespace {

// How often the watchdog looks at the child's time and memory.
constexpr DWORD kWatchIntervalMs = 20;
// The exit code of a child ended by its parent.
constexpr UINT kEndedByParent = 0xDEC0DE;

// The largest piece of one ReadFile or WriteFile call.
constexpr size_t kLargestPiece = 1u << 30;
// The pipes' buffers: a picture's rows go through them.
constexpr DWORD kPipeBuffer = 1u << 20;

// A handle's value as the child reads it from its command line.
std::string HandleText(HANDLE handle) {
  return std::to_string(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
}

bool ParseHandle(const std::string& text, HANDLE* handle) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *handle =
      reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(text.c_str(), nullptr, 10)));
  return true;
}

// One word of a command line, quoted as the C runtime reads it back.
std::wstring Quoted(const std::wstring& word) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

std::wstring ThisProgram() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);
  }
}

// The caller's token, restricted: no privilege but walking folders, the
// Administrators group for denying only, and low integrity.
OwnedHandle RestrictedToken() {
  HANDLE own = nullptr;
  if (!::OpenProcessToken(
          ::GetCurrentProcess(),
          TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT, &own)) {
    return OwnedHandle();
  }
  const OwnedHandle own_token(own);
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD administrators_size = sizeof administrators;
  SID_AND_ATTRIBUTES deny_only = {administrators, 0};
  const bool have_administrators = ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr,
                                                        administrators, &administrators_size);
  HANDLE restricted = nullptr;
  if (!::CreateRestrictedToken(own_token.get(), DISABLE_MAX_PRIVILEGE, have_administrators ? 1 : 0,
                               have_administrators ? &deny_only : nullptr, 0, nullptr, 0, nullptr,
                               &restricted)) {
    return OwnedHandle();
  }
  OwnedHandle token(restricted);
  BYTE low[SECURITY_MAX_SID_SIZE];
  DWORD low_size = sizeof low;
  if (!::CreateWellKnownSid(WinLowLabelSid, nullptr, low, &low_size)) return OwnedHandle();
  TOKEN_MANDATORY_LABEL label = {};
  label.Label.Attributes = SE_GROUP_INTEGRITY;
  label.Label.Sid = low;
  if (!::SetTokenInformation(token.get(), TokenIntegrityLevel, &label,
                             sizeof label + ::GetLengthSid(low))) {
    return OwnedHandle();
  }
  return token;
}

// A job for one child: the limits of the header.
OwnedHandle ConfiningJob(unsigned long long memory_limit) {
  OwnedHandle job(::CreateJobObjectW(nullptr, nullptr));
  if (!job.valid()) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_ACTIVE_PROCESS | JOB_OBJECT_LIMIT_PROCESS_MEMORY |
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  limits.BasicLimitInformation.ActiveProcessLimit = 1;
  limits.ProcessMemoryLimit = static_cast<SIZE_T>(memory_limit);
  JOBOBJECT_BASIC_UI_RESTRICTIONS ui = {};
  ui.UIRestrictionsClass = JOB_OBJECT_UILIMIT_DESKTOP | JOB_OBJECT_UILIMIT_DISPLAYSETTINGS |
                           JOB_OBJECT_UILIMIT_EXITWINDOWS | JOB_OBJECT_UILIMIT_GLOBALATOMS |
                           JOB_OBJECT_UILIMIT_HANDLES | JOB_OBJECT_UILIMIT_READCLIPBOARD |
                           JOB_OBJECT_UILIMIT_SYSTEMPARAMETERS | JOB_OBJECT_UILIMIT_WRITECLIPBOARD;
  if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits) ||
      !::SetInformationJobObject(job.get(), JobObjectBasicUIRestrictions, &ui, sizeof ui)) {
    return OwnedHandle();
  }
  return job;
}

// A pipe whose one end the child inherits: `parent` is the parent's end,
// `child` the child's (inheritable).
bool MakePipe(bool child_reads, OwnedHandle* parent, OwnedHandle* child) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!::CreatePipe(&read, &write, &inheritable, kPipeBuffer)) return false;
  *parent = OwnedHandle(child_reads ? write : read);
  *child = OwnedHandle(child_reads ? read : write);
  return ::SetHandleInformation(parent->get(), HANDLE_FLAG_INHERIT, 0) != 0;
}

// Starts `command_line` suspended as `token`, inheriting `handles` only.
bool CreateSuspended(HANDLE token, std::wstring command_line, std::vector<HANDLE> handles,
                     PROCESS_INFORMATION* started) {
  SIZE_T size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<unsigned char> storage(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return false;
  std::unique_ptr<_PROC_THREAD_ATTRIBUTE_LIST, void (*)(LPPROC_THREAD_ATTRIBUTE_LIST)> owned(
      attributes, ::DeleteProcThreadAttributeList);
  if (!::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                   handles.size() * sizeof(HANDLE), nullptr, nullptr)) {
    return false;
  }
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.lpAttributeList = attributes;
  return ::CreateProcessAsUserW(token, nullptr, &command_line[0], nullptr, nullptr, TRUE,
                                CREATE_SUSPENDED | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT,
                                nullptr, nullptr, &startup.StartupInfo, started) != 0;
}

}  // namespace

ConfinedProcess::~ConfinedProcess() { End(); }

bool ConfinedProcess::Start(const std::string& option, const std::vector<std::string>& arguments,
                            const std::vector<HANDLE>& handed, unsigned long long memory_limit) {
  End();
  memory_limit_ = memory_limit;
  exceeded_memory_ = false;
  OwnedHandle child_reads, child_writes;
  const OwnedHandle token = RestrictedToken();
  job_ = ConfiningJob(memory_limit);
  const std::wstring program = ThisProgram();
  if (!token.valid() || !job_.valid() || program.empty() ||
      !MakePipe(true, &to_child_, &child_reads) || !MakePipe(false, &from_child_, &child_writes)) {
    End();
    return false;
  }
  std::vector<HANDLE> inherited = {child_reads.get(), child_writes.get()};
  inherited.insert(inherited.end(), handed.begin(), handed.end());
  std::wstring command_line = Quoted(program) + L" " + Quoted(WideFromUtf8(option));
  for (const std::string& argument : arguments)
    command_line += L" " + Quoted(WideFromUtf8(argument));
  for (HANDLE handle : inherited) command_line += L" " + WideFromUtf8(HandleText(handle));
  PROCESS_INFORMATION started = {};
  if (!CreateSuspended(token.get(), command_line, inherited, &started)) {
    End();
    return false;
  }
  process_ = OwnedHandle(started.hProcess);
  const OwnedHandle thread(started.hThread);
  if (!::AssignProcessToJobObject(job_.get(), process_.get()) ||
      ::ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
    End();
    return false;
  }
  stop_watching_ = OwnedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!stop_watching_.valid()) {
    End();
    return false;
  }
  watchdog_ = std::thread([this] { Watch(); });
  return true;
}

bool ConfinedProcess::Send(const void* data, size_t size) {
  return to_child_.valid() && WriteWhole(to_child_.get(), data, size);
}

bool ConfinedProcess::Receive(void* data, size_t size, int timeout_ms) {
  if (!from_child_.valid()) return false;
  deadline_ = ::GetTickCount64() + static_cast<unsigned long long>(timeout_ms);
  const bool received = ReadWhole(from_child_.get(), data, size);
  deadline_ = 0;
  // The peak is measured while the child lives: a child that went over the
  // limit between two looks of the watchdog is caught here.
  if (received && WithinMemoryLimit()) return true;
  Kill();
  return false;
}

void ConfinedProcess::End() {
  Kill();
  if (watchdog_.joinable()) {
    ::SetEvent(stop_watching_.get());
    watchdog_.join();
  }
  stop_watching_.Close();
  to_child_.Close();
  from_child_.Close();
  process_.Close();
  job_.Close();
}

void ConfinedProcess::Kill() {
  if (job_.valid()) ::TerminateJobObject(job_.get(), kEndedByParent);
  // A child that never made it into the job (still suspended) ends too.
  if (process_.valid()) ::TerminateProcess(process_.get(), kEndedByParent);
}

bool ConfinedProcess::WithinMemoryLimit() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!::GetProcessMemoryInfo(process_.get(), &counters, sizeof counters)) return true;
  if (counters.PeakPagefileUsage <= memory_limit_) return true;
  exceeded_memory_ = true;
  return false;
}

void ConfinedProcess::Watch() {
  const HANDLE waits[] = {stop_watching_.get(), process_.get()};
  while (::WaitForMultipleObjects(2, waits, FALSE, kWatchIntervalMs) == WAIT_TIMEOUT) {
    const unsigned long long deadline = deadline_;
    if (!WithinMemoryLimit() || (deadline != 0 && ::GetTickCount64() >= deadline)) {
      Kill();
      return;
    }
  }
}

bool IsConfinedChild(const std::vector<std::string>& words, const std::string& option,
                     size_t argument_count, ConfinedChildHandles* handles) {
  if (words.size() < 4 + argument_count || words[1] != option) return false;
  ConfinedChildHandles found;
  found.arguments.assign(words.begin() + 2, words.begin() + 2 + argument_count);
  const size_t first = 2 + argument_count;
  if (!ParseHandle(words[first], &found.from_parent) ||
      !ParseHandle(words[first + 1], &found.to_parent)) {
    return false;
  }
  for (size_t i = first + 2; i < words.size(); ++i) {
    HANDLE handle = nullptr;
    if (!ParseHandle(words[i], &handle)) return false;
    found.handed.push_back(handle);
  }
  // No error box and no debugger for what goes wrong in here: the parent
  // sees a child that ended.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG {
    ::TerminateProcess(::GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
  });
  *handles = std::move(found);
  return true;
}

bool ReadWhole(HANDLE handle, void* data, size_t size) {
  auto* bytes = static_cast<unsigned char*>(data);
  while (size > 0) {
    DWORD got = 0;
    const DWORD ask = static_cast<DWORD>(size < kLargestPiece ? size : kLargestPiece);
    if (!::ReadFile(handle, bytes, ask, &got, nullptr) || got == 0) return false;
    bytes += got;
    size -= got;
  }
  return true;
}

bool WriteWhole(HANDLE handle, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    DWORD put = 0;
    const DWORD ask = static_cast<DWORD>(size < kLargestPiece ? size : kLargestPiece);
    if (!::WriteFile(handle, bytes, ask, &put, nullptr) || put == 0) return false;
    bytes += put;
    size -= put;
  }
  return true;
}
