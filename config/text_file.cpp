#include "config/text_file.h"

#include <cstdio>

#include "platform/filesystem.h"

std::string ToTextMode(const std::string& text) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 16 + 16);
  for (char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

std::string FromTextMode(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  const size_t n = bytes.size();
  for (size_t i = 0; i < n; ++i) {
    const char c = bytes[i];
    if (c == '\x1a') break;
    if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') continue;
    text += c;
  }
  return text;
}

bool ReadTextModeFile(const std::string& path, std::string* text) {
  text->clear();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::string bytes;
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return false;  // a directory, an I/O error
  *text = FromTextMode(bytes);
  return true;
}

bool WriteTextModeFileAtomically(const std::string& path, const std::string& text) {
  return ReplaceFileAtomically(path, ToTextMode(text));
}
