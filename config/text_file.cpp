#include "config/text_file.h"

#include <fstream>
#include <iterator>

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
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  *text = FromTextMode(bytes);
  return true;
}

bool WriteTextModeFileAtomically(const std::string& path, const std::string& text) {
  return ReplaceFileAtomically(path, ToTextMode(text));
}
