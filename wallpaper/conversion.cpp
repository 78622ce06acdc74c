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

namespace {

// A limit of 0 is no limit; the comparisons are signed, so a negative limit
// refuses every picture.
bool IsOverLimits(long long llWidth, long long llHeight, int iMaxWidth, int iMaxHeight) {
  if (iMaxHeight != 0 && llHeight > iMaxHeight) return true;
  if (iMaxWidth != 0 && llWidth > iMaxWidth) return true;
  return false;
}

}  // namespace

std::string OverLimitsText(long long width, long long height, int max_width, int max_height) {
  if (max_height != 0 && height > max_height)
    return Format("taller than MaxWallpHeight=%d", max_height);
  if (max_width != 0 && width > max_width) return Format("wider than MaxWallpWidth=%d", max_width);
  return "";
}

bool WallpaperFetcher::ConvertToBmp() {
  // What a check is told: every way out below says why a run would refuse
  // the picture ("" when it would take it).
  PictureRecord record;
  const auto verdict = [&](const std::string& refusal) {
    if (m_pCrawlObserver == nullptr) return;
    record.refusal = refusal;
    m_pCrawlObserver->OnPicture(record);
  };

  const size_t dot = m_strWalpFileName.rfind('.');
  if (dot == std::string::npos) {
    verdict("no extension in the file name");
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
  const char* refusal = "";
  if (!IsAcceptedPictureFormat(iFormat)) {
    refusal = "not a format that is converted";
  } else if (!codec.ReadSize(iFormat, m_strWalpFileName, &llWidth, &llHeight)) {
    refusal = "its header cannot be read";
  } else {
    record.size_known = true;
    record.width = llWidth;
    record.height = llHeight;
    if (IsOverLimits(llWidth, llHeight, m_iMaxWallpWidth, m_iMaxWallpHeight)) {
      verdict(OverLimitsText(llWidth, llHeight, m_iMaxWallpWidth, m_iMaxWallpHeight));
      return false;
    }
    if (HasTooManyPixels(llWidth, llHeight)) {
      refusal = "more pixels than any screen needs";
    } else {
      picture = codec.Load(iFormat, m_strWalpFileName);
      if (picture == nullptr) refusal = "it cannot be decoded";
    }
    if (picture != nullptr) {
      record.width = picture->Width();
      record.height = picture->Height();
      if (IsOverLimits(picture->Width(), picture->Height(), m_iMaxWallpWidth, m_iMaxWallpHeight)) {
        verdict(OverLimitsText(picture->Width(), picture->Height(), m_iMaxWallpWidth,
                               m_iMaxWallpHeight));
        return false;
      }
    }
  }

  m_strBmpFileName = MakeFullPath(m_strSavePath + "Walp.bmp", GetProgramDir(), false);
  if (FileExists(m_strBmpFileName)) DeleteFileAt(m_strBmpFileName);
  if (picture == nullptr) {
    verdict(refusal);
    ShowMessage("Couldn't convert file to BMP");
    return false;
  }
  picture->SaveBmp(m_strBmpFileName);
  verdict("");
  return true;
}

void WallpaperFetcher::SetWallpaper() {
  // A save that failed (a full disk) left no bitmap: the desktop keeps the
  // wallpaper it shows rather than be handed a missing file.
  if (!FileExists(m_strBmpFileName)) {
    TraceMessage("No bitmap to set as the wallpaper, the previous one stays: " + m_strBmpFileName);
    return;
  }
  const std::string strWallpaperError = platform_.desktop->SetWallpaper(m_strBmpFileName);
  if (m_yDebug && !strWallpaperError.empty()) Trace("strWallpaperError.data()", strWallpaperError);
}
