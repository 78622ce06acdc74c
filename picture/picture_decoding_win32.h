#ifndef PICTURE_PICTURE_DECODING_WIN32_H_
#define PICTURE_PICTURE_DECODING_WIN32_H_

#include <cstdint>
#include <vector>

#include "picture/decoders/raster.h"

// The decoding itself on Windows, done in the confined decoder child from
// the picture's bytes in memory: each format decoded as the table of
// picture/formats.h says.

// Reads only the header of `bytes` as `format`; false when it cannot be
// read so, otherwise stores the size claimed (which may be too large).
bool ReadPictureSize(int format, const std::vector<uint8_t>& bytes, long long* width,
                     long long* height);
// Decodes the whole picture into `raster`; false when it cannot be read as
// `format` or has more than kMaxPicturePixels pixels.
bool DecodePicture(int format, const std::vector<uint8_t>& bytes, imaging::Raster* raster);

#endif  // PICTURE_PICTURE_DECODING_WIN32_H_
