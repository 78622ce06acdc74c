#include "platform/filesystem/text_file.h"

#include <cstdio>

#include "platform/filesystem/filesystem.h"
#include "platform/owned_handle.h"

std::string ToTextMode(const std::string& text) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 16 + 16);
  for (char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

namespace {

// Turns disk bytes into text where they lie: the text is never longer.
void FromTextModeInPlace(std::string& bytes) {
  size_t length = 0;
  const size_t size = bytes.size();
  for (size_t i = 0; i < size; ++i) {
    const char c = bytes[i];
    if (c == '\x1a') break;
    if (c == '\r' && i + 1 < size && bytes[i + 1] == '\n') continue;
    bytes[length++] = c;
  }
  bytes.resize(length);
}

}  // namespace

std::string FromTextMode(const std::string& bytes) {
  std::string text = bytes;
  FromTextModeInPlace(text);
  return text;
}

bool ReadWholeFile(const std::string& path, std::string* bytes_read, size_t max_bytes) {
  bytes_read->clear();
  const Owned<std::FILE, std::fclose> owned_file(std::fopen(path.c_str(), "rb"));
  std::FILE* file = owned_file.get();
  if (file == nullptr) return false;
  std::string bytes;
  char chunk[65536];
  size_t n;
  bool too_long = false;
  while (!too_long && (n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    too_long = n > max_bytes - bytes.size();
    if (!too_long) bytes.append(chunk, n);
  }
  if (too_long || std::ferror(file) != 0) return false;  // ferror: a directory, an I/O error
  *bytes_read = std::move(bytes);
  return true;
}

bool ReadTextModeFile(const std::string& path, std::string* text, size_t max_bytes) {
  if (!ReadWholeFile(path, text, max_bytes)) return false;
  FromTextModeInPlace(*text);
  return true;
}

Outcome WriteTextModeFileAtomically(const std::string& path, const std::string& text) {
  return ReplaceFileAtomically(path, ToTextMode(text));
}
