// POSIX keeps a file's bytes as they are: paths and names are bytes there.
#include "platform/filesystem/text_encoding.h"

bool DecodeWideFileText(const std::string&, std::string*, FileTextEncoding*) { return false; }

std::string DecodeFileText(const std::string& bytes, FileTextEncoding* encoding) {
  *encoding = FileTextEncoding::kUtf8;
  return bytes;
}

std::string EncodeFileText(const std::string& text, FileTextEncoding) { return text; }
