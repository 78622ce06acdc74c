// PCX: 1 bit, 4 bits as four 1-bit planes, 8 bits with a palette, 24 bits as
// three 8-bit planes; run-length encoded or not.
//
// FreeImage's reader has ways of its own that are kept here because the
// picture must come out the same: a run never continues into the next row,
// a run count of 0 means 256, the 16-colour header palette is used only for
// four planes (one bit a pixel is always black and white), the last pixel of
// an odd-width 4-plane row stays colour 0, and uncompressed 1- and 4-plane
// rows are followed by a skip of one byte less than a row, so that each row
// starts 2 x bytes-per-row - 1 bytes after the one before (a row read past the
// end of the file keeps what the previous row left in the buffer).

#include "picture/decoders/decoder_internals.h"

namespace imaging {
namespace {

constexpr size_t kHeaderSize = 128;

struct PcxHeader {
  unsigned version, encoding, bits_per_plane, planes;
  unsigned width, height;
  unsigned bytes_per_line;
};

bool ParseHeader(Bytes in, PcxHeader* header) {
  if (!in.Has(0, kHeaderSize)) return false;
  if (in.U8(0) != 0x0A || in.U8(1) > 5 || in.U8(2) > 1) return false;
  header->encoding = in.U8(2);
  header->bits_per_plane = in.U8(3);
  if (header->bits_per_plane != 1 && header->bits_per_plane != 8) return false;
  const unsigned left = in.U16le(4), top = in.U16le(6), right = in.U16le(8), bottom = in.U16le(10);
  if (left >= right || top >= bottom) return false;
  header->width = right - left + 1;
  header->height = bottom - top + 1;
  header->planes = in.U8(65);
  header->bytes_per_line = in.U16le(66);
  const unsigned bitcount = header->bits_per_plane * header->planes;
  return bitcount == 1 || bitcount == 4 || bitcount == 8 || bitcount == 24;
}

// The rows of the file as FreeImage's reader hands them out.
class RowReader {
 public:
  RowReader(Bytes in, bool compressed, size_t length)
      : in_(in), compressed_(compressed), line_(length, 0) {}

  // The next row, or false when a compressed row or the first row runs past
  // the end of the file (FreeImage would make it up from whatever its
  // buffer held).
  bool Next() {
    if (compressed_) {
      size_t written = 0;
      while (written < line_.size()) {
        if (!in_.Has(pos_, 1)) return false;
        uint8_t value = in_.U8(pos_++);
        size_t count = 1;
        if ((value & 0xC0) == 0xC0) {
          count = value & 0x3F;
          if (count == 0) count = 256;
          if (!in_.Has(pos_, 1)) return false;
          value = in_.U8(pos_++);
        }
        for (; count > 0 && written < line_.size(); --count) line_[written++] = value;
      }
      return true;
    }
    // An uncompressed row: what is left of it in the file, the rest as the
    // row before left it; but the first row must be whole.
    if (pos_ == kHeaderSize && !in_.Has(pos_, line_.size())) return false;
    if (pos_ < in_.size) {
      const size_t available = in_.size - pos_;
      const size_t n = available < line_.size() ? available : line_.size();
      if (n > 0) std::memcpy(line_.data(), in_.data + pos_, n);
    }
    pos_ += line_.size();
    return true;
  }

  // The skip that follows an uncompressed single-plane or four-plane row.
  void SkipAfterUncompressedRow() {
    if (!compressed_ && !line_.empty()) pos_ += line_.size() - 1;
  }

  const std::vector<uint8_t>& line() const { return line_; }

