#include "wallpaper/conversion.h"

#include <memory>
#include <string>

#include "app/diagnostics.h"
#include "app/wallpaper_fetcher.h"
#include "config/paths.h"
#include "picture/formats.h"
#include "picture/picture_codec.h"
#include "platform/filesystem/filesystem.h"
#include "retrieval/crawl_observer.h"

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

bool WallpaperFetcher::ConvertToBmp() {
  // What a check is told: every way out below says why a run would refuse
  // the picture (kNone when it would take it).
  PictureRecord record;
  const auto verdict = [&](PictureRefusal refusal) {
    record.refusal = refusal;
    Observer().OnPicture(record);
  };

  const size_t dot = m_strWalpFileName.rfind('.');
  if (dot == std::string::npos) {
    verdict(PictureRefusal::kNoExtension);
    ShowMessage("No extenssion for downloaded file");
    return false;
  }
  PictureCodec& codec = *platform_.pictures;
  record.extension = m_strWalpFileName.substr(dot);
  const int iFormat = PictureFormatFromExtension(record.extension);
  record.format = iFormat;

  // The header first, so that a picture over the limits or over any sensible
  // size is refused before it is decoded.
  std::unique_ptr<Picture> picture;
  long long llWidth = 0;
  long long llHeight = 0;
  PictureRefusal refusal = PictureRefusal::kNone;
  if (iFormat < 0) {
    refusal = PictureRefusal::kUnknownFormat;
  } else if (!IsAcceptedPictureFormat(iFormat)) {
    refusal = PictureRefusal::kNotAccepted;
  } else if (!codec.ReadSize(iFormat, m_strWalpFileName, &llWidth, &llHeight)) {
    refusal = PictureRefusal::kHeaderUnreadable;
  } else {
    record.size_known = true;
    record.width = llWidth;
    record.height = llHeight;
    // Over the configured limits: refused without a message, Walp.bmp kept.
    refusal =
        PictureLimitsRefusal(llWidth, llHeight, m_iMaxWallpWidth, m_iMaxWallpHeight, &record.limit);
    if (refusal != PictureRefusal::kNone) {
      verdict(refusal);
      return false;
    }
    if (HasTooManyPixels(llWidth, llHeight)) {
      refusal = PictureRefusal::kTooManyPixels;
    } else {
      picture = codec.Load(iFormat, m_strWalpFileName);
      if (picture == nullptr) refusal = PictureRefusal::kUndecodable;
    }
    if (picture != nullptr) {
      record.width = picture->Width();
      record.height = picture->Height();
      refusal = PictureLimitsRefusal(picture->Width(), picture->Height(), m_iMaxWallpWidth,
                                     m_iMaxWallpHeight, &record.limit);
      if (refusal != PictureRefusal::kNone) {
        verdict(refusal);
        return false;
      }
    }
  }

  m_strBmpFileName = MakeFullPath(m_strSavePath + "Walp.bmp", GetProgramDir(), false);
  if (FileExists(m_strBmpFileName)) (void)DeleteFileAt(m_strBmpFileName);
  if (picture == nullptr) {
    verdict(refusal);
    ShowMessage("Couldn't convert file to BMP");
    return false;
  }
  picture->SaveBmp(m_strBmpFileName);
  verdict(PictureRefusal::kNone);
  return true;
}
