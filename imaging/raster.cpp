#include "imaging/raster.h"

namespace imaging {

bool IsAllowedSize(long long width, long long height) {
  if (width <= 0 || height <= 0) return false;
  return width <= kMaxPixels / height;
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

}  // namespace imaging
