#include "platform/filesystem/wide_text_win32.h"

#include <windows.h>

#include <climits>

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty() || text.size() > INT_MAX) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, &wide[0], n) != n)
    return std::wstring();
  return wide;
}

std::string Utf8FromWide(const std::wstring& wide) {
  if (wide.empty() || wide.size() > INT_MAX) return std::string();
  const int size = static_cast<int>(wide.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr, 0,
                                      nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string text(static_cast<size_t>(n), '\0');
  if (::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, &text[0], n, nullptr,
                            nullptr) != n)
    return std::string();
  return text;
}
