#include "picture/decoders/decode.h"

#include "picture/decoders/decoder_internals.h"

namespace imaging {

bool FormatForIdentifier(int identifier, Format* format) {
  switch (identifier) {
    case 4:
      *format = Format::kKoala;
      return true;
    case 7:
    case 11:
    case 14:
      *format = Format::kPnm;
      return true;
    case 9:
      *format = Format::kPhotoCd;
      return true;
    case 10:
      *format = Format::kPcx;
      return true;
    case 16:
      *format = Format::kSunRaster;
      return true;
    case 17:
      *format = Format::kTarga;
      return true;
    default:
      return false;
  }
}

bool ReadSize(Format format, const uint8_t* data, size_t size, long long* width,
              long long* height) {
  const Bytes in{data, size};
  switch (format) {
    case Format::kTarga:
      return ReadTargaSize(in, width, height);
    case Format::kPcx:
      return ReadPcxSize(in, width, height);
    case Format::kPnm:
      return ReadPnmSize(in, width, height);
    case Format::kSunRaster:
      return ReadSunRasterSize(in, width, height);
    case Format::kKoala:
      return ReadKoalaSize(in, width, height);
    case Format::kPhotoCd:
      return ReadPhotoCdSize(in, width, height);
  }
  return false;
}

bool Decode(Format format, const uint8_t* data, size_t size, Raster* raster) {
  const Bytes in{data, size};
  bool ok = false;
  switch (format) {
    case Format::kTarga:
      ok = DecodeTarga(in, raster);
      break;
    case Format::kPcx:
      ok = DecodePcx(in, raster);
      break;
    case Format::kPnm:
      ok = DecodePnm(in, raster);
      break;
    case Format::kSunRaster:
      ok = DecodeSunRaster(in, raster);
      break;
    case Format::kKoala:
      ok = DecodeKoala(in, raster);
      break;
    case Format::kPhotoCd:
      ok = DecodePhotoCd(in, raster);
      break;
  }
  if (!ok) *raster = Raster();
  return ok;
}

}  // namespace imaging
