#include "app/fetcher_app.h"

#include "app/wallpaper_fetcher.h"

bool FetcherApp::InitInstance() {
  WallpaperFetcher fetcher;
  fetcher.Run();
  return false;
}
