#include "platform/filesystem/wide_text_win32.h"

#include <climits>

bool ToWide(const std::string& text, UINT code_page, std::wstring* wide) {
  wide->clear();
  if (text.empty()) return true;
  if (text.size() > INT_MAX) return false;
  const int size = static_cast<int>(text.size());
  const int n =
      ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (n <= 0) return false;
  wide->resize(static_cast<size_t>(n));
  return ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), size, &(*wide)[0],
                               n) == n;
}

bool FromWide(const std::wstring& wide, UINT code_page, std::string* text) {
  text->clear();
  if (wide.empty()) return true;
  if (wide.size() > INT_MAX) return false;
  const int size = static_cast<int>(wide.size());
  const bool utf8 = code_page == CP_UTF8;
  // UTF-8 takes neither flags nor a default character.
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL defaulted = FALSE;
  BOOL* used_default = utf8 ? nullptr : &defaulted;
  const int n =
      ::WideCharToMultiByte(code_page, flags, wide.data(), size, nullptr, 0, nullptr, used_default);
  if (n <= 0 || defaulted) return false;
  text->resize(static_cast<size_t>(n));
  return ::WideCharToMultiByte(code_page, flags, wide.data(), size, &(*text)[0], n, nullptr,
                               used_default) == n &&
         !defaulted;
}

std::wstring WideFromUtf8(const std::string& text) {
  std::wstring wide;
  return ToWide(text, CP_UTF8, &wide) ? wide : std::wstring();
}

std::string Utf8FromWide(const std::wstring& wide) {
  std::string text;
  return FromWide(wide, CP_UTF8, &text) ? text : std::string();
}
