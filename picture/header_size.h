#ifndef PICTURE_HEADER_SIZE_H_
#define PICTURE_HEADER_SIZE_H_

#include <string_view>

// The size a picture's first bytes claim, for the formats the web serves
// (JPEG, PNG, GIF, BMP, WebP), without decoding it: what lets a picture be
// weighed after fetching its beginning only. False when `head` is of
// another format, damaged, or too short to tell yet (a JPEG's size comes
// after its metadata).
bool PictureSizeFromHead(std::string_view head, int format, long long* width, long long* height);

#endif  // PICTURE_HEADER_SIZE_H_
