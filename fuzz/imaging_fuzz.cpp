// Our own picture decoders and the bitmap writer, in process: whatever the
// bytes, the header read and the decoder return, agree on the size, read
// nothing outside the input (the sanitizers watch), and the bitmap written
// from a decoded picture holds its pixels.
//
// Input: one byte choosing the decoder (TARGA, PCX, PNM, Sun raster, KOALA,
// Photo CD), then the file's content.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "picture/decoders/bmp_writer.h"
#include "picture/decoders/decode.h"

namespace {

// Pictures up to kMaxPicturePixels are allowed, but decoding one that large takes
// seconds and gigabytes; the fuzzer stays below this and keeps its speed.
constexpr long long kFuzzMaxPixels = 1LL << 22;

unsigned Read32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned>(p[3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const WindowsDecoder kDecoders[] = {WindowsDecoder::kTarga, WindowsDecoder::kPcx,
                                             WindowsDecoder::kPnm,   WindowsDecoder::kSunRaster,
                                             WindowsDecoder::kKoala, WindowsDecoder::kPhotoCd};
  const WindowsDecoder format = kDecoders[data[0] % 6];
  // The file on its own in the heap, so that a read past its end is seen.
  const std::vector<uint8_t> file(data + 1, data + size);

  long long width = 0, height = 0;
  const bool sized = imaging::ReadSize(format, file.data(), file.size(), &width, &height);
  if (!sized || width <= 0 || height <= 0 || width > kFuzzMaxPixels / height) return 0;

  imaging::Raster raster;
  if (!imaging::Decode(format, file.data(), file.size(), &raster)) {
    if (!raster.pixels.empty()) std::abort();
    return 0;
  }
  if (raster.width != width || raster.height != height) std::abort();
  if (raster.channels != 3 && raster.channels != 4) std::abort();
  if (raster.pixels.size() != raster.RowBytes() * static_cast<size_t>(raster.height)) std::abort();

  const std::vector<uint8_t> bmp = imaging::EncodeBmp(raster);
  const size_t stride = (static_cast<size_t>(raster.width) * 3 + 3) & ~static_cast<size_t>(3);
  if (bmp.size() != 54 + stride * static_cast<size_t>(raster.height)) std::abort();
  if (bmp[0] != 'B' || bmp[1] != 'M' || Read32(&bmp[2]) != bmp.size()) std::abort();
  if (Read32(&bmp[18]) != static_cast<unsigned>(raster.width) ||
      Read32(&bmp[22]) != static_cast<unsigned>(raster.height)) {
    std::abort();
  }
  // Bottom-up rows of blue, green, red; alpha dropped.
  for (int y = 0; y < raster.height; ++y) {
    const uint8_t* row = &bmp[54 + stride * static_cast<size_t>(raster.height - 1 - y)];
    const uint8_t* pixel = raster.Row(y);
    for (int x = 0; x < raster.width; ++x, pixel += raster.channels) {
      if (row[3 * x] != pixel[2] || row[3 * x + 1] != pixel[1] || row[3 * x + 2] != pixel[0]) {
        std::abort();
      }
    }
  }
  return 0;
}
