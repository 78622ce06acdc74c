// KOALA: a Commodore 64 multicolour picture, 160 x 200 double-wide pixels
// shown as 320 x 200, in the fixed palette FreeImage uses.
//
// The file is 10001 bytes of picture (8000 of bitmap, 1000 + 1000 of colour
// memory, one background byte) after the two-byte load address 0x6000; a
// file that does not start with that address is taken to start with the
// picture itself. As in FreeImage, the background byte is not cut to 4 bits:
// the left half of a background pixel takes colour (b | b >> 4) & 15, the
// right half b & 15.

#include "picture/decoders/decoder_internals.h"

namespace imaging {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;
constexpr size_t kPictureBytes = 10001;

const Rgb kColours[16] = {
    {0, 0, 0},       {255, 255, 255}, {170, 17, 17},   {12, 204, 204},
    {221, 51, 221},  {0, 187, 0},     {0, 0, 204},     {255, 255, 140},
    {204, 119, 34},  {136, 68, 0},    {255, 153, 136}, {92, 92, 92},
    {170, 170, 170}, {140, 255, 178}, {39, 148, 255},  {196, 196, 196},
};

}  // namespace

bool ReadKoalaSize(Bytes in, long long* width, long long* height) {
  if (in.size == 0) return false;
  *width = kWidth;
  *height = kHeight;
  return true;
}

bool DecodeKoala(Bytes in, Raster* raster) {
  const size_t start = (in.size >= 2 && in.U8(0) == 0x00 && in.U8(1) == 0x60) ? 2 : 0;
  if (!in.Has(start, kPictureBytes)) return false;
  const uint8_t* bitmap = in.data + start;
  const uint8_t* colour1 = bitmap + 8000;
  const uint8_t* colour2 = colour1 + 1000;
  const unsigned background = bitmap[10000];
  if (!raster->Allocate(kWidth, kHeight, 3)) return false;
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* out = raster->Row(y);
    for (int x = 0; x < kWidth / 2; ++x) {
      const int cell = x / 4 + (y / 8) * 40;
      const int shift = 6 - 2 * (x % 4);
      const unsigned pixel = (bitmap[(x / 4) * 8 + (y % 8) + (y / 8) * kWidth] >> shift) & 3;
      unsigned found = 0;
      switch (pixel) {
        case 0:
          found = background;
          break;
        case 1:
          found = colour1[cell] >> 4;
          break;
        case 2:
          found = colour1[cell] & 0x0F;
          break;
        default:
          found = colour2[cell] & 0x0F;
          break;
      }
      const unsigned both = ((found << 4) | found) & 0xFF;
      const Rgb left = kColours[both >> 4];
      const Rgb right = kColours[both & 0x0F];
      uint8_t* pixels = out + 6 * static_cast<size_t>(x);
      pixels[0] = left.r;
      pixels[1] = left.g;
      pixels[2] = left.b;
      pixels[3] = right.r;
      pixels[4] = right.g;
      pixels[5] = right.b;
    }
  }
  return true;
}

}  // namespace imaging
