#ifndef TESTS_SUPPORT_TEST_PICTURES_H_
#define TESTS_SUPPORT_TEST_PICTURES_H_

#include <FreeImage.h>

#include <ostream>
#include <string>

// A colour as 8-bit red, green and blue.
struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
inline std::ostream& operator<<(std::ostream& out, const Rgb& c) {
  return out << "(" << c.r << "," << c.g << "," << c.b << ")";
}
constexpr Rgb kRed = {255, 0, 0};
constexpr Rgb kGreen = {0, 255, 0};
constexpr Rgb kBlue = {0, 0, 255};
constexpr Rgb kWhite = {255, 255, 255};

// The four-colour picture, as seen on screen: red top left, green top right,
// blue bottom left, white bottom right; 24 bits a pixel. The caller unloads
// it.
FIBITMAP* QuadrantBitmap(int width, int height);

// A smooth picture: red grows to the right, green downwards, blue fixed.
// Small once compressed, three bytes a pixel as a bitmap. The caller unloads it.
FIBITMAP* GradientBitmap(int width, int height, int blue = 128);

// The bytes of a file in `format` holding `dib`; a GIF is reduced to a palette
// first, as the format demands. Empty when FreeImage cannot write it.
std::string EncodePicture(FIBITMAP* dib, FREE_IMAGE_FORMAT format);

// GradientBitmap encoded in `format`.
std::string GradientPicture(FREE_IMAGE_FORMAT format, int width, int height, int blue = 128);

#endif  // TESTS_SUPPORT_TEST_PICTURES_H_
