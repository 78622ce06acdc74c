#include "picture/header_size.h"

#include <cstddef>
#include <cstdint>

namespace {

// The format numbers of picture/formats.h that this reads.
constexpr int kBmp = 0;
constexpr int kJpeg = 2;
constexpr int kPng = 13;
constexpr int kGif = 25;
constexpr int kWebp = 35;

uint32_t Byte(std::string_view s, size_t at) { return static_cast<unsigned char>(s[at]); }
uint32_t Big16(std::string_view s, size_t at) { return Byte(s, at) << 8 | Byte(s, at + 1); }
uint32_t Little16(std::string_view s, size_t at) { return Byte(s, at) | Byte(s, at + 1) << 8; }
uint32_t Big32(std::string_view s, size_t at) { return Big16(s, at) << 16 | Big16(s, at + 2); }
uint32_t Little32(std::string_view s, size_t at) {
  return Little16(s, at) | Little16(s, at + 2) << 16;
}

// The frame header (SOF0..SOF15 but DHT, JPG and DAC) after the segments
// before it.
bool JpegSize(std::string_view s, long long* width, long long* height) {
  size_t at = 2;
  while (at + 9 <= s.size()) {
    if (Byte(s, at) != 0xFF) return false;
    const uint32_t marker = Byte(s, at + 1);
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      *height = Big16(s, at + 5);
      *width = Big16(s, at + 7);
      return true;
    }
    at += 2 + Big16(s, at + 2);
  }
  return false;
}

bool WebpSize(std::string_view s, long long* width, long long* height) {
  if (s.size() < 30) return false;
  const std::string_view chunk = s.substr(12, 4);
  if (chunk == "VP8 ") {
    *width = Little16(s, 26) & 0x3FFF;
    *height = Little16(s, 28) & 0x3FFF;
  } else if (chunk == "VP8L") {
    const uint32_t bits = Little32(s, 21);
    *width = (bits & 0x3FFF) + 1;
    *height = (bits >> 14 & 0x3FFF) + 1;
  } else if (chunk == "VP8X") {
    *width = (Little16(s, 24) | Byte(s, 26) << 16) + 1;
    *height = (Little16(s, 27) | Byte(s, 29) << 16) + 1;
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool PictureSizeFromHead(std::string_view head, int format, long long* width, long long* height) {
  switch (format) {
    case kJpeg:
      return JpegSize(head, width, height);
    case kPng:
      if (head.size() < 24) return false;
      *width = Big32(head, 16);
      *height = Big32(head, 20);
      return true;
    case kGif:
      if (head.size() < 10) return false;
      *width = Little16(head, 6);
      *height = Little16(head, 8);
      return true;
    case kBmp:
      if (head.size() < 26) return false;
      *width = static_cast<int32_t>(Little32(head, 18));
      *height = static_cast<int32_t>(Little32(head, 22));
      if (*height < 0) *height = -*height;
      return true;
    case kWebp:
      return WebpSize(head, width, height);
    default:
      return false;
  }
}
