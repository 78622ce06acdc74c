#ifndef WALLPAPER_CONVERSION_H_
#define WALLPAPER_CONVERSION_H_

#include <string>

// The downloaded picture becomes Walp.bmp (WallpaperFetcher::ConvertToBmp)
// and Walp.bmp the desktop wallpaper (WallpaperFetcher::SetWallpaper).

// Which limit a picture is over, in words ("taller than MaxWallpHeight=1080");
// "" when it is within both (a limit of 0 is no limit).
std::string OverLimitsText(long long width, long long height, int max_width, int max_height);

#endif  // WALLPAPER_CONVERSION_H_
