#ifndef WALLPAPER_CONVERSION_H_
#define WALLPAPER_CONVERSION_H_

#include <string>

// The downloaded picture becomes Walp.bmp (WallpaperFetcher::ConvertToBmp)
// and Walp.bmp the desktop wallpaper (WallpaperFetcher::SetWallpaper).

// True for the format identifiers (FreeImage numbering) whose pictures are
// loaded: BMP, ICO, JPEG, KOALA, PBM, PCD, PCX, PGM, PNG, PPM, RAS, TARGA,
// TIFF. GIF, JNG, MNG, LBM, the raw PNM variants and unknown ones are not.
bool IsAcceptedPictureFormat(int format);

// The name of a format identifier (FreeImage numbering): "JPEG", "GIF", ...;
// "unknown" for -1 and numbers without a name.
const char* PictureFormatName(int format);

// Which limit a picture is over, in words ("taller than MaxWallpHeight=1080");
// "" when it is within both (a limit of 0 is no limit).
std::string OverLimitsText(long long width, long long height, int max_width, int max_height);

// A header that claims more pixels than this is refused before decoding.
constexpr long long kMaxPicturePixels = 1LL << 28;

#endif  // WALLPAPER_CONVERSION_H_