 private:
  Bytes in_;
  bool compressed_;
  std::vector<uint8_t> line_;
  size_t pos_ = kHeaderSize;
};

// The palette: white on black for 1 bit, the header's 16 colours for four
// planes, for 8 bits the one at the end of the file when it is marked there;
// false when that one is cut short.
bool FillPalette(Bytes in, unsigned bitcount, Dib* dib) {
  if (bitcount == 1) {
    dib->palette[1] = Rgb{255, 255, 255};
  } else if (bitcount == 4) {
    for (int i = 0; i < 16; ++i) {
      dib->palette[i] = Rgb{in.U8(16 + 3 * i), in.U8(17 + 3 * i), in.U8(18 + 3 * i)};
    }
  } else if (bitcount == 8) {
    // The palette marker 769 bytes before the end; without it the grey ramp
    // stays. In a file shorter than that FreeImage looks at the byte after
    // the header instead, and a marker there would make it read a palette
    // that is not in the file.
    const size_t marker = in.size >= 769 ? in.size - 769 : kHeaderSize;
    if (in.Has(marker, 1) && in.U8(marker) == 0x0C) {
      if (!in.Has(marker + 1, 768)) return false;
      for (int i = 0; i < 256; ++i) {
        const size_t entry = marker + 1 + 3 * static_cast<size_t>(i);
        dib->palette[i] = Rgb{in.U8(entry), in.U8(entry + 1), in.U8(entry + 2)};
      }
    }
  }
  return true;
}

// A row of four 1-bit planes as 4-bit pixels, two a byte; the last pixel of
// an odd width stays colour 0.
void JoinFourPlanes(const PcxHeader& header, const std::vector<uint8_t>& line, uint8_t* bits) {
  auto colour = [&](unsigned x) {
    unsigned index = 0;
    for (unsigned plane = 0; plane < 4; ++plane) {
      if (line[x / 8 + plane * header.bytes_per_line] & (0x80 >> (x & 7))) index |= 1u << plane;
    }
    return index;
  };
  for (unsigned x = 0; x < header.width / 2; ++x) {
    bits[x] = static_cast<uint8_t>((colour(2 * x) << 4) | colour(2 * x + 1));
  }
}

// A row of three 8-bit planes (red, green, blue) as blue-green-red pixels.
void JoinThreePlanes(const PcxHeader& header, const std::vector<uint8_t>& line, uint8_t* bits) {
  for (unsigned x = 0; x < header.width; ++x) {
    bits[3 * x + 2] = line[x];
    bits[3 * x + 1] = line[header.bytes_per_line + x];
    bits[3 * x] = line[2 * header.bytes_per_line + x];
  }
}

}  // namespace

bool ReadPcxSize(Bytes in, long long* width, long long* height) {
  PcxHeader header;
  if (!ParseHeader(in, &header)) return false;
  *width = header.width;
  *height = header.height;
  return true;
}

bool DecodePcx(Bytes in, Raster* raster) {
  PcxHeader header;
  if (!ParseHeader(in, &header)) return false;
  const unsigned bitcount = header.bits_per_plane * header.planes;
  const bool single_plane = header.planes == 1;
  const bool four_planes = header.planes == 4 && header.bits_per_plane == 1;
  const bool three_planes = header.planes == 3 && header.bits_per_plane == 8;
  if (!single_plane && !four_planes && !three_planes) return false;
  const size_t length = static_cast<size_t>(header.bytes_per_line) * header.planes;
  // Rows of planes narrower than the picture are not read.
  if (three_planes && header.width > header.bytes_per_line) return false;
  if (four_planes && (header.width + 7) / 8 > header.bytes_per_line) return false;
  const bool compressed = header.encoding == 1;
  // A compressed row needs at least one byte for every 256 of its bytes.
  if (compressed && (length + 255) / 256 * static_cast<unsigned long long>(header.height) >
                        in.size - kHeaderSize) {
    return false;
  }

  Dib dib;
  if (!dib.Allocate(header.width, header.height, static_cast<int>(bitcount))) return false;
  if (!FillPalette(in, bitcount, &dib)) return false;

  RowReader rows(in, compressed, length);
  const std::vector<uint8_t>& line = rows.line();
  for (int y = 0; y < dib.height; ++y) {
    if (!rows.Next()) return false;
    uint8_t* bits = dib.ScanLine(dib.height - 1 - y);
    if (single_plane) {
      if (length > 0) std::memcpy(bits, line.data(), length < dib.pitch ? length : dib.pitch);
      rows.SkipAfterUncompressedRow();
    } else if (four_planes) {
      JoinFourPlanes(header, line, bits);
      rows.SkipAfterUncompressedRow();
    } else {
      JoinThreePlanes(header, line, bits);
    }
  }
  return DibToRaster(dib, raster);
}

}  // namespace imaging
