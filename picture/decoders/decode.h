#ifndef PICTURE_DECODERS_DECODE_H_
#define PICTURE_DECODERS_DECODE_H_

#include <cstddef>
#include <cstdint>

#include "picture/decoders/raster.h"
#include "picture/formats.h"

// Decoders of our own for the picture formats that have no decoder in every
// system: TARGA, PCX, PNM (PBM, PGM, PPM), Sun raster, KOALA and Kodak Photo
// CD. Each gives the pixels the Linux build gets from FreeImage's loader for
// the same file, so that a wallpaper looks the same on both systems; the
// comments in each decoder say where that means following FreeImage rather
// than the format's own description.
//
// Plain portable code: the whole file is in memory, nothing is read outside
// it, and nothing larger than kMaxPicturePixels pixels is allocated. Each
// decoder is named by its WindowsDecoder value, and the table of formats
// (formats.h) says which formats it reads; ReadSize and Decode refuse the
// other values (WIC's decoders, kNone).
namespace imaging {

// Reads only the header. False when the data cannot be read by `decoder`;
// otherwise stores the size the header claims, which may be more than
// kMaxPicturePixels: the caller checks it before calling Decode.
bool ReadSize(WindowsDecoder decoder, const uint8_t* data, size_t size, long long* width,
              long long* height);

// Decodes the whole picture into `raster` (3 channels, or 4 when the file
// holds an alpha channel). False, with `raster` empty, for a file that is
// cut short, inconsistent or over kMaxPicturePixels pixels.
bool Decode(WindowsDecoder decoder, const uint8_t* data, size_t size, Raster* raster);

// True for the decoders of our own, which ReadSize and Decode run.
bool IsOwnDecoder(WindowsDecoder decoder);

}  // namespace imaging

#endif  // PICTURE_DECODERS_DECODE_H_
