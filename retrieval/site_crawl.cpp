#include "app/wallpaper_fetcher.h"

bool WallpaperFetcher::CrawlSite() { return false; }
