// Sun raster: 1, 8, 24 and 32 bits, plain or run-length encoded, with or
// without a colour map.
//
// Read as FreeImage reads them: rows are padded to an even byte count by the
// rule for 1 and 8 bits (so a 24- or 32-bit row of odd width is followed by
// one byte), a colour map is accepted only when it is shorter than the full
// 3 x 2^depth bytes (a full one is refused) and only its whole triples are
// read, a raw colour map is skipped, 32-bit pixels keep their first byte as
// alpha, and runs continue across rows.

#include "picture/decoders/decoder_internals.h"

namespace imaging {
namespace {

constexpr size_t kHeaderSize = 32;
constexpr unsigned long kMagic = 0x59A66A95;

struct RasHeader {
  unsigned long width, height, depth, type, map_type, map_length;
};

bool ParseHeader(Bytes in, RasHeader* header) {
  if (!in.Has(0, kHeaderSize) || in.U32be(0) != kMagic) return false;
  header->width = in.U32be(4);
  header->height = in.U32be(8);
  header->depth = in.U32be(12);
  header->type = in.U32be(20);
  header->map_type = in.U32be(24);
  header->map_length = in.U32be(28);
  if (header->width == 0 || header->height == 0) return false;
  if (header->depth != 1 && header->depth != 8 && header->depth != 24 && header->depth != 32) {
    return false;
  }
  if (header->type > 5) return false;
  // An RGB colour map needs a palette, which 24 and 32 bits have not; a
  // full-sized one FreeImage takes for damage.
  if (header->map_type == 1) {
    if (header->depth > 8) return false;
    if (3ul << header->depth <= header->map_length) return false;
  }
  return true;
}

class RasReader {
 public:
  RasReader(Bytes in, size_t pos, bool compressed) : in_(in), pos_(pos), compressed_(compressed) {}

  bool Read(uint8_t* to, size_t length) {
    if (!compressed_) {
      if (!in_.Has(pos_, length)) return false;
      std::memcpy(to, in_.data + pos_, length);
      pos_ += length;
      return true;
    }
    for (size_t i = 0; i < length; ++i) {
      if (remaining_ > 0) {
        --remaining_;
        to[i] = repeated_;
        continue;
      }
      if (!Byte(&repeated_)) return false;
      if (repeated_ == 0x80) {
        uint8_t count;
        if (!Byte(&count)) return false;
        remaining_ = count;
        if (count != 0 && !Byte(&repeated_)) return false;
      }
      to[i] = repeated_;
    }
    return true;
  }

 private:
  bool Byte(uint8_t* b) {
    if (!in_.Has(pos_, 1)) return false;
    *b = in_.U8(pos_++);
    return true;
  }

  Bytes in_;
  size_t pos_;
  bool compressed_;
  uint8_t repeated_ = 0;
  size_t remaining_ = 0;
};

// The rows as the file holds them.
struct RowLayout {
  size_t line_length;  // the bytes of a row's pixels
  bool fill;           // a padding byte follows each row
};

RowLayout LayoutOf(const RasHeader& header) {
  // FreeImage cuts the row length of 1 and 8 bits to 16 bits.
  const size_t line_length = header.depth == 1 ? static_cast<uint16_t>((header.width + 7) / 8)
                             : header.depth == 8
                                 ? static_cast<uint16_t>(header.width)
                                 : static_cast<size_t>(header.width) * (header.depth / 8);
  const bool fill =
      (static_cast<uint16_t>(header.depth == 1 ? (header.width + 7) / 8 : header.width) & 1) != 0;
  return {line_length, fill};
}

// Steps *pos past the colour map; false when the file ends inside it.
bool SkipColourMap(Bytes in, const RasHeader& header, size_t* pos) {
  if (header.map_type == 1) {
    const size_t colours = header.map_length / 3;
    if (!in.Has(*pos, 3 * colours)) return false;
    *pos += 3 * colours;
  } else if (header.map_type == 2) {
    if (!in.Has(*pos, header.map_length)) return false;
    *pos += header.map_length;
  }
  return true;
}

// The palette of no colour map for 1 bit (8 bits already have their ramp),
// or the colour map's.
void FillPalette(Bytes in, const RasHeader& header, Dib* dib) {
  if (header.map_type == 0 && header.depth == 1) dib->palette[1] = Rgb{255, 255, 255};
  if (header.map_type == 1) {
    const size_t colours = header.map_length / 3;
    for (size_t i = 0; i < colours; ++i) {
      dib->palette[i] = Rgb{in.U8(kHeaderSize + i), in.U8(kHeaderSize + colours + i),
                            in.U8(kHeaderSize + 2 * colours + i)};
    }
  }
}

// A row of 24 or 32 bits from the file's order into the dib's.
void ReorderRow(const RasHeader& header, const uint8_t* from, uint8_t* to, int width) {
  const bool rgb_order = header.type == 3;
  if (header.depth == 24) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = from + 3 * static_cast<size_t>(x);
      uint8_t* q = to + 3 * static_cast<size_t>(x);
      q[0] = rgb_order ? p[2] : p[0];
      q[1] = p[1];
      q[2] = rgb_order ? p[0] : p[2];
    }
  } else if (header.depth == 32) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = from + 4 * static_cast<size_t>(x);
      uint8_t* q = to + 4 * static_cast<size_t>(x);
      q[3] = p[0];
      q[0] = rgb_order ? p[3] : p[1];
      q[1] = p[2];
      q[2] = rgb_order ? p[1] : p[3];
    }
  }
}

}  // namespace

bool ReadSunRasterSize(Bytes in, long long* width, long long* height) {
  RasHeader header;
  if (!ParseHeader(in, &header)) return false;
  *width = static_cast<long long>(header.width);
  *height = static_cast<long long>(header.height);
  return true;
}

bool DecodeSunRaster(Bytes in, Raster* raster) {
  RasHeader header;
  if (!ParseHeader(in, &header)) return false;
  const bool compressed = header.type == 2;
  if (!IsAllowedSize(static_cast<long long>(header.width), static_cast<long long>(header.height))) {
    return false;
  }
  size_t pos = kHeaderSize;
  if (!SkipColourMap(in, header, &pos)) return false;
  const RowLayout layout = LayoutOf(header);
  const unsigned long long file_bytes =
      (layout.line_length + (layout.fill ? 1 : 0)) * header.height;
  // A run of three bytes stands for up to 256.
  if (file_bytes > (compressed ? 86ULL : 1ULL) * (in.size - pos) + 256) return false;

  Dib dib;
  if (!dib.Allocate(static_cast<long long>(header.width), static_cast<long long>(header.height),
                    static_cast<int>(header.depth))) {
    return false;
  }
  FillPalette(in, header, &dib);

  RasReader reader(in, pos, compressed);
  std::vector<uint8_t> buffer(layout.line_length);
  uint8_t fill_byte;
  for (int y = 0; y < dib.height; ++y) {
    uint8_t* bits = dib.ScanLine(dib.height - 1 - y);
    if (!reader.Read(header.depth <= 8 ? bits : buffer.data(), layout.line_length)) return false;
    ReorderRow(header, buffer.data(), bits, dib.width);
    if (layout.fill && !reader.Read(&fill_byte, 1)) return false;
  }
  return DibToRaster(dib, raster);
}

}  // namespace imaging
