#ifndef PLATFORM_DESKTOP_WALLPAPER_STYLE_H_
#define PLATFORM_DESKTOP_WALLPAPER_STYLE_H_

#include <cstdint>
#include <string>
#include <vector>

// How a picture meets a screen of another shape ([General] WallpaperStyle).
enum class WallpaperStyle {
  kDesktops,  // not chosen: each desktop keeps its own; the X root fills
  kFill,      // cover the screen, the overhang cut off evenly
  kFit,       // the whole picture, bars of the background colour
  kStretch,   // the screen's shape, whatever the picture's
  kCenter,    // unscaled in the middle, on the background colour
  kTile,      // unscaled, repeated from the top left corner
  kSpan,      // one picture covering all monitors together
};

// The style and the colour of fit's bars and center's surround.
struct WallpaperLook {
  WallpaperStyle style = WallpaperStyle::kDesktops;
  uint32_t background = 0;  // 0xRRGGBB
};

// "fill", "fit", ...; "" for kDesktops.
const char* WallpaperStyleName(WallpaperStyle style);
// The style named `text` (any case); "" is kDesktops. False for any other text.
bool ParseWallpaperStyle(const std::string& text, WallpaperStyle* style);
// "#RRGGBB" (any case) as 0xRRGGBB; "" is black. False for any other text.
bool ParseBackgroundColour(const std::string& text, uint32_t* rgb);
// "#RRGGBB" of `rgb`.
std::string BackgroundColourText(uint32_t rgb);

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// 0xRRGGBB pixels, rows top-down, width * height of them.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> data;
};

// The whole background of a screen of canvas->width x canvas->height: the
// background colour, and `picture` in each of `monitors` (kDesktops as
// kFill), or for kSpan once across their bounding box, drawn only where a
// monitor is. Scaling is bilinear. REQUIRES: canvas->data is sized, the
// picture is not empty.
void ComposeWallpaper(const Pixels& picture, const WallpaperLook& look,
                      const std::vector<PixelRect>& monitors, Pixels* canvas);

#endif  // PLATFORM_DESKTOP_WALLPAPER_STYLE_H_
