// Drawing the X root window's background for a wall of three 3840x2160
// monitors side by side: a 2560x1440 picture scaled bilinearly into each
// (fill, fit) or once across all three (span), on an 11520x2160 canvas.
// The part of a run the monitors add; the X transfer is the server's.
// Run: build/bench/wallpaper_style_bench
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/desktop/wallpaper_style.h"

namespace {

Pixels Picture(int width, int height) {
  Pixels picture;
  picture.width = width;
  picture.height = height;
  picture.data.resize(static_cast<size_t>(width) * height);
  uint32_t seed = 7;
  for (uint32_t& pixel : picture.data) {
    seed = seed * 1103515245u + 12345u;
    pixel = seed >> 8;
  }
  return picture;
}

void BM_ThreeMonitors4k(benchmark::State& state) {
  const Pixels picture = Picture(2560, 1440);
  const std::vector<PixelRect> monitors = {
      {0, 0, 3840, 2160}, {3840, 0, 3840, 2160}, {7680, 0, 3840, 2160}};
  Pixels canvas;
  canvas.width = 3 * 3840;
  canvas.height = 2160;
  canvas.data.resize(static_cast<size_t>(canvas.width) * canvas.height);
  const WallpaperLook look = {static_cast<WallpaperStyle>(state.range(0)), 0x202020};
  for (auto _ : state) {
    ComposeWallpaper(picture, look, monitors, &canvas);
    benchmark::DoNotOptimize(canvas.data.data());
  }
  state.SetLabel(WallpaperStyleName(look.style));
}
BENCHMARK(BM_ThreeMonitors4k)
    ->Arg(static_cast<int>(WallpaperStyle::kFill))
    ->Arg(static_cast<int>(WallpaperStyle::kFit))
    ->Arg(static_cast<int>(WallpaperStyle::kSpan))
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
