#ifndef PLATFORM_FILESYSTEM_TEXT_ENCODING_H_
#define PLATFORM_FILESYSTEM_TEXT_ENCODING_H_

#include <string>

// The encoding of a text file the user edits (Sites.ini) against the
// program's own text, the code page its paths and messages are in.
//
// POSIX: bytes are kept as they are both ways; the file is always kUtf8.
// Windows: the program's text is in the process's code page (GetACP(): UTF-8
// through the manifest). A file whose bytes are valid UTF-8 is kUtf8; any
// other is kLegacyAnsi, in the system's legacy ANSI code page (the one the
// locale names, whatever the manifest says). Either is converted to the
// program's text, and back on saving. A conversion that would lose a
// character (one the target code page cannot spell, bytes that are not text
// in the source) is not made: the bytes then pass as they are.

enum class FileTextEncoding { kUtf8, kLegacyAnsi };

// The program's text for a file's `bytes` (a UTF-8 byte-order mark at their
// start is kept), and in `encoding` what the file was read as.
std::string DecodeFileText(const std::string& bytes, FileTextEncoding* encoding);

// The bytes of a file in `encoding` for the program's `text`.
std::string EncodeFileText(const std::string& text, FileTextEncoding encoding);

#endif  // PLATFORM_FILESYSTEM_TEXT_ENCODING_H_
