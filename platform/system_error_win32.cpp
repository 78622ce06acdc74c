#include <windows.h>

#include <cstring>

#include "platform/system_error.h"

std::string ErrnoText(int error_number) {
  char buffer[256] = "";
  if (::strerror_s(buffer, sizeof buffer, error_number) != 0 || buffer[0] == '\0') {
    return "error " + std::to_string(error_number);
  }
  return buffer;
}

std::string WindowsErrorText(unsigned long error_code, const char* module) {
  DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  HMODULE source = nullptr;
  if (module != nullptr) {
    source = ::GetModuleHandleA(module);
    flags |= FORMAT_MESSAGE_FROM_HMODULE;
  }
  char* words = nullptr;
  const DWORD length =
      ::FormatMessageA(flags, source, error_code, /*dwLanguageId=*/0,
                       reinterpret_cast<char*>(&words), /*nSize=*/0, /*Arguments=*/nullptr);
  std::string text;
  if (length > 0 && words != nullptr) text.assign(words, length);
  if (words != nullptr) ::LocalFree(words);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

Outcome WindowsError(unsigned long error_code) {
  const std::string words = WindowsErrorText(error_code);
  return Outcome::Error(words.empty() ? "error " + std::to_string(error_code) : words);
}

Outcome WindowsError(const std::string& context, unsigned long error_code) {
  return Outcome::Error(context + ": " + WindowsError(error_code).message());
}
