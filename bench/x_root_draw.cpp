// The program's X root path as a whole process, for bench/x_root_vs_feh.sh:
// the bitmap decoded, composed into each monitor in the style, published as
// the root window's background, as a run does when no desktop draws.
//
// Usage: x_root_draw DISPLAY BITMAP [STYLE]   (STYLE as WallpaperStyle, fill by default)
// Exit code 0 when the root window shows it.
#include <cstdio>
#include <string>

#include "platform/desktop/wallpaper_style.h"
#include "platform/desktop/x11_root_posix.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: x_root_draw DISPLAY BITMAP [STYLE]\n");
    return 2;
  }
  WallpaperLook look;
  look.style = WallpaperStyle::kFill;
  if (argc > 3 && !ParseWallpaperStyle(argv[3], &look.style)) {
    std::fprintf(stderr, "x_root_draw: unknown style %s\n", argv[3]);
    return 2;
  }
  const std::string failure = SetRootWindowBackground(argv[1], argv[2], look);
  if (failure.empty()) return 0;
  std::fprintf(stderr, "x_root_draw: %s\n", failure.c_str());
  return 1;
}
