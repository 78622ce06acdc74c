// PNM: PBM, PGM and PPM, as text (P1-P3) or binary (P4-P6), with any maximum
// value up to 65535.
//
// Read as FreeImage reads them, so that the same file gives the same picture:
// a number is any run of digits, whatever separates it (the character after
// it is consumed, and a text file must hold one after its last number); a
// '#' where a number is expected starts a comment to the end of the line. In
// P1 a 0 is white and any other number black. Levels scale to 8 bits as
// 255 * level / maximum, rounded down. Above a maximum of 255 the levels are
// first widened to 16 bits (65535 * level / maximum); the 16-bit PPM keeps
// the high byte of each channel, the 16-bit PGM is stretched over the range
// of its own levels, as the Linux build's conversion to a bitmap does.

#include <vector>

#include "picture/decoders/decoder_internals.h"

namespace imaging {
namespace {

class PnmReader {
 public:
  explicit PnmReader(Bytes in) : in_(in) {}

  bool Char(uint8_t* c) {
    if (pos_ >= in_.size) return false;
    *c = in_.U8(pos_++);
    return true;
  }

  // The next number; false at the end of the file. Numbers too large for
  // 32 bits wrap around as they do in FreeImage.
  bool Number(int32_t* value) {
    uint8_t c;
    if (!Char(&c)) return false;
    while (true) {
      if (c == '#') {
        do {
          if (!Char(&c)) return false;
        } while (c != '\n');
      }
      if (c >= '0' && c <= '9') break;
      if (!Char(&c)) return false;
    }
    uint32_t number = 0;
    while (true) {
      number = number * 10 + static_cast<uint32_t>(c - '0');
      if (!Char(&c)) return false;
      if (c < '0' || c > '9') break;
    }
    *value = static_cast<int32_t>(number);
    return true;
  }

  size_t pos() const { return pos_; }
  size_t left() const { return in_.size - pos_; }

 private:
  Bytes in_;
  size_t pos_ = 0;
};

struct PnmHeader {
  char kind;  // '1' to '6'
  int32_t width, height, maximum;
};

bool ParseHeader(PnmReader* reader, PnmHeader* header) {
  uint8_t p, kind;
  if (!reader->Char(&p) || !reader->Char(&kind) || p != 'P' || kind < '1' || kind > '6') {
    return false;
  }
  header->kind = static_cast<char>(kind);
  if (!reader->Number(&header->width) || !reader->Number(&header->height)) return false;
  if (header->width <= 0 || header->height <= 0) return false;
  header->maximum = 1;
  if (kind != '1' && kind != '4') {
    if (!reader->Number(&header->maximum)) return false;
    if (header->maximum <= 0 || header->maximum > 65535) return false;
  }
  return true;
}

// 255 * level / maximum in FreeImage's 32-bit arithmetic, kept to 8 bits.
uint8_t Scale8(int32_t level, int32_t maximum) {
  const auto product = static_cast<int32_t>(255u * static_cast<uint32_t>(level));
  return static_cast<uint8_t>(product / maximum);
}

// 65535 * level / maximum, kept to 16 bits as x86 code converts a double.
uint16_t Scale16(int32_t level, int32_t maximum) {
  const double value = (65535 * static_cast<double>(level)) / maximum;
  if (!(value > -2147483649.0 && value < 2147483648.0)) return 0;
  return static_cast<uint16_t>(static_cast<int32_t>(value));
}

// The next level: a number in text, one byte in binary, two (high first)
// above a maximum of 255.
bool ReadLevel(PnmReader* reader, const PnmHeader& header, int32_t* value) {
  if (header.kind <= '3') return reader->Number(value);
  uint8_t high, low;
  if (!reader->Char(&high)) return false;
  if (header.maximum <= 255) {
    *value = high;
    return true;
  }
  if (!reader->Char(&low)) return false;
  *value = (high << 8) | low;
  return true;
}

// A P4 row, a bit a pixel with 1 black, into `out`.
bool ReadBitRow(PnmReader* reader, int width, uint8_t* out) {
  uint8_t byte = 0;
  for (int x = 0; x < width; ++x) {
    if (x % 8 == 0 && !reader->Char(&byte)) return false;
    const uint8_t v = (byte & (0x80 >> (x % 8))) ? 0 : 255;
    out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = v;
  }
  return true;
}

// Row `y` of levels into `out`, a 16-bit grey one into *grey16 instead.
bool ReadLevelRow(PnmReader* reader, const PnmHeader& header, int y, uint8_t* out,
                  std::vector<uint16_t>* grey16) {
  const int samples = (header.kind == '3' || header.kind == '6') ? 3 : 1;
  const bool wide = header.maximum > 255;
  for (int x = 0; x < header.width; ++x) {
    uint8_t* pixel = out + 3 * static_cast<size_t>(x);
    for (int s = 0; s < samples; ++s) {
      int32_t value;
      if (!ReadLevel(reader, header, &value)) return false;
      if (header.kind == '1') {
        pixel[0] = pixel[1] = pixel[2] = value == 0 ? 255 : 0;
      } else if (!wide) {
        pixel[s] = Scale8(value, header.maximum);
      } else if (samples == 3) {
        pixel[s] = static_cast<uint8_t>(Scale16(value, header.maximum) >> 8);
      } else {
        (*grey16)[static_cast<size_t>(y) * header.width + x] = Scale16(value, header.maximum);
      }
    }
    if (samples == 1 && header.kind != '1' && !wide) pixel[1] = pixel[2] = pixel[0];
  }
  return true;
}

}  // namespace

bool ReadPnmSize(Bytes in, long long* width, long long* height) {
  PnmReader reader(in);
  PnmHeader header;
  if (!ParseHeader(&reader, &header)) return false;
  *width = header.width;
  *height = header.height;
  return true;
}

bool DecodePnm(Bytes in, Raster* raster) {
  PnmReader reader(in);
  PnmHeader header;
  if (!ParseHeader(&reader, &header)) return false;
  const bool text = header.kind <= '3';
  const int samples = (header.kind == '3' || header.kind == '6') ? 3 : 1;
  const bool wide = header.maximum > 255;
  if (!IsAllowedSize(header.width, header.height)) return false;
  const auto pixels = static_cast<unsigned long long>(header.width) * header.height;
  // Each number in text takes a digit and a separator; binary levels take one
  // or two bytes, a bitmap row a bit a pixel.
  unsigned long long needed = pixels * samples * (text ? 2 : wide ? 2 : 1);
  if (header.kind == '4') needed = (header.width + 7ULL) / 8 * header.height;
  if (needed > reader.left()) return false;
  if (!raster->Allocate(header.width, header.height, 3)) return false;

  std::vector<uint16_t> grey16;
  if (wide && samples == 1) grey16.resize(static_cast<size_t>(pixels));
  for (int y = 0; y < header.height; ++y) {
    const bool read = header.kind == '4'
                          ? ReadBitRow(&reader, header.width, raster->Row(y))
                          : ReadLevelRow(&reader, header, y, raster->Row(y), &grey16);
    if (!read) return false;
  }
  if (!grey16.empty()) StretchGrey16(grey16, raster);
  return true;
}

}  // namespace imaging
