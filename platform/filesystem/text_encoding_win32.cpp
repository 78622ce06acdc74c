// Windows: a file's text is UTF-16 when it starts with its byte-order mark
// and is whole UTF-16, else UTF-8 when it is valid UTF-8, else in the
// system's legacy ANSI code page; the program's own text is in the process's
// code page (UTF-8 when the manifest's activeCodePage is honoured).
#include <windows.h>

#include <string>

#include "platform/filesystem/text_encoding.h"
#include "platform/filesystem/wide_text_win32.h"

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";

// The ANSI code page of the system's locale. GetACP() does not say it when
// the manifest makes UTF-8 the process's code page. (GetLocaleInfoEx does not
// take LOCALE_NAME_SYSTEM_DEFAULT under Wine; LOCALE_SYSTEM_DEFAULT is the
// same locale everywhere.)
UINT LegacyAnsiCodePage() {
  DWORD code_page = 0;
  const int n =
      ::GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&code_page), sizeof code_page / sizeof(WCHAR));
  // 0: a locale with no ANSI code page of its own (Unicode only).
  return n != 0 && code_page != 0 ? code_page : ::GetACP();
}

// `text` from code page `from` to `to`; as it is when it cannot be converted
// without loss.
std::string Convert(const std::string& text, UINT from, UINT to) {
  if (from == to) return text;
  std::wstring wide;
  std::string converted;
  if (!ToWide(text, from, &wide) || !FromWide(wide, to, &converted)) return text;
  return converted;
}

bool StartsWithByteOrderMark(const std::string& text) {
  return text.compare(0, 3, kByteOrderMark) == 0;
}

const char kUtf16LeMark[] = "\xFF\xFE";
const char kUtf16BeMark[] = "\xFE\xFF";

}  // namespace

bool DecodeWideFileText(const std::string& bytes, std::string* text, FileTextEncoding* encoding) {
  FileTextEncoding found;
  if (bytes.compare(0, 2, kUtf16LeMark) == 0) {
    found = FileTextEncoding::kUtf16Le;
  } else if (bytes.compare(0, 2, kUtf16BeMark) == 0) {
    found = FileTextEncoding::kUtf16Be;
  } else {
    return false;
  }
  if (bytes.size() % 2 != 0) return false;
  const bool big_endian = found == FileTextEncoding::kUtf16Be;
  std::wstring wide;
  wide.reserve(bytes.size() / 2 - 1);
  for (size_t i = 2; i < bytes.size(); i += 2) {
    const unsigned first = static_cast<unsigned char>(bytes[i]);
    const unsigned second = static_cast<unsigned char>(bytes[i + 1]);
    wide += static_cast<wchar_t>(big_endian ? first << 8 | second : second << 8 | first);
  }
  std::string converted;
  // FromWide refuses a surrogate without its pair.
  if (!FromWide(wide, ::GetACP(), &converted)) return false;
  *text = std::move(converted);
  *encoding = found;
  return true;
}

std::string DecodeFileText(const std::string& bytes, FileTextEncoding* encoding) {
  const bool mark = StartsWithByteOrderMark(bytes);
  const std::string body = mark ? bytes.substr(3) : bytes;
  std::wstring unused;
  if (ToWide(body, CP_UTF8, &unused)) {
    *encoding = FileTextEncoding::kUtf8;
    return (mark ? kByteOrderMark : "") + Convert(body, CP_UTF8, ::GetACP());
  }
  *encoding = FileTextEncoding::kLegacyAnsi;
  return Convert(bytes, LegacyAnsiCodePage(), ::GetACP());
}

std::string EncodeFileText(const std::string& text, FileTextEncoding encoding) {
  if (IsWideFileTextEncoding(encoding)) {
    std::wstring wide;
    if (!ToWide(text, ::GetACP(), &wide)) return text;
    const bool big_endian = encoding == FileTextEncoding::kUtf16Be;
    std::string bytes = big_endian ? kUtf16BeMark : kUtf16LeMark;
    bytes.reserve(2 + 2 * wide.size());
    for (const wchar_t c : wide) {
      const char high = static_cast<char>(c >> 8 & 0xFF);
      const char low = static_cast<char>(c & 0xFF);
      bytes += big_endian ? high : low;
      bytes += big_endian ? low : high;
    }
    return bytes;
  }
  if (encoding == FileTextEncoding::kLegacyAnsi) {
    return Convert(text, ::GetACP(), LegacyAnsiCodePage());
  }
  const bool mark = StartsWithByteOrderMark(text);
  return (mark ? kByteOrderMark : "") + Convert(mark ? text.substr(3) : text, ::GetACP(), CP_UTF8);
}
