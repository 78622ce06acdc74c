#include "picture/decoders/bmp_writer.h"

#include <cstring>

namespace imaging {
namespace {

void Put16(uint8_t* at, unsigned value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, unsigned long value) {
  Put16(at, static_cast<unsigned>(value & 0xFFFF));
  Put16(at + 2, static_cast<unsigned>(value >> 16));
}

}  // namespace

bool WriteBmp(const Raster& raster, const std::function<bool(const uint8_t*, size_t)>& write) {
  if (raster.width <= 0 || raster.height <= 0 || (raster.channels != 3 && raster.channels != 4) ||
      raster.pixels.size() != raster.RowBytes() * static_cast<size_t>(raster.height)) {
    return false;
  }
  constexpr size_t kHeaderBytes = 14 + 40;
  const size_t stride = (static_cast<size_t>(raster.width) * 3 + 3) & ~static_cast<size_t>(3);
  const unsigned long long image_bytes = static_cast<unsigned long long>(stride) * raster.height;
  // The largest picture allowed (2^28 pixels) still fits the 32-bit sizes.
  if (image_bytes + kHeaderBytes > 0xFFFFFFFFULL) return false;

  uint8_t header[kHeaderBytes] = {'B', 'M'};
  Put32(header + 2, static_cast<unsigned long>(image_bytes + kHeaderBytes));
  Put32(header + 10, kHeaderBytes);
  Put32(header + 14, 40);
  Put32(header + 18, static_cast<unsigned long>(raster.width));
  Put32(header + 22, static_cast<unsigned long>(raster.height));
  Put16(header + 26, 1);   // planes
  Put16(header + 28, 24);  // bits a pixel; compression 0 = BI_RGB
  Put32(header + 34, static_cast<unsigned long>(image_bytes));
  Put32(header + 38, 2835);
  Put32(header + 42, 2835);
  if (!write(header, kHeaderBytes)) return false;

  std::vector<uint8_t> row(stride, 0);
  for (int y = raster.height - 1; y >= 0; --y) {
    const uint8_t* from = raster.Row(y);
    for (int x = 0; x < raster.width; ++x, from += raster.channels) {
      row[3 * static_cast<size_t>(x)] = from[2];
      row[3 * static_cast<size_t>(x) + 1] = from[1];
      row[3 * static_cast<size_t>(x) + 2] = from[0];
    }
    if (!write(row.data(), row.size())) return false;
  }
  return true;
}

std::vector<uint8_t> EncodeBmp(const Raster& raster) {
  std::vector<uint8_t> file;
  size_t used = 0;
  const bool ok = WriteBmp(raster, [&](const uint8_t* data, size_t size) {
    if (file.size() - used < size)
      file.resize(used + size > 2 * file.size() ? used + size : 2 * file.size());
    std::memcpy(file.data() + used, data, size);
    used += size;
    return true;
  });
  file.resize(ok ? used : 0);
  return file;
}

}  // namespace imaging
