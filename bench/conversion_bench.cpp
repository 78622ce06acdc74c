// Converting a 3840x2160 JPEG photograph to Walp.bmp, the whole of
// ConvertToBmp: header, decode in the child process, bitmap copied into
// place. Run: build/bench/conversion_bench
#include <FreeImage.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/wallpaper_fetcher.h"
#include "diagnostics/format.h"

namespace {

// Smooth colour fields with grain, which compresses as photographs do.
bool WritePhoto(const std::string& path, int width, int height) {
  FIBITMAP* dib = FreeImage_Allocate(width, height, 24);
  uint32_t seed = 7;
  for (int y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(dib, y);
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int grain = static_cast<int>((seed >> 24) & 15) - 8;
      const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
      line[x * 3 + 0] =
          static_cast<BYTE>(std::clamp(int(128 + 100 * std::sin(6 * u + 2 * v)) + grain, 0, 255));
      line[x * 3 + 1] =
          static_cast<BYTE>(std::clamp(int(128 + 100 * std::cos(4 * v - 3 * u)) + grain, 0, 255));
      line[x * 3 + 2] = static_cast<BYTE>(std::clamp(int(255 * u * v) + grain, 0, 255));
    }
  }
  const bool ok = FreeImage_Save(FIF_JPEG, dib, path.c_str(), JPEG_QUALITYGOOD);
  FreeImage_Unload(dib);
  return ok;
}

void BM_ConvertUhdJpeg(benchmark::State& state) {
  char pattern[] = "/tmp/wf-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    state.SkipWithError("cannot make a temporary directory");
    return;
  }
  const std::string dir = std::string(pattern) + "/";
  if (WritePhoto(dir + "photo.jpg", 3840, 2160)) {
    // Not in debug mode: nothing is traced or shown.
    WallpaperFetcher fetcher(SystemPlatform(), 1);
    fetcher.m_iMaxWallpWidth = 0;
    fetcher.m_iMaxWallpHeight = 0;
    fetcher.m_strSavePath = dir;
    fetcher.m_strWalpFileName = dir + "photo.jpg";
    for (auto _ : state) {
      if (!fetcher.ConvertToBmp()) state.SkipWithError("conversion failed");
    }
  } else {
    state.SkipWithError("cannot write the test picture");
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}
BENCHMARK(BM_ConvertUhdJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
