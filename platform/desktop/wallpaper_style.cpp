#include "platform/desktop/wallpaper_style.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/text_case.h"

namespace {

struct StyleName {
  WallpaperStyle style;
  const char* name;
};
constexpr StyleName kStyleNames[] = {
    {WallpaperStyle::kFill, "fill"},       {WallpaperStyle::kFit, "fit"},
    {WallpaperStyle::kStretch, "stretch"}, {WallpaperStyle::kCenter, "center"},
    {WallpaperStyle::kTile, "tile"},       {WallpaperStyle::kSpan, "span"},
};

PixelRect Intersection(const PixelRect& a, const PixelRect& b) {
  const int left = std::max(a.x, b.x);
  const int top = std::max(a.y, b.y);
  const int right = std::min(a.x + a.width, b.x + b.width);
  const int bottom = std::min(a.y + a.height, b.y + b.height);
  if (right <= left || bottom <= top) return {left, top, 0, 0};
  return {left, top, right - left, bottom - top};
}

// The mix of two pixels, `f` 256ths of the way from `a` to `b`: red and
// blue side by side in one multiplication, green in another.
inline uint32_t Mix(uint32_t a, uint32_t b, uint32_t f) {
  const uint32_t rb = (((a & 0xFF00FFu) * (256 - f) + (b & 0xFF00FFu) * f) >> 8) & 0xFF00FFu;
  const uint32_t g = (((a & 0xFF00u) * (256 - f) + (b & 0xFF00u) * f) >> 8) & 0xFF00u;
  return rb | g;
}

// Where each of `count` destination samples (pixel centres, from `first`
// within a span of `scaled` pixels) falls in a source of `source` pixels:
// the pixel before it, in 256ths (clamped to the edge pixels).
std::vector<long long> SamplePositions(int first, int count, long long scaled, int source) {
  std::vector<long long> positions(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    long long p = ((2LL * (first + i) + 1) * source * 256) / (2 * scaled) - 128;
    positions[static_cast<size_t>(i)] = std::clamp(p, 0LL, (source - 1) * 256LL);
  }
  return positions;
}

// `picture` scaled bilinearly to `target` (canvas coordinates), drawn where
// it meets `clip`.
void DrawScaled(const Pixels& picture, const PixelRect& target, const PixelRect& clip,
                Pixels* canvas) {
  const PixelRect drawn = Intersection(target, clip);
  if (drawn.width == 0) return;
  if (target.width == picture.width && target.height == picture.height) {
    for (int y = drawn.y; y < drawn.y + drawn.height; ++y) {
      const uint32_t* from = &picture.data[static_cast<size_t>(y - target.y) * picture.width +
                                           static_cast<size_t>(drawn.x - target.x)];
      std::copy(from, from + drawn.width,
                &canvas->data[static_cast<size_t>(y) * canvas->width + drawn.x]);
    }
    return;
  }
  const std::vector<long long> xs =
      SamplePositions(drawn.x - target.x, drawn.width, target.width, picture.width);
  const std::vector<long long> ys =
      SamplePositions(drawn.y - target.y, drawn.height, target.height, picture.height);
  // Two source rows mixed across, reused while the rows stay the same.
  std::vector<uint32_t> upper(static_cast<size_t>(drawn.width));
  std::vector<uint32_t> lower(upper.size());
  const auto mix_row = [&](int row, std::vector<uint32_t>* out) {
    const uint32_t* line = &picture.data[static_cast<size_t>(row) * picture.width];
    for (size_t i = 0; i < out->size(); ++i) {
      const long long x = xs[i] >> 8;
      const long long next = std::min<long long>(x + 1, picture.width - 1);
      (*out)[i] = Mix(line[x], line[next], static_cast<uint32_t>(xs[i] & 255));
    }
  };
  long long upper_row = -1;
  for (int i = 0; i < drawn.height; ++i) {
    const long long row = ys[static_cast<size_t>(i)] >> 8;
    const uint32_t f = static_cast<uint32_t>(ys[static_cast<size_t>(i)] & 255);
    if (row != upper_row) {
      if (upper_row >= 0 && row == upper_row + 1) {
        upper.swap(lower);
      } else {
        mix_row(static_cast<int>(row), &upper);
      }
      mix_row(static_cast<int>(std::min<long long>(row + 1, picture.height - 1)), &lower);
      upper_row = row;
    }
    uint32_t* out = &canvas->data[static_cast<size_t>(drawn.y + i) * canvas->width + drawn.x];
    if (f == 0) {
      std::copy(upper.begin(), upper.end(), out);
    } else {
      for (size_t x = 0; x < upper.size(); ++x) out[x] = Mix(upper[x], lower[x], f);
    }
  }
}

// `picture` repeated from the top left corner of `area`, drawn where it
// meets `clip`.
void DrawTiled(const Pixels& picture, const PixelRect& area, const PixelRect& clip,
               Pixels* canvas) {
  const PixelRect drawn = Intersection(area, clip);
  for (int y = drawn.y; y < drawn.y + drawn.height; ++y) {
    const uint32_t* line =
        &picture.data[static_cast<size_t>((y - area.y) % picture.height) * picture.width];
    uint32_t* out = &canvas->data[static_cast<size_t>(y) * canvas->width];
    for (int x = drawn.x; x < drawn.x + drawn.width; ++x)
      out[x] = line[(x - area.x) % picture.width];
  }
}

// Where the picture goes in `area` for `style`, centred.
PixelRect Placement(const Pixels& picture, WallpaperStyle style, const PixelRect& area) {
  const long long w = picture.width;
  const long long h = picture.height;
  long long width = area.width;
  long long height = area.height;
  const bool wider = w * area.height > h * area.width;  // than the area
  switch (style) {
    case WallpaperStyle::kStretch:
      break;
    case WallpaperStyle::kCenter:
      width = w;
      height = h;
      break;
    case WallpaperStyle::kFit:
      if (wider) {
        height = std::max(1LL, (h * area.width + w / 2) / w);
      } else {
        width = std::max(1LL, (w * area.height + h / 2) / h);
      }
      break;
    default:  // fill, span and the root's own
      if (wider) {
        width = (w * area.height + h / 2) / h;
      } else {
        height = (h * area.width + w / 2) / w;
      }
      break;
  }
  return {area.x + static_cast<int>((area.width - width) / 2),
          area.y + static_cast<int>((area.height - height) / 2), static_cast<int>(width),
          static_cast<int>(height)};
}

}  // namespace

