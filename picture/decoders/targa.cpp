// TARGA: colour-mapped and grey 8 bits, 15/16 bits (5-5-5), 24 and 32 bits,
// uncompressed or run-length encoded, either origin.

#include "picture/decoders/decoder_internals.h"

namespace imaging {
namespace {

constexpr size_t kHeaderSize = 18;

struct TargaHeader {
  unsigned id_length;
  unsigned colour_map_type;
  unsigned image_type;
  unsigned map_first;
  unsigned map_length;
  unsigned map_bits;
  unsigned width;
  unsigned height;
  unsigned depth;
  unsigned descriptor;
};

bool ParseHeader(Bytes in, TargaHeader* header) {
  if (!in.Has(0, kHeaderSize)) return false;
  header->id_length = in.U8(0);
  header->colour_map_type = in.U8(1);
  header->image_type = in.U8(2);
  header->map_first = in.U16le(3);
  header->map_length = in.U16le(5);
  header->map_bits = in.U8(7);
  header->width = in.U16le(12);
  header->height = in.U16le(14);
  header->depth = in.U8(16);
  header->descriptor = in.U8(17);
  if (header->width == 0 || header->height == 0) return false;
  switch (header->depth) {
    case 8:
    case 15:
    case 16:
    case 24:
    case 32:
      return true;
    default:
      return false;
  }
}

// A file that ends in the version 2 signature has a footer; FreeImage reads
// the extension area it names and gives up on the picture when that area is
// not all in the file.
bool ExtensionAreaFits(Bytes in) {
  static const char kSignature[18] = "TRUEVISION-XFILE.";
  if (in.size <= 18 || std::memcmp(in.data + in.size - 18, kSignature, 18) != 0) return true;
  const size_t footer = in.size >= 26 ? in.size - 26 : 0;
  const unsigned long extension = in.U32le(footer);
  return extension == 0 || in.Has(extension, 495);
}

// Stores one pixel of the file (`pixel_size` bytes) in the dib's layout.
void StorePixel(const uint8_t* from, int pixel_size, uint8_t* to) {
  switch (pixel_size) {
    case 1:
      to[0] = from[0];
      break;
    case 2:  // the attribute bit is dropped
      to[0] = from[0];
      to[1] = from[1] & 0x7F;
      break;
    default:
      std::memcpy(to, from, static_cast<size_t>(pixel_size));
      break;
  }
}

bool ReadUncompressed(Bytes in, size_t pos, int pixel_size, Dib* dib) {
  const size_t row = static_cast<size_t>(dib->width) * static_cast<size_t>(pixel_size);
  if (!in.Has(pos, row * static_cast<size_t>(dib->height))) return false;
  for (int line = 0; line < dib->height; ++line) {
    uint8_t* bits = dib->ScanLine(line);
    for (int x = 0; x < dib->width; ++x, pos += static_cast<size_t>(pixel_size)) {
      StorePixel(in.data + pos, pixel_size, bits + static_cast<size_t>(x) * pixel_size);
    }
  }
  return true;
}

// Packets run on across rows. Like FreeImage, a packet that would write past
// the end of the (row-padded) picture ends the decoding and leaves the rest
// as it is; a file that ends before the picture is complete is refused.
bool ReadRunLength(Bytes in, size_t pos, int pixel_size, Dib* dib) {
  const size_t line_size = static_cast<size_t>(dib->width) * static_cast<size_t>(pixel_size);
  const size_t end = dib->pitch * static_cast<size_t>(dib->height);
  size_t x = 0;
  int line = 0;
  size_t line_start = 0;
  while (line < dib->height) {
    if (!in.Has(pos, 1)) return false;
    const uint8_t packet = in.U8(pos++);
    const size_t count = (packet & 0x7F) + 1u;
    if (line_start + x + count * static_cast<size_t>(pixel_size) > end) return true;
    const bool repeated = (packet & 0x80) != 0;
    if (repeated && !in.Has(pos, static_cast<size_t>(pixel_size))) return false;
    if (!repeated && !in.Has(pos, count * static_cast<size_t>(pixel_size))) return false;
    for (size_t i = 0; i < count; ++i) {
      if (line < dib->height)
        StorePixel(in.data + pos, pixel_size, dib->bits.data() + line_start + x);
      if (!repeated) pos += static_cast<size_t>(pixel_size);
      x += static_cast<size_t>(pixel_size);
      if (x >= line_size) {
        x = 0;
        ++line;
        line_start = static_cast<size_t>(line) * dib->pitch;
      }
    }
    if (repeated) pos += static_cast<size_t>(pixel_size);
  }
  return true;
}

// The colour map of an 8-bit picture: entries from `map_first` on, up to
// entry 255 or the map's length. A map of another entry size is skipped and
// leaves the grey ramp.
void ReadColourMap(Bytes in, size_t pos, const TargaHeader& header, Dib* dib) {
  const unsigned stop = header.map_length < 256 ? header.map_length : 256;
  const uint8_t* entry = in.data + pos;
  for (unsigned index = header.map_first; index < stop; ++index) {
    Rgb& colour = dib->palette[index];
    switch (header.map_bits) {
      case 16: {
        const unsigned word = entry[0] | (entry[1] << 8);
        colour = Rgb{Widen5(word >> 10), Widen5(word >> 5), Widen5(word)};
        entry += 2;
        break;
      }
      case 24:
      case 32:
        colour = Rgb{entry[2], entry[1], entry[0]};
        entry += header.map_bits / 8;
        break;
      default:
        return;
    }
  }
}

}  // namespace

bool ReadTargaSize(Bytes in, long long* width, long long* height) {
  TargaHeader header;
  if (!ParseHeader(in, &header)) return false;
  *width = header.width;
  *height = header.height;
  return true;
}

bool DecodeTarga(Bytes in, Raster* raster) {
  TargaHeader header;
  if (!ParseHeader(in, &header) || !ExtensionAreaFits(in)) return false;
  size_t pos = kHeaderSize + header.id_length;
  const bool compressed = header.image_type >= 9;
  int pixel_size = 0;
  int bpp = 0;
  switch (header.depth) {
    case 8:
      if (header.image_type != 1 && header.image_type != 3 && header.image_type != 9 &&
          header.image_type != 11) {
        return false;
      }
      pixel_size = 1;
      bpp = 8;
      break;
    case 15:
    case 16:
      if (header.image_type != 2 && header.image_type != 10) return false;
      // 16-bit pixels are found past the colour map, measured in whole bytes.
      if (header.colour_map_type != 0) pos += (header.map_bits + 7) / 8 * header.map_length;
      pixel_size = 2;
      bpp = 16;
      break;
    default:  // 24 and 32: FreeImage reads them right after the identifier, map or no map
      if (header.image_type != 2 && header.image_type != 10) return false;
      pixel_size = static_cast<int>(header.depth / 8);
      bpp = static_cast<int>(header.depth);
      break;
  }
  const long long pixels = static_cast<long long>(header.width) * header.height;
  if (!compressed && !in.Has(pos, static_cast<size_t>(pixels) * pixel_size)) return false;
  if (compressed && (pos > in.size || in.size - pos < header.height ||
                     pixels > 128LL * static_cast<long long>(in.size - pos + 1))) {
    return false;
  }
  Dib dib;
  if (!dib.Allocate(header.width, header.height, bpp)) return false;
  if (bpp == 8 && header.colour_map_type > 0) {
    const size_t map_bytes = header.map_length * header.map_bits / 8;
    if (!in.Has(pos, map_bytes)) return false;
    ReadColourMap(in, pos, header, &dib);
    pos += map_bytes;
  }
  const bool ok = compressed ? ReadRunLength(in, pos, pixel_size, &dib)
                             : ReadUncompressed(in, pos, pixel_size, &dib);
  if (!ok) return false;
  return DibToRaster(dib, raster, (header.descriptor & 0x20) != 0, (header.descriptor & 0x10) != 0);
}

}  // namespace imaging
