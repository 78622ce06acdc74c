#include "retrieval/picture_name.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "picture/formats.h"
#include "platform/text_case.h"

namespace {

// Longest segment kept in a name made from a URL.
constexpr size_t kMaxSegmentLength = 80;

bool IsForbiddenCharacter(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7f || std::strchr("<>:\"/\\|?*", c) != nullptr;
}

bool IsDeviceName(const std::string& name) {
  const std::string stem = Lower(name.substr(0, name.find('.')));
  if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

bool HasPictureExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && dot + 1 < name.size() &&
         PictureFormatFromExtension(name.substr(dot)) >= 0;
}

// The URL's last path segment without query and fragment, made safe, its
// picture extension dropped; "picture" when nothing is left.
std::string SegmentOf(const std::string& url) {
  const std::string path = url.substr(0, url.find_first_of("?#"));
  std::string segment = path.substr(path.rfind('/') + 1);
  if (HasPictureExtension(segment)) segment.erase(segment.rfind('.'));
  for (char& c : segment) {
    if (IsForbiddenCharacter(c)) c = '_';
  }
  if (segment.size() > kMaxSegmentLength) segment.resize(kMaxSegmentLength);
  while (!segment.empty() && (segment.back() == '.' || segment.back() == ' ')) segment.pop_back();
  while (!segment.empty() && segment.front() == '.') segment.erase(0, 1);
  return segment.empty() ? "picture" : segment;
}

}  // namespace

std::string PictureUrlHash(const std::string& url) {
  uint32_t hash = 2166136261u;
  for (const char c : url) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(hash));
  return text;
}

bool IsPortableFileName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || IsDeviceName(name)) return false;
  if (name.back() == '.' || name.back() == ' ') return false;
  for (const char c : name) {
    if (IsForbiddenCharacter(c)) return false;
  }
  return true;
}

std::string PictureFileName(const std::string& url, int content_format) {
  const size_t slash = url.rfind('/');
  if (slash == std::string::npos) return "";
  const std::string tail = url.substr(slash + 1);
  if (HasPictureExtension(tail) && IsPortableFileName(tail)) return tail;
  if (content_format < 0) {
    // Not a picture by its content either: the conversion says so.
    if (IsPortableFileName(tail)) return tail;
    if (tail.empty() || tail == "." || tail == "..") return "";
  }
  return SegmentOf(url) + "-" + PictureUrlHash(url) + PictureExtension(content_format);
}
