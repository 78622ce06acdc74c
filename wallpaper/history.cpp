#include "app/wallpaper_fetcher.h"

bool WallpaperFetcher::IsNotInHistory() { return true; }
void WallpaperFetcher::AddToHistory() {}
void WallpaperFetcher::DeleteLastDownload() {}
