#ifndef PICTURE_PICTURE_CODEC_H_
#define PICTURE_PICTURE_CODEC_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/outcome.h"

// Picture decoding and bitmap writing. Abstract because the decoder differs
// between builds (FreeImage in a child process on POSIX, the Windows Imaging
// Component and our own decoders in a child process on Windows) and so that tests can count
// and fail its calls. Formats are the numbers of picture/formats.h.
class Picture {
 public:
  virtual ~Picture() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Writes the picture as a Windows bitmap. On failure `path` is left as it
  // was (the bitmap appears there whole or not at all) and the outcome says
  // why, in the system's words where it has them ("No space left on device").
  virtual Outcome SaveBmp(const std::string& path) const = 0;
};

class PictureCodec {
 public:
  virtual ~PictureCodec() = default;
  // Reads only the header of the file. Returns false when it cannot be read
  // as `format`; otherwise stores the size the header claims.
  virtual bool ReadSize(int format, const std::string& path, long long* width,
                        long long* height) = 0;
  // Decodes the whole picture; null when it cannot be read as `format`.
  virtual std::unique_ptr<Picture> Load(int format, const std::string& path) = 0;
};

PictureCodec& SystemPictureCodec();

// The decoder child's side, when `words` (the command line) start this
// program as one (on Windows, where SystemPictureCodec() starts them):
// decodes and returns its exit code. -1 when they do not.
int RunAsDecoderChild(const std::vector<std::string>& words);

#endif  // PICTURE_PICTURE_CODEC_H_
