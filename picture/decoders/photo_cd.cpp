// Kodak Photo CD: the 768 x 512 base image, as FreeImage reads it.
//
// The base image starts at byte 0x30000: for every two rows, 768 bytes of
// luma for each row, then 384 bytes of Cb and 384 of Cr shared by both. The
// colours come from FreeImage's conversion (its constants, in double
// precision, rounded half up and clamped). FreeImage takes the picture for
// top-down when byte 72 of the file, masked with 63, is 8, and bottom-up
// otherwise. The size is the same for every file, so the header read never
// fails.

#include <cmath>

#include "picture/decoders/decoder_internals.h"

namespace imaging {
namespace {

constexpr int kWidth = 768;
constexpr int kHeight = 512;
constexpr size_t kBaseImage = 0x30000;

int Clamp(double x) {
  const int a = static_cast<int>(std::floor(x + 0.5));
  return a < 0 ? 0 : a > 255 ? 255 : a;
}

Rgb YccToRgb(int y, int cb, int cr) {
  const double c11 = 0.0054980 * 256.0;
  const double c12 = 0.0000001 * 256.0;
  const double c13 = 0.0051681 * 256.0;
  const double c21 = 0.0054980 * 256.0;
  const double c22 = -0.0015446 * 256.0;
  const double c23 = -0.0026325 * 256.0;
  const double c31 = 0.0054980 * 256.0;
  const double c32 = 0.0079533 * 256.0;
  const double c33 = 0.0000001 * 256.0;
  return Rgb{static_cast<uint8_t>(Clamp(c11 * y + c12 * (cb - 156) + c13 * (cr - 137))),
             static_cast<uint8_t>(Clamp(c21 * y + c22 * (cb - 156) + c23 * (cr - 137))),
             static_cast<uint8_t>(Clamp(c31 * y + c32 * (cb - 156) + c33 * (cr - 137)))};
}

}  // namespace

bool ReadPhotoCdSize(Bytes, long long* width, long long* height) {
  *width = kWidth;
  *height = kHeight;
  return true;
}

bool DecodePhotoCd(Bytes in, Raster* raster) {
  constexpr size_t kPairBytes = 3 * kWidth;
  if (!in.Has(kBaseImage, kPairBytes * (kHeight / 2)) || !in.Has(0, 128)) return false;
  const bool top_down = (in.U8(72) & 63) == 8;
  if (!raster->Allocate(kWidth, kHeight, 3)) return false;
  for (int pair = 0; pair < kHeight / 2; ++pair) {
    const uint8_t* luma = in.data + kBaseImage + pair * kPairBytes;
    const uint8_t* chroma = luma + 2 * kWidth;
    for (int i = 0; i < 2; ++i) {
      const int line = 2 * pair + i;
      uint8_t* out = raster->Row(top_down ? line : kHeight - 1 - line);
      for (int x = 0; x < kWidth; ++x) {
        const Rgb c = YccToRgb(luma[i * kWidth + x], chroma[x / 2], chroma[kWidth / 2 + x / 2]);
        out[3 * x] = c.r;
        out[3 * x + 1] = c.g;
        out[3 * x + 2] = c.b;
      }
    }
  }
  return true;
}

}  // namespace imaging
