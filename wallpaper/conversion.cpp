#include "wallpaper/conversion.h"

#include "app/wallpaper_fetcher.h"

bool WallpaperFetcher::ConvertToBmp() { return false; }
void WallpaperFetcher::SetWallpaper() {}
