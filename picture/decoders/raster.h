#ifndef PICTURE_DECODERS_RASTER_H_
#define PICTURE_DECODERS_RASTER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "picture/formats.h"

namespace imaging {

// A decoded picture: 8 bits a channel, red-green-blue or red-green-blue-alpha,
// rows from the top down with no padding between them.
struct Raster {
  int width = 0;
  int height = 0;
  int channels = 0;  // 3 or 4
  std::vector<uint8_t> pixels;

  // Sizes the raster and sets every byte to 0. False, leaving the raster
  // empty, for a size of 0, a negative one or one over kMaxPicturePixels.
  bool Allocate(long long width, long long height, int channels);

  uint8_t* Row(int y) { return pixels.data() + static_cast<size_t>(y) * RowBytes(); }
  const uint8_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * RowBytes(); }
  size_t RowBytes() const { return static_cast<size_t>(width) * static_cast<size_t>(channels); }
};

// True when width x height is a size a picture may have: both at least 1 and
// at most kMaxPicturePixels pixels together.
bool IsAllowedSize(long long width, long long height);

// Sets a 3-channel raster, already allocated to as many pixels as `levels`
// holds, to 16-bit grey levels brought down to 8 bits as the Linux build's
// conversion to a bitmap does: stretched linearly from the lower of the
// lowest level and 255 to the higher of the highest level and 0 (0 to 255
// when those are equal), rounded half up.
void StretchGrey16(const std::vector<uint16_t>& levels, Raster* raster);

}  // namespace imaging

#endif  // PICTURE_DECODERS_RASTER_H_
