#include "retrieval/link_extraction.h"

#include "app/wallpaper_fetcher.h"

std::vector<std::string> WallpaperFetcher::CollectLinks(const std::string&, const std::string&,
                                                        const std::string&, int) {
  return {};
}
