#include "picture/picture_refusal.h"

#include "picture/formats.h"

std::string DescribePictureRefusal(PictureRefusal refusal, int format, const std::string& extension,
                                   int limit) {
  switch (refusal) {
    case PictureRefusal::kNone:
      return "";
    case PictureRefusal::kNoExtension:
      return "no extension in the file name, and no known picture signature";
    case PictureRefusal::kUnknownFormat:
      return "the extension " + extension + " names no picture format, nor does the content";
    case PictureRefusal::kNotAccepted:
      return std::string(PictureFormatName(format)) + " is not a format that is converted";
    case PictureRefusal::kHeaderUnreadable:
      return std::string("its header cannot be read as ") + PictureFormatName(format);
    case PictureRefusal::kTallerThanLimit:
      return "taller than MaxWallpHeight=" + std::to_string(limit);
    case PictureRefusal::kWiderThanLimit:
      return "wider than MaxWallpWidth=" + std::to_string(limit);
    case PictureRefusal::kTooManyPixels:
      return "more pixels than any screen needs";
    case PictureRefusal::kUndecodable:
      return std::string("it cannot be decoded as ") + PictureFormatName(format);
  }
  return "";
}
