#ifndef PICTURE_DECODERS_BMP_WRITER_H_
#define PICTURE_DECODERS_BMP_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "picture/decoders/raster.h"

namespace imaging {

// Writes `raster` as a Windows bitmap: 24 bits a pixel, uncompressed
// (BI_RGB), rows bottom-up and padded to 4 bytes, 2835 pixels a metre (72
// dpi) as FreeImage writes them.
//
// An alpha channel is dropped and the colours are written as they are, not
// blended with any background: FreeImage keeps the alpha bytes in a 32-bit
// bitmap, which the Windows desktop and every viewer of plain bitmaps ignore,
// so the colours seen are the same.
//
// `write` receives the file in pieces (the header, then one row at a time)
// and returns false to stop; WriteBmp returns false when it did, or when the
// raster is empty.
bool WriteBmp(const Raster& raster, const std::function<bool(const uint8_t*, size_t)>& write);

// The whole file in memory; empty for an empty raster.
std::vector<uint8_t> EncodeBmp(const Raster& raster);

}  // namespace imaging

#endif  // PICTURE_DECODERS_BMP_WRITER_H_
