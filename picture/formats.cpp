#include "picture/formats.h"

#include <cctype>
#include <cstring>

namespace {

using W = WindowsDecoder;

// In FreeImage's order, which is also its order of lookup.
constexpr PictureFormat kFormats[] = {
    // number, name, FreeImage's name, extensions, converted, Windows decoder
    {0, "BMP", "BMP", "bmp", true, W::kWicBmp},
    {1, "ICO", "ICO", "ico", true, W::kWicIco},
    {2, "JPEG", "JPEG", "jpg,jif,jpeg,jpe", true, W::kWicJpeg},
    {3, "JNG", "JNG", "jng", false, W::kNone},
    {4, "KOALA", "KOALA", "koa", true, W::kKoala},
    {5, "LBM", "IFF", "iff,lbm", false, W::kNone},
    {6, "MNG", "MNG", "mng", false, W::kNone},
    {7, "PBM", "PBM", "pbm", true, W::kPnm},
    {8, "PBM (raw)", "PBMRAW", "pbm", false, W::kNone},
    {9, "PCD", "PCD", "pcd", true, W::kPhotoCd},
    {10, "PCX", "PCX", "pcx", true, W::kPcx},
    {11, "PGM", "PGM", "pgm", true, W::kPnm},
    {12, "PGM (raw)", "PGMRAW", "pgm", false, W::kNone},
    {13, "PNG", "PNG", "png", true, W::kWicPng},
    {14, "PPM", "PPM", "ppm", true, W::kPnm},
    {15, "PPM (raw)", "PPMRAW", "ppm", false, W::kNone},
    {16, "RAS", "RAS", "ras", true, W::kSunRaster},
    {17, "TARGA", "TARGA", "tga,targa", true, W::kTarga},
    {18, "TIFF", "TIFF", "tif,tiff", true, W::kWicTiff},
    {19, "WBMP", "WBMP", "wap,wbmp,wbm", false, W::kNone},
    {20, "PSD", "PSD", "psd,psb", false, W::kNone},
    {21, "CUT", "CUT", "cut", false, W::kNone},
    {22, "XBM", "XBM", "xbm", false, W::kNone},
    {23, "XPM", "XPM", "xpm", false, W::kNone},
    {24, "DDS", "DDS", "dds", false, W::kNone},
    {25, "GIF", "GIF", "gif", false, W::kNone},
    {26, "HDR", "HDR", "hdr", false, W::kNone},
    {27, "FAXG3", "G3", "g3", false, W::kNone},
    {28, "SGI", "SGI", "sgi,rgb,rgba,bw", false, W::kNone},
    {29, "EXR", "EXR", "exr", false, W::kNone},
    {30, "J2K", "J2K", "j2k,j2c", false, W::kNone},
    {31, "JP2", "JP2", "jp2", false, W::kNone},
    {32, "PFM", "PFM", "pfm", false, W::kNone},
    {33, "PICT", "PICT", "pct,pict,pic", false, W::kNone},
    {34, "RAW", "RAW",
     "3fr,arw,bay,bmq,cap,cine,cr2,crw,cs1,dc2,dcr,drf,dsc,dng,erf,fff,ia,iiq,k25,kc2,kdc,mdc,mef,"
     "mos,mrw,nef,nrw,orf,pef,ptx,pxn,qtk,raf,raw,rdc,rw2,rwl,rwz,sr2,srf,srw,sti,x3f",
     false, W::kNone},
    {35, "WEBP", "WebP", "webp", false, W::kNone},
    {36, "JXR", "JPEG-XR", "jxr,wdp,hdp", false, W::kNone},
};

constexpr bool IsWellFormed() {
  int position = 0;
  for (const PictureFormat& format : kFormats) {
    if (format.id != position++) return false;
    if (format.accepted != (format.windows != W::kNone)) return false;
  }
  return true;
}
static_assert(IsWellFormed(),
              "each format sits at its number, and has a Windows decoder exactly when converted");

bool SameLetters(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// True when `word` equals one of the comma-separated words of `list`,
// without case.
bool InList(const std::string& word, const char* list) {
  for (const char* item = list;;) {
    const char* end = std::strchr(item, ',');
    const size_t length = end == nullptr ? std::strlen(item) : static_cast<size_t>(end - item);
    if (length == word.size() && SameLetters(item, word.c_str(), length)) return true;
    if (end == nullptr) return false;
    item = end + 1;
  }
}

}  // namespace

bool HasTooManyPixels(long long width, long long height) {
  if (width <= 0 || height <= 0) return false;
  return width > kMaxPicturePixels / height;
}

const PictureFormat* FindPictureFormat(int format) {
  if (format < 0 || static_cast<size_t>(format) >= sizeof kFormats / sizeof kFormats[0]) {
    return nullptr;
  }
  return &kFormats[format];
}

int PictureFormatFromExtension(const std::string& extension) {
  const size_t dot = extension.rfind('.');
  const std::string word = dot == std::string::npos ? extension : extension.substr(dot + 1);
  for (const PictureFormat& format : kFormats) {
    if (InList(word, format.freeimage_name) || InList(word, format.extensions)) return format.id;
  }
  return -1;
}

const char* PictureFormatName(int format) {
  const PictureFormat* found = FindPictureFormat(format);
  return found == nullptr ? "unknown" : found->name;
}

bool IsAcceptedPictureFormat(int format) {
  const PictureFormat* found = FindPictureFormat(format);
  return found != nullptr && found->accepted;
}

WindowsDecoder WindowsDecoderFor(int format) {
  const PictureFormat* found = FindPictureFormat(format);
  return found == nullptr ? W::kNone : found->windows;
}
