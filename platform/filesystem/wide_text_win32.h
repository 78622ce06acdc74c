#ifndef PLATFORM_FILESYSTEM_WIDE_TEXT_WIN32_H_
#define PLATFORM_FILESYSTEM_WIDE_TEXT_WIN32_H_

#include <windows.h>

#include <string>

// The program's UTF-8 text and Windows' UTF-16, for the wide calls: they take
// and give any name, where an ANSI call (or Wine's count of its bytes) may
// lose characters.

// `text` in UTF-16, false when it is not text in `code_page`.
bool ToWide(const std::string& text, UINT code_page, std::wstring* wide);
// `wide` in `code_page`, false when a character has no exact spelling there
// (a surrogate without its pair has none).
bool FromWide(const std::wstring& wide, UINT code_page, std::string* text);

// `text` in UTF-16; "" when it is not UTF-8.
std::wstring WideFromUtf8(const std::string& text);
// `wide` in UTF-8; "" when it is not UTF-16.
std::string Utf8FromWide(const std::wstring& wide);

#endif  // PLATFORM_FILESYSTEM_WIDE_TEXT_WIN32_H_
