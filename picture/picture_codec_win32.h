#ifndef PICTURE_PICTURE_CODEC_WIN32_H_
#define PICTURE_PICTURE_CODEC_WIN32_H_

#include <memory>

#include "picture/picture_codec.h"

// The bounds of one decoder child on Windows.
struct DecoderLimits {
  unsigned long long memory_bytes;  // committed memory, the program's own included
  int header_timeout_ms;            // to read the picture and its header
  int decode_timeout_ms;            // to decode the pixels
  int transfer_timeout_ms;          // to hand them to the parent
};

// What SystemPictureCodec() uses.
DecoderLimits DefaultDecoderLimits();

// A codec whose children have `limits`.
std::unique_ptr<PictureCodec> MakeConfinedPictureCodec(const DecoderLimits& limits);

// Has a decoder child call `fault` just before it decodes the pixels: a
// test program that is its own decoder child makes it crash, hang or take
// too much memory there.
void SetDecoderChildFaultForTesting(void (*fault)());

#endif  // PICTURE_PICTURE_CODEC_WIN32_H_
