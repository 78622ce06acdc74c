#ifndef WALLPAPER_CONVERSION_H_
#define WALLPAPER_CONVERSION_H_

#include <string>

#include "diagnostics/reporter.h"
#include "picture/picture_codec.h"
#include "picture/picture_refusal.h"

// The downloaded picture becomes Walp.bmp, which becomes the desktop
// wallpaper (wallpaper/installation.h).

// The configured limit (MaxWallpWidth, MaxWallpHeight) a picture of width x
// height is over, the height checked first: kTallerThanLimit or
// kWiderThanLimit with that limit stored in `*limit`; kNone when it is
// within both. A limit of 0 is no limit; the comparisons are signed, so a
// negative limit refuses every picture.
PictureRefusal PictureLimitsRefusal(long long width, long long height, int max_width,
                                    int max_height, int* limit);

// Where the bitmap goes: Walp.bmp under SavePath (`save_path`, made full
// against `program_dir`).
std::string BitmapPath(const std::string& save_path, const std::string& program_dir);

// What the conversion decided: whether `bitmap` was written, and what it
// learned of the picture (record.refusal says why it was not taken).
struct PictureVerdict {
  bool converted = false;
  // The old bitmap was deleted (and replaced when `converted`): the picture
  // was neither nameless nor over the limits.
  bool bitmap_replaced = false;
  PictureRecord record;
};

// Writes `bitmap` (Walp.bmp) from the downloaded `picture`, whose format
// the extension names, or its content where the extension names none or
// one that the content's signature belies (PictureFormatOf). The header is read first, so that a
// picture over the limits (`max_width`, `max_height`; refused without a message, the old bitmap
// kept) or over any sensible size is refused before it is decoded. A picture with neither an
// extension nor a known signature is refused with "No extenssion for downloaded file", the old
// bitmap kept. Otherwise the old bitmap is deleted, and "Couldn't convert file to BMP" shown when
// the picture cannot be converted.
PictureVerdict ConvertPictureToBmp(const std::string& picture, const std::string& bitmap,
                                   int max_width, int max_height, PictureCodec& codec,
                                   const Reporter& reporter);

#endif  // WALLPAPER_CONVERSION_H_
