#include "support/test_pictures.h"

FIBITMAP* GradientBitmap(int width, int height, int blue) {
  FIBITMAP* dib = FreeImage_Allocate(width, height, 24);
  for (int y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(dib, y);
    for (int x = 0; x < width; ++x) {
      line[3 * x + FI_RGBA_RED] = static_cast<BYTE>(x * 255 / width);
      line[3 * x + FI_RGBA_GREEN] = static_cast<BYTE>(y * 255 / height);
      line[3 * x + FI_RGBA_BLUE] = static_cast<BYTE>(blue);
    }
  }
  return dib;
}

FIBITMAP* QuadrantBitmap(int width, int height) {
  FIBITMAP* dib = FreeImage_Allocate(width, height, 24);
  for (int y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(dib, height - 1 - y);  // bottom-up
    for (int x = 0; x < width; ++x) {
      const bool right = x >= width / 2;
      const bool bottom = y >= height / 2;
      const Rgb c = bottom ? (right ? kWhite : kBlue) : (right ? kGreen : kRed);
      line[x * 3 + FI_RGBA_RED] = static_cast<BYTE>(c.r);
      line[x * 3 + FI_RGBA_GREEN] = static_cast<BYTE>(c.g);
      line[x * 3 + FI_RGBA_BLUE] = static_cast<BYTE>(c.b);
    }
  }
  return dib;
}

std::string EncodePicture(FIBITMAP* dib, FREE_IMAGE_FORMAT format) {
  FIBITMAP* palette = nullptr;
  if (format == FIF_GIF && FreeImage_GetBPP(dib) > 8) {
    palette = FreeImage_ColorQuantize(dib, FIQ_WUQUANT);
    dib = palette;
  }
  std::string bytes;
  FIMEMORY* memory = FreeImage_OpenMemory();
  if (dib != nullptr && FreeImage_SaveToMemory(format, dib, memory, 0)) {
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    bytes.assign(reinterpret_cast<char*>(data), size);
  }
  FreeImage_CloseMemory(memory);
  if (palette != nullptr) FreeImage_Unload(palette);
  return bytes;
}

std::string GradientPicture(FREE_IMAGE_FORMAT format, int width, int height, int blue) {
  FIBITMAP* dib = GradientBitmap(width, height, blue);
  std::string bytes = EncodePicture(dib, format);
  FreeImage_Unload(dib);
  return bytes;
}
