#ifndef PLATFORM_FILESYSTEM_TEXT_ENCODING_H_
#define PLATFORM_FILESYSTEM_TEXT_ENCODING_H_

#include <string>

// The encoding of a text file the user edits (Sites.ini) against the
// program's own text, the code page its paths and messages are in.
//
// POSIX: bytes are kept as they are both ways; the file is always kUtf8.
// Windows: the program's text is in the process's code page (GetACP(): UTF-8
// through the manifest). A file that starts with a UTF-16 byte-order mark
// (FF FE little-endian, FE FF big-endian, what Notepad's "Unicode" and
// PowerShell 5.1 write) and is whole UTF-16 after it is kUtf16Le or
// kUtf16Be. Otherwise a file whose bytes are valid UTF-8 is kUtf8; any other
// is kLegacyAnsi, in the system's legacy ANSI code page (the one the locale
// names, whatever the manifest says). Each is converted to the program's
// text, and back on saving. A conversion that would lose a character (one
// the target code page cannot spell, bytes that are not text in the source)
// is not made: the bytes then pass as they are. So UTF-16 that is not whole
// (an odd byte count, a surrogate without its pair) is read as bytes, like a
// file in no known encoding, and never rewritten with a character changed.

enum class FileTextEncoding { kUtf8, kLegacyAnsi, kUtf16Le, kUtf16Be };

// True for UTF-16, whose line ends and 0x1A are characters of two bytes:
// text mode (platform/filesystem/text_file.h) applies to its decoded text, so
// such a file is decoded (DecodeWideFileText) before text-mode reading and
// encoded after text-mode writing. The other encodings are decoded
// (DecodeFileText) after text-mode reading and encoded before its writing.
inline bool IsWideFileTextEncoding(FileTextEncoding encoding) {
  return encoding == FileTextEncoding::kUtf16Le || encoding == FileTextEncoding::kUtf16Be;
}

// Windows: true when a file's whole `bytes`, as on disk, are UTF-16 with its
// byte-order mark that converts to the program's text: that text (the mark
// left out, line ends as on disk) in `text`, and in `encoding` which UTF-16.
// False, `text` and `encoding` untouched, for any other bytes. POSIX: always
// false.
bool DecodeWideFileText(const std::string& bytes, std::string* text, FileTextEncoding* encoding);

// The program's text for a file's `bytes` after text-mode reading (a UTF-8
// byte-order mark at their start is kept), and in `encoding` what the file
// was read as: kUtf8 or kLegacyAnsi.
std::string DecodeFileText(const std::string& bytes, FileTextEncoding* encoding);

// The bytes of a file in `encoding` for the program's `text`: for kUtf8 and
// kLegacyAnsi before text-mode writing, for UTF-16 (its byte-order mark
// first) after it.
std::string EncodeFileText(const std::string& text, FileTextEncoding encoding);

#endif  // PLATFORM_FILESYSTEM_TEXT_ENCODING_H_
