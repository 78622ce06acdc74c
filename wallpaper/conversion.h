#ifndef WALLPAPER_CONVERSION_H_
#define WALLPAPER_CONVERSION_H_

// The downloaded picture becomes Walp.bmp (WallpaperFetcher::ConvertToBmp)
// and Walp.bmp the desktop wallpaper (WallpaperFetcher::SetWallpaper).

// True for the format identifiers (FreeImage numbering) whose pictures are
// loaded: BMP, ICO, JPEG, KOALA, PBM, PCD, PCX, PGM, PNG, PPM, RAS, TARGA,
// TIFF. GIF, JNG, MNG, LBM, the raw PNM variants and unknown ones are not.
bool IsAcceptedPictureFormat(int format);

// A header that claims more pixels than this is refused before decoding.
constexpr long long kMaxPicturePixels = 1LL << 28;

#endif  // WALLPAPER_CONVERSION_H_
