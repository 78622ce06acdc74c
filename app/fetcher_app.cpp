#include "app/fetcher_app.h"

#include "app/wallpaper_fetcher.h"

bool FetcherApp::InitInstance() {
  WallpaperFetcher fetcher(SystemPlatform(), std::time(nullptr), invocation_);
  fetcher.Run();
  return false;
}
