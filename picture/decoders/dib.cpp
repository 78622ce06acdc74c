#include "picture/decoders/decoder_internals.h"

namespace imaging {

bool Dib::Allocate(long long new_width, long long new_height, int new_bpp) {
  if (!IsAllowedSize(new_width, new_height)) return false;
  width = static_cast<int>(new_width);
  height = static_cast<int>(new_height);
  bpp = new_bpp;
  pitch = ((static_cast<size_t>(width) * static_cast<size_t>(bpp) + 31) / 32) * 4;
  bits.assign(pitch * static_cast<size_t>(height), 0);
  for (int i = 0; i < 256; ++i) {
    const uint8_t level = bpp == 8 ? static_cast<uint8_t>(i) : 0;
    palette[i] = Rgb{level, level, level};
  }
  return true;
}

bool DibToRaster(const Dib& dib, Raster* raster, bool flip_vertically, bool flip_horizontally) {
  const int channels = dib.bpp == 32 ? 4 : 3;
  if (!raster->Allocate(dib.width, dib.height, channels)) return false;
  for (int y = 0; y < dib.height; ++y) {
    const uint8_t* line = dib.ScanLine(flip_vertically ? y : dib.height - 1 - y);
    uint8_t* out = raster->Row(y);
    for (int x = 0; x < dib.width; ++x) {
      const int from = flip_horizontally ? dib.width - 1 - x : x;
      uint8_t* pixel = out + static_cast<size_t>(x) * channels;
      Rgb colour;
      switch (dib.bpp) {
        case 1:
          colour = dib.palette[(line[from >> 3] >> (7 - (from & 7))) & 1];
          break;
        case 4:
          colour = dib.palette[(from & 1) ? line[from >> 1] & 0x0F : line[from >> 1] >> 4];
          break;
        case 8:
          colour = dib.palette[line[from]];
          break;
        case 16: {
          const unsigned word = line[2 * from] | (line[2 * from + 1] << 8);
          colour = Rgb{Widen5(word >> 10), Widen5(word >> 5), Widen5(word)};
          break;
        }
        case 24:
          colour = Rgb{line[3 * from + 2], line[3 * from + 1], line[3 * from]};
          break;
        case 32:
          colour = Rgb{line[4 * from + 2], line[4 * from + 1], line[4 * from]};
          pixel[3] = line[4 * from + 3];
          break;
        default:
          return false;
      }
      pixel[0] = colour.r;
      pixel[1] = colour.g;
      pixel[2] = colour.b;
    }
  }
  return true;
}

}  // namespace imaging
