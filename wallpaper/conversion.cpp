#include "wallpaper/conversion.h"

#include <memory>

#include "config/paths.h"
#include "picture/formats.h"
#include "platform/filesystem/filesystem.h"

PictureRefusal PictureLimitsRefusal(long long width, long long height, int max_width,
                                    int max_height, int* limit) {
  if (max_height != 0 && height > max_height) {
    *limit = max_height;
    return PictureRefusal::kTallerThanLimit;
  }
  if (max_width != 0 && width > max_width) {
    *limit = max_width;
    return PictureRefusal::kWiderThanLimit;
  }
  return PictureRefusal::kNone;
}

std::string BitmapPath(const std::string& save_path, const std::string& program_dir) {
  return MakeFullPath(save_path + "Walp.bmp", program_dir, false);
}

namespace {

// The picture decoded, or null with `record->refusal` saying why not. A
// refusal by the configured limits leaves `*over_limits` set: such a picture
// costs the user nothing, not even the old bitmap.
std::unique_ptr<Picture> DecodePicture(const std::string& path, int max_width, int max_height,
                                       PictureCodec& codec, PictureRecord* record,
                                       bool* over_limits) {
  const int format = record->format;
  long long width = 0;
  long long height = 0;
  if (format < 0) {
    record->refusal = PictureRefusal::kUnknownFormat;
  } else if (!IsAcceptedPictureFormat(format)) {
    record->refusal = PictureRefusal::kNotAccepted;
  } else if (!codec.ReadSize(format, path, &width, &height)) {
    record->refusal = PictureRefusal::kHeaderUnreadable;
  } else {
    record->size_known = true;
    record->width = width;
    record->height = height;
    record->refusal = PictureLimitsRefusal(width, height, max_width, max_height, &record->limit);
    if (record->refusal != PictureRefusal::kNone) {
      *over_limits = true;
    } else if (HasTooManyPixels(width, height)) {
      record->refusal = PictureRefusal::kTooManyPixels;
    } else if (std::unique_ptr<Picture> picture = codec.Load(format, path)) {
      // The decoder has the last word on the size.
      record->width = picture->Width();
      record->height = picture->Height();
      record->refusal = PictureLimitsRefusal(picture->Width(), picture->Height(), max_width,
                                             max_height, &record->limit);
      *over_limits = record->refusal != PictureRefusal::kNone;
      if (!*over_limits) return picture;
    } else {
      record->refusal = PictureRefusal::kUndecodable;
    }
  }
  return nullptr;
}

}  // namespace

PictureVerdict ConvertPictureToBmp(const std::string& picture, const std::string& bitmap,
                                   int max_width, int max_height, PictureCodec& codec,
                                   const Reporter& reporter) {
  PictureVerdict verdict;
  PictureRecord& record = verdict.record;
  const size_t dot = picture.rfind('.');
  if (dot != std::string::npos) record.extension = picture.substr(dot);
  // A picture from an address without a usable name is known by its
  // content, and so is one whose extension its content belies.
  record.format = PictureFormatOf(record.extension, ReadPictureHead(picture), &record.by_content);
  if (dot == std::string::npos && record.format < 0) {
    record.refusal = PictureRefusal::kNoExtension;
    reporter.ShowMessage("No extenssion for downloaded file");
    return verdict;
  }

  bool over_limits = false;
  const std::unique_ptr<Picture> decoded =
      DecodePicture(picture, max_width, max_height, codec, &record, &over_limits);
  // Over the configured limits: refused without a message, Walp.bmp kept.
  if (over_limits) return verdict;
  if (FileExists(bitmap)) (void)DeleteFileAt(bitmap);
  verdict.bitmap_replaced = true;
  if (decoded == nullptr) {
    reporter.ShowMessage("Couldn't convert file to BMP");
    return verdict;
  }
  // A failed save still counts as a conversion: the desktop keeps what it
  // shows (wallpaper/installation.h), and the record says why.
  const Outcome saved = decoded->SaveBmp(bitmap);
  record.bitmap_error = saved.message();
  verdict.converted = true;
  return verdict;
}
