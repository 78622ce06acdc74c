#include "wallpaper/conversion.h"

#include <memory>
#include <string>

#include "app/diagnostics.h"
#include "app/wallpaper_fetcher.h"
#include "config/paths.h"
#include "platform/filesystem/filesystem.h"
#include "retrieval/crawl_observer.h"

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

std::string OverLimitsText(long long width, long long height, int max_width, int max_height) {
  if (max_height != 0 && height > max_height)
    return Format("taller than MaxWallpHeight=%d", max_height);
  if (max_width != 0 && width > max_width) return Format("wider than MaxWallpWidth=%d", max_width);
  return "";
}

const char* PictureFormatName(int format) {
  static const char* const kNames[] = {
      "BMP", "ICO", "JPEG",      "JNG",  "KOALA", "LBM",       "MNG", "PBM",   "PBM (raw)", "PCD",
      "PCX", "PGM", "PGM (raw)", "PNG",  "PPM",   "PPM (raw)", "RAS", "TARGA", "TIFF",      "WBMP",
      "PSD", "CUT", "XBM",       "XPM",  "DDS",   "GIF",       "HDR", "FAXG3", "SGI",       "EXR",
      "J2K", "JP2", "PFM",       "PICT", "RAW",   "WEBP",      "JXR"};
  if (format < 0 || static_cast<size_t>(format) >= sizeof kNames / sizeof kNames[0])
    return "unknown";
  return kNames[format];
}

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
  const int iFormat = codec.FormatFromExtension(record.extension);
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
