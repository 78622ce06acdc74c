#ifndef TESTS_SUPPORT_TEST_PICTURES_H_
#define TESTS_SUPPORT_TEST_PICTURES_H_

#include <FreeImage.h>

#include <string>

// A smooth picture: red grows to the right, green downwards, blue fixed.
// Small once compressed, three bytes a pixel as a bitmap. The caller unloads it.
FIBITMAP* GradientBitmap(int width, int height, int blue = 128);

// The bytes of a file in `format` holding `dib`; a GIF is reduced to a palette
// first, as the format demands. Empty when FreeImage cannot write it.
std::string EncodePicture(FIBITMAP* dib, FREE_IMAGE_FORMAT format);

// GradientBitmap encoded in `format`.
std::string GradientPicture(FREE_IMAGE_FORMAT format, int width, int height, int blue = 128);

#endif  // TESTS_SUPPORT_TEST_PICTURES_H_
