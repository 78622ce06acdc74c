#ifndef PICTURE_FREEIMAGE_DECODER_POSIX_H_
#define PICTURE_FREEIMAGE_DECODER_POSIX_H_

// The decoding of one picture with FreeImage, step by step: the code the
// decoder child runs (picture/picture_codec_posix.cpp), and that the picture
// fuzzer runs in its own process so that it sees the decoders' coverage.
//
// FreeImage and its codec libraries are loaded (dlopen) by the first
// decoder, so a process that never decodes (the program's main process: it
// decodes in children) does not pay for loading them.

#include <functional>
#include <memory>
#include <string>

#include "picture/picture_codec.h"

class PictureDecoder {
 public:
  // `on_cut_short` is called when a whole-picture decode reads past the end
  // of the file; the decoder child ends itself there. Null: the decode goes
  // on and fails afterwards.
  explicit PictureDecoder(std::function<void()> on_cut_short = nullptr);
  ~PictureDecoder();
  PictureDecoder(const PictureDecoder&) = delete;
  PictureDecoder& operator=(const PictureDecoder&) = delete;

  // Opens `path` to be read as `format`; false when that format cannot be
  // read or the file cannot be opened.
  bool Open(int format, const std::string& path);
  // Reads only the header (a whole decode for the few formats that cannot
  // stop there) and stores the size it claims.
  bool ReadHeader(long long* width, long long* height);
  // Decodes the whole picture, keeping it for WriteBmp. False when it cannot
  // be read as its format, or was cut short.
  bool Decode(long long* width, long long* height);
  // Writes the decoded picture as a Windows bitmap at the start of `fd`
  // (pictures of 16 bits a channel or floating point brought down to 8 bits
  // a channel first); stores the bitmap's size. False when it cannot be
  // made or written whole.
  bool WriteBmp(int fd, long long* size);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A codec that decodes in the calling process with PictureDecoder: no child,
// no bounds. Only for the picture fuzzer, which must see the decoders'
// coverage; the program decodes in children (SystemPictureCodec).
PictureCodec& InProcessPictureCodec();

// For tests only: `probe` runs in every decoder child of SystemPictureCodec
// right after it has confined itself, before it reads the header, standing
// for a decoder taken over by a picture. Null: none.
void SetDecoderChildProbeForTesting(void (*probe)());

#endif  // PICTURE_FREEIMAGE_DECODER_POSIX_H_
