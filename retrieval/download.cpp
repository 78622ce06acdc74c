#include "retrieval/download.h"

#include "app/wallpaper_fetcher.h"

PendingDownloadRecord PendingDownload;

int WallpaperFetcher::DownloadFile(char*, int, std::string, std::string) { return 0; }
