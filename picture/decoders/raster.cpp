#include "picture/decoders/raster.h"

namespace imaging {

bool IsAllowedSize(long long width, long long height) {
  return width > 0 && height > 0 && !HasTooManyPixels(width, height);
}

bool Raster::Allocate(long long new_width, long long new_height, int new_channels) {
  pixels.clear();
  width = height = channels = 0;
  if (!IsAllowedSize(new_width, new_height) || (new_channels != 3 && new_channels != 4)) {
    return false;
  }
  width = static_cast<int>(new_width);
  height = static_cast<int>(new_height);
  channels = new_channels;
  pixels.assign(static_cast<size_t>(new_width) * static_cast<size_t>(new_height) *
                    static_cast<size_t>(new_channels),
                0);
  return true;
}

void StretchGrey16(const std::vector<uint16_t>& levels, Raster* raster) {
  uint16_t low = 255, high = 0;
  for (uint16_t v : levels) {
    if (v > high) high = v;
    if (v < low) low = v;
  }
  if (high == low) {
    high = 255;
    low = 0;
  }
  const double scale = 255 / static_cast<double>(high - low);
  for (size_t i = 0; i < levels.size(); ++i) {
    const double v = scale * (levels[i] - low) + 0.5;
    const auto g = static_cast<uint8_t>(static_cast<int32_t>(v));
    uint8_t* pixel = raster->pixels.data() + 3 * i;
    pixel[0] = pixel[1] = pixel[2] = g;
  }
}

}  // namespace imaging
