#include "wallpaper/conversion.h"

#include <memory>
#include <string>

#include "app/diagnostics.h"
#include "app/wallpaper_fetcher.h"
#include "config/paths.h"
#include "platform/filesystem.h"

namespace {

// FreeImage's format identifiers of the pictures the program loads.
enum PictureFormat {
  kFormatBmp = 0,
  kFormatIco = 1,
  kFormatJpeg = 2,
  kFormatKoala = 4,
  kFormatPbm = 7,
  kFormatPcd = 9,
  kFormatPcx = 10,
  kFormatPgm = 11,
  kFormatPng = 13,
  kFormatPpm = 14,
  kFormatRas = 16,
  kFormatTarga = 17,
  kFormatTiff = 18,
};

// A limit of 0 is no limit; the comparisons are signed, so a negative limit
// refuses every picture.
bool IsOverLimits(long long llWidth, long long llHeight, int iMaxWidth, int iMaxHeight) {
  if (iMaxHeight != 0 && llHeight > iMaxHeight) return true;
  if (iMaxWidth != 0 && llWidth > iMaxWidth) return true;
  return false;
}

// More pixels than any screen needs, and more than decoding should be
// allowed to allocate for a file from the web.
bool HasTooManyPixels(long long llWidth, long long llHeight) {
  if (llWidth <= 0 || llHeight <= 0) return false;
  return llWidth > kMaxPicturePixels / llHeight;
}

}  // namespace

bool IsAcceptedPictureFormat(int format) {
  switch (format) {
    case kFormatBmp:
    case kFormatIco:
    case kFormatJpeg:
    case kFormatKoala:
    case kFormatPbm:
    case kFormatPcd:
    case kFormatPcx:
    case kFormatPgm:
    case kFormatPng:
    case kFormatPpm:
    case kFormatRas:
    case kFormatTarga:
    case kFormatTiff:
      return true;
    default:
      return false;
  }
}

bool WallpaperFetcher::ConvertToBmp() {
  const size_t dot = m_strWalpFileName.rfind('.');
  if (dot == std::string::npos) {
    ShowMessage("No extenssion for downloaded file");
    return false;
  }
  PictureCodec& codec = *platform_.pictures;
  const int iFormat = codec.FormatFromExtension(m_strWalpFileName.substr(dot));

  // The header first, so that a picture over the limits or over any sensible
  // size is refused before it is decoded.
  std::unique_ptr<Picture> picture;
  long long llWidth = 0;
  long long llHeight = 0;
  if (IsAcceptedPictureFormat(iFormat) &&
      codec.ReadSize(iFormat, m_strWalpFileName, &llWidth, &llHeight)) {
    if (IsOverLimits(llWidth, llHeight, m_iMaxWallpWidth, m_iMaxWallpHeight)) return false;
    if (!HasTooManyPixels(llWidth, llHeight)) picture = codec.Load(iFormat, m_strWalpFileName);
    if (picture != nullptr &&
        IsOverLimits(picture->Width(), picture->Height(), m_iMaxWallpWidth, m_iMaxWallpHeight)) {
      return false;
    }
  }

  m_strBmpFileName = MakeFullPath(m_strSavePath + "Walp.bmp", GetProgramDir(), false);
  if (FileExists(m_strBmpFileName)) DeleteFileAt(m_strBmpFileName);
  if (picture == nullptr) {
    ShowMessage("Couldn't convert file to BMP");
    return false;
  }
  picture->SaveBmp(m_strBmpFileName);
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