const char* WallpaperStyleName(WallpaperStyle style) {
  for (const StyleName& entry : kStyleNames) {
    if (entry.style == style) return entry.name;
  }
  return "";
}

bool ParseWallpaperStyle(const std::string& text, WallpaperStyle* style) {
  if (text.empty()) {
    *style = WallpaperStyle::kDesktops;
    return true;
  }
  for (const StyleName& entry : kStyleNames) {
    if (Lower(text) == entry.name) {
      *style = entry.style;
      return true;
    }
  }
  return false;
}

bool ParseBackgroundColour(const std::string& text, uint32_t* rgb) {
  if (text.empty()) {
    *rgb = 0;
    return true;
  }
  if (text.size() != 7 || text[0] != '#') return false;
  for (size_t i = 1; i < 7; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  *rgb = static_cast<uint32_t>(std::strtoul(text.c_str() + 1, nullptr, 16));
  return true;
}

std::string BackgroundColourText(uint32_t rgb) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text = "#";
  for (int shift = 20; shift >= 0; shift -= 4) text += kHex[(rgb >> shift) & 15];
  return text;
}

void ComposeWallpaper(const Pixels& picture, const WallpaperLook& look,
                      const std::vector<PixelRect>& monitors, Pixels* canvas) {
  std::fill(canvas->data.begin(), canvas->data.end(), look.background & 0xFFFFFFu);
  const PixelRect screen = {0, 0, canvas->width, canvas->height};
  std::vector<PixelRect> areas = monitors;
  if (areas.empty()) areas.push_back(screen);
  PixelRect box = areas.front();
  for (const PixelRect& area : areas) {
    const int right = std::max(box.x + box.width, area.x + area.width);
    const int bottom = std::max(box.y + box.height, area.y + area.height);
    box.x = std::min(box.x, area.x);
    box.y = std::min(box.y, area.y);
    box.width = right - box.x;
    box.height = bottom - box.y;
  }
  for (const PixelRect& area : areas) {
    const PixelRect clip = Intersection(area, screen);
    if (clip.width == 0) continue;
    if (look.style == WallpaperStyle::kTile) {
      DrawTiled(picture, area, clip, canvas);
    } else if (look.style == WallpaperStyle::kSpan) {
      DrawScaled(picture, Placement(picture, look.style, box), clip, canvas);
    } else {
      DrawScaled(picture, Placement(picture, look.style, area), clip, canvas);
    }
  }
}
