#ifndef WALLPAPER_CONVERSION_H_
#define WALLPAPER_CONVERSION_H_

#include "picture/picture_refusal.h"

// The downloaded picture becomes Walp.bmp (WallpaperFetcher::ConvertToBmp)
// and Walp.bmp the desktop wallpaper (WallpaperFetcher::SetWallpaper).

// The configured limit (MaxWallpWidth, MaxWallpHeight) a picture of width x
// height is over, the height checked first: kTallerThanLimit or
// kWiderThanLimit with that limit stored in `*limit`; kNone when it is
// within both. A limit of 0 is no limit; the comparisons are signed, so a
// negative limit refuses every picture.
PictureRefusal PictureLimitsRefusal(long long width, long long height, int max_width,
                                    int max_height, int* limit);

#endif  // WALLPAPER_CONVERSION_H_
