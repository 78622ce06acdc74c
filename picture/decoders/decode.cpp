#include "picture/decoders/decode.h"

#include "picture/decoders/decoder_internals.h"

namespace imaging {

bool IsOwnDecoder(WindowsDecoder decoder) {
  switch (decoder) {
    case WindowsDecoder::kTarga:
    case WindowsDecoder::kPcx:
    case WindowsDecoder::kPnm:
    case WindowsDecoder::kSunRaster:
    case WindowsDecoder::kKoala:
    case WindowsDecoder::kPhotoCd:
      return true;
    default:
      return false;
  }
}

bool ReadSize(WindowsDecoder decoder, const uint8_t* data, size_t size, long long* width,
              long long* height) {
  const Bytes in{data, size};
  switch (decoder) {
    case WindowsDecoder::kTarga:
      return ReadTargaSize(in, width, height);
    case WindowsDecoder::kPcx:
      return ReadPcxSize(in, width, height);
    case WindowsDecoder::kPnm:
      return ReadPnmSize(in, width, height);
    case WindowsDecoder::kSunRaster:
      return ReadSunRasterSize(in, width, height);
    case WindowsDecoder::kKoala:
      return ReadKoalaSize(in, width, height);
    case WindowsDecoder::kPhotoCd:
      return ReadPhotoCdSize(in, width, height);
    default:
      return false;
  }
}

bool Decode(WindowsDecoder decoder, const uint8_t* data, size_t size, Raster* raster) {
  const Bytes in{data, size};
  bool ok = false;
  switch (decoder) {
    case WindowsDecoder::kTarga:
      ok = DecodeTarga(in, raster);
      break;
    case WindowsDecoder::kPcx:
      ok = DecodePcx(in, raster);
      break;
    case WindowsDecoder::kPnm:
      ok = DecodePnm(in, raster);
      break;
    case WindowsDecoder::kSunRaster:
      ok = DecodeSunRaster(in, raster);
      break;
    case WindowsDecoder::kKoala:
      ok = DecodeKoala(in, raster);
      break;
    case WindowsDecoder::kPhotoCd:
      ok = DecodePhotoCd(in, raster);
      break;
    default:
      break;
  }
  if (!ok) *raster = Raster();
  return ok;
}

}  // namespace imaging
