#ifndef PICTURE_PICTURE_REFUSAL_H_
#define PICTURE_PICTURE_REFUSAL_H_

#include <string>

// Why the conversion does not take a downloaded picture, in the order it
// finds out. A run shows at most "Couldn't convert file to BMP" (or nothing,
// for a picture over the configured limits); --check prints the reason.
enum class PictureRefusal {
  kNone,              // the picture is taken
  kNoExtension,       // no dot in the file's path, and no known signature
  kUnknownFormat,     // the extension names no format
  kNotAccepted,       // a format a run does not convert (GIF, ...)
  kHeaderUnreadable,  // the header cannot be read as the extension's format
  kTallerThanLimit,   // over MaxWallpHeight
  kWiderThanLimit,    // over MaxWallpWidth
  kTooManyPixels,     // over kMaxPicturePixels
  kUndecodable,       // the pixels cannot be decoded
};

// The refusal in words, as --check prints it: "its header cannot be read
// as JPEG", "taller than MaxWallpHeight=1080", ...; "" for kNone. `format`
// and `extension` are the picture's (used by the format refusals), `limit`
// the configured limit it is over (by the limit refusals).
std::string DescribePictureRefusal(PictureRefusal refusal, int format, const std::string& extension,
                                   int limit);

// What the conversion made of a picture.
struct PictureRecord {
  int format = -1;          // FreeImage numbering, -1 when unknown
  bool by_content = false;  // the format is the content's, not the extension's
  std::string extension;    // from the last "." of the path, "" when there is none
  bool size_known = false;  // the header was read
  long long width = 0;
  long long height = 0;
  PictureRefusal refusal = PictureRefusal::kNone;  // why a run would not take it
  int limit = 0;  // the configured limit it is over (kTallerThanLimit, kWiderThanLimit)
  // Why the bitmap could not be written ("No space left on device"); "" when
  // it was, or was not tried.
  std::string bitmap_error;
};

#endif  // PICTURE_PICTURE_REFUSAL_H_
