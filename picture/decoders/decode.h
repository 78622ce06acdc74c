#ifndef PICTURE_DECODERS_DECODE_H_
#define PICTURE_DECODERS_DECODE_H_

#include <cstddef>
#include <cstdint>

#include "picture/decoders/raster.h"

// Decoders of our own for the picture formats that have no decoder in every
// system: TARGA, PCX, PNM (PBM, PGM, PPM), Sun raster, KOALA and Kodak Photo
// CD. Each gives the pixels the Linux build gets from FreeImage's loader for
// the same file, so that a wallpaper looks the same on both systems; the
// comments in each decoder say where that means following FreeImage rather
// than the format's own description.
//
// Plain portable code: the whole file is in memory, nothing is read outside
// it, and nothing larger than kMaxPixels pixels is allocated.
namespace imaging {

enum class Format { kTarga, kPcx, kPnm, kSunRaster, kKoala, kPhotoCd };

// The decoder for a FreeImage format identifier (FIF_KOALA = 4, FIF_PBM = 7,
// FIF_PCD = 9, FIF_PCX = 10, FIF_PGM = 11, FIF_PPM = 14, FIF_RAS = 16,
// FIF_TARGA = 17). False for every other identifier.
bool FormatForIdentifier(int identifier, Format* format);

// Reads only the header. False when the data cannot be read as `format`;
// otherwise stores the size the header claims, which may be more than
// kMaxPixels: the caller checks it before calling Decode.
bool ReadSize(Format format, const uint8_t* data, size_t size, long long* width, long long* height);

// Decodes the whole picture into `raster` (3 channels, or 4 when the file
// holds an alpha channel). False, with `raster` empty, for a file that is
// cut short, inconsistent or over kMaxPixels pixels.
bool Decode(Format format, const uint8_t* data, size_t size, Raster* raster);

}  // namespace imaging

#endif  // PICTURE_DECODERS_DECODE_H_
