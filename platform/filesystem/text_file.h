#ifndef PLATFORM_FILESYSTEM_TEXT_FILE_H_
#define PLATFORM_FILESYSTEM_TEXT_FILE_H_

#include <cstddef>
#include <string>

#include "platform/outcome.h"

// Text files as the Windows C runtime's text mode keeps them, on every
// platform, so that Sites.ini and log.log move between systems unchanged:
// LF in memory is CR LF on disk; on reading, CR LF becomes LF, a lone CR
// stays, and a byte 0x1A ends the content.

// The disk bytes for `text` (each LF written as CR LF).
std::string ToTextMode(const std::string& text);

// The text held by the disk bytes `bytes`.
std::string FromTextMode(const std::string& bytes);

// Reads a whole file's bytes as they are on disk. Returns false (and leaves
// `bytes` empty) when it cannot be opened or read, or holds more than
// `max_bytes` bytes.
bool ReadWholeFile(const std::string& path, std::string* bytes,
                   size_t max_bytes = static_cast<size_t>(-1));

// Reads a whole file in text mode. Returns false (and leaves `text` empty)
// when it cannot be opened or read, or holds more than `max_bytes` bytes.
bool ReadTextModeFile(const std::string& path, std::string* text,
                      size_t max_bytes = static_cast<size_t>(-1));

// Replaces the file at `path` by `text` in text mode without ever leaving a
// half-written file: the text goes to a temporary file in the same directory,
// which is flushed to disk and renamed over `path`. Fails, with the old file
// untouched, when any step fails.
Outcome WriteTextModeFileAtomically(const std::string& path, const std::string& text);

#endif  // PLATFORM_FILESYSTEM_TEXT_FILE_H_
