#ifndef PLATFORM_SYSTEM_ERROR_H_
#define PLATFORM_SYSTEM_ERROR_H_

// The system's error codes in words, in one place per system: every OS
// error that becomes text goes through here.

#include <string>

#include "platform/outcome.h"

// The words for an errno value (POSIX, and the C runtime's on Windows):
// "Permission denied". Safe from any thread.
std::string ErrnoText(int error_number);

// A failure whose reason is the words for `error_number`, after
// "`context`: " when a context is given ("/tmp/x: No such file or directory").
inline Outcome PosixError(int error_number) { return Outcome::Error(ErrnoText(error_number)); }
inline Outcome PosixError(const std::string& context, int error_number) {
  return Outcome::Error(context + ": " + ErrnoText(error_number));
}

#ifdef _WIN32
// The system's words for a GetLastError() code, or for a code of the module
// `module` names ("wininet.dll"), without the closing dot and line end; ""
// when it has none.
std::string WindowsErrorText(unsigned long error_code, const char* module = nullptr);

// As PosixError, for a GetLastError() code; "error N" where the system has
// no words for it.
Outcome WindowsError(unsigned long error_code);
Outcome WindowsError(const std::string& context, unsigned long error_code);
#endif

#endif  // PLATFORM_SYSTEM_ERROR_H_
