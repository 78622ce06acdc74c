#ifndef PICTURE_DECODERS_DECODER_INTERNALS_H_
#define PICTURE_DECODERS_DECODER_INTERNALS_H_

// The decoders behind picture/decoders/decode.h, one file each.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "picture/decoders/raster.h"

namespace imaging {

// The file's bytes, read through bounds checks.
struct Bytes {
  const uint8_t* data;
  size_t size;

  bool Has(size_t offset, size_t count) const { return offset <= size && count <= size - offset; }
  uint8_t U8(size_t offset) const { return data[offset]; }
  unsigned U16le(size_t offset) const { return data[offset] | (data[offset + 1] << 8); }
  unsigned long U32le(size_t offset) const {
    return static_cast<unsigned long>(U16le(offset)) |
           (static_cast<unsigned long>(U16le(offset + 2)) << 16);
  }
  unsigned long U32be(size_t offset) const {
    return (static_cast<unsigned long>(data[offset]) << 24) |
           (static_cast<unsigned long>(data[offset + 1]) << 16) |
           (static_cast<unsigned long>(data[offset + 2]) << 8) | data[offset + 3];
  }
};

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

// A 5-bit channel widened to 8 bits as FreeImage widens it.
inline uint8_t Widen5(unsigned value) { return static_cast<uint8_t>((value & 0x1F) * 0xFF / 0x1F); }

// A picture laid out as FreeImage lays out its bitmaps while a loader fills
// it: scanline 0 is the bottom row, rows padded to 4 bytes, palette indexes
// for 1, 4 and 8 bits, 5-5-5 words for 16, blue-green-red(-alpha) for 24 and
// 32. Following a loader's writes into this layout keeps its quirks (what a
// row holds past a short line, where an overlong run stops) the same.
struct Dib {
  int width = 0;
  int height = 0;
  int bpp = 0;
  size_t pitch = 0;
  std::vector<uint8_t> bits;
  Rgb palette[256];

  // Zeroed pixels; a grey ramp palette for 8 bits, black for 1 and 4 bits.
  // False for a size that IsAllowedSize refuses.
  bool Allocate(long long width, long long height, int bpp);
  uint8_t* ScanLine(int line) { return bits.data() + static_cast<size_t>(line) * pitch; }
  const uint8_t* ScanLine(int line) const {
    return bits.data() + static_cast<size_t>(line) * pitch;
  }
};

// The dib's colours as a raster, top row first, mirrored as asked; 32-bit
// dibs keep their alpha channel.
bool DibToRaster(const Dib& dib, Raster* raster, bool flip_vertically = false,
                 bool flip_horizontally = false);

bool ReadTargaSize(Bytes in, long long* width, long long* height);
bool DecodeTarga(Bytes in, Raster* raster);
bool ReadPcxSize(Bytes in, long long* width, long long* height);
bool DecodePcx(Bytes in, Raster* raster);
bool ReadPnmSize(Bytes in, long long* width, long long* height);
bool DecodePnm(Bytes in, Raster* raster);
bool ReadSunRasterSize(Bytes in, long long* width, long long* height);
bool DecodeSunRaster(Bytes in, Raster* raster);
bool ReadKoalaSize(Bytes in, long long* width, long long* height);
bool DecodeKoala(Bytes in, Raster* raster);
bool ReadPhotoCdSize(Bytes in, long long* width, long long* height);
bool DecodePhotoCd(Bytes in, Raster* raster);

}  // namespace imaging

#endif  // PICTURE_DECODERS_DECODER_INTERNALS_H_
