#include "picture/formats.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

using W = WindowsDecoder;
using std::string_view_literals::operator""sv;

// In FreeImage's order, which is also its order of lookup.
constexpr PictureFormat kFormats[] = {
    // number, name, FreeImage's name, extensions, converted, Windows decoder, signatures
    {0, "BMP", "BMP", "bmp", true, W::kWicBmp, "BM"sv},
    {1, "ICO", "ICO", "ico", true, W::kWicIco, "\0\0\x01\0"sv},
    {2, "JPEG", "JPEG", "jpg,jif,jpeg,jpe", true, W::kWicJpeg, "\xFF\xD8\xFF"sv},
    {3, "JNG", "JNG", "jng", false, W::kNone, "\x8BJNG\r\n\x1A\n"sv},
    {4, "KOALA", "KOALA", "koa", true, W::kKoala, ""sv},
    {5, "LBM", "IFF", "iff,lbm", false, W::kNone, "FORM????ILBM|FORM????PBM "sv},
    {6, "MNG", "MNG", "mng", false, W::kNone, "\x8AMNG\r\n\x1A\n"sv},
    {7, "PBM", "PBM", "pbm", true, W::kPnm, "P1|P4"sv},
    {8, "PBM (raw)", "PBMRAW", "pbm", false, W::kNone, ""sv},
    {9, "PCD", "PCD", "pcd", true, W::kPhotoCd, ""sv},
    {10, "PCX", "PCX", "pcx", true, W::kPcx, "\x0A?\0|\x0A?\x01"sv},
    {11, "PGM", "PGM", "pgm", true, W::kPnm, "P2|P5"sv},
    {12, "PGM (raw)", "PGMRAW", "pgm", false, W::kNone, ""sv},
    {13, "PNG", "PNG", "png", true, W::kWicPng, "\x89PNG\r\n\x1A\n"sv},
    {14, "PPM", "PPM", "ppm", true, W::kPnm, "P3|P6"sv},
    {15, "PPM (raw)", "PPMRAW", "ppm", false, W::kNone, ""sv},
    {16, "RAS", "RAS", "ras", true, W::kSunRaster, "\x59\xA6\x6A\x95"sv},
    {17, "TARGA", "TARGA", "tga,targa", true, W::kTarga, ""sv},
    {18, "TIFF", "TIFF", "tif,tiff", true, W::kWicTiff, "II*\0|MM\0*"sv},
    {19, "WBMP", "WBMP", "wap,wbmp,wbm", false, W::kNone, ""sv},
    {20, "PSD", "PSD", "psd,psb", false, W::kNone, "8BPS"sv},
    {21, "CUT", "CUT", "cut", false, W::kNone, ""sv},
    {22, "XBM", "XBM", "xbm", false, W::kNone, "#define "sv},
    {23, "XPM", "XPM", "xpm", false, W::kNone, "/* XPM */"sv},
    {24, "DDS", "DDS", "dds", false, W::kNone, "DDS "sv},
    {25, "GIF", "GIF", "gif", false, W::kNone, "GIF87a|GIF89a"sv},
    {26, "HDR", "HDR", "hdr", false, W::kNone, "#?RADIANCE|#?RGBE"sv},
    {27, "FAXG3", "G3", "g3", false, W::kNone, ""sv},
    {28, "SGI", "SGI", "sgi,rgb,rgba,bw", false, W::kNone, "\x01\xDA"sv},
    {29, "EXR", "EXR", "exr", false, W::kNone, "\x76\x2F\x31\x01"sv},
    {30, "J2K", "J2K", "j2k,j2c", false, W::kNone, "\xFF\x4F\xFF\x51"sv},
    {31, "JP2", "JP2", "jp2", false, W::kNone, "\0\0\0\x0CjP  \r\n\x87\n"sv},
    {32, "PFM", "PFM", "pfm", false, W::kNone, "PF\n|Pf\n"sv},
    {33, "PICT", "PICT", "pct,pict,pic", false, W::kNone, ""sv},
    {34, "RAW", "RAW",
     "3fr,arw,bay,bmq,cap,cine,cr2,crw,cs1,dc2,dcr,drf,dsc,dng,erf,fff,ia,iiq,k25,kc2,kdc,mdc,mef,"
     "mos,mrw,nef,nrw,orf,pef,ptx,pxn,qtk,raf,raw,rdc,rw2,rwl,rwz,sr2,srf,srw,sti,x3f",
     false, W::kNone, ""sv},
    {35, "WEBP", "WebP", "webp", false, W::kNone, "RIFF????WEBP"sv},
    {36, "JXR", "JPEG-XR", "jxr,wdp,hdp", false, W::kNone, "II\xBC"sv},
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

// True when `head` begins with one of the alternatives of `signatures`.
bool MatchesSignature(std::string_view head, std::string_view signatures) {
  while (!signatures.empty()) {
    const size_t bar = signatures.find('|');
    const std::string_view one = signatures.substr(0, bar);
    bool matched = one.size() <= head.size();
    for (size_t i = 0; matched && i < one.size(); ++i) matched = one[i] == '?' || one[i] == head[i];
    if (matched) return true;
    if (bar == std::string_view::npos) break;
    signatures.remove_prefix(bar + 1);
  }
  return false;
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

int PictureFormatFromContent(std::string_view head) {
  for (const PictureFormat& format : kFormats) {
    if (MatchesSignature(head, format.signatures)) return format.id;
  }
  return -1;
}

int PictureFormatOf(const std::string& extension, std::string_view head, bool* by_content) {
  *by_content = false;
  const int named = extension.empty() ? -1 : PictureFormatFromExtension(extension);
  const int content = PictureFormatFromContent(head);
  if (content < 0 || content == named) return named;
  // A format without a signature cannot be told from its content: its
  // extension stands.
  if (named >= 0 &&
      (kFormats[named].signatures.empty() || MatchesSignature(head, kFormats[named].signatures))) {
    return named;
  }
  *by_content = true;
  return content;
}

std::string ReadPictureHead(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "";
  char head[kPictureSignatureBytes];
  const size_t got = std::fread(head, 1, sizeof head, file);
  std::fclose(file);
  return std::string(head, got);
}

std::string PictureExtension(int format) {
  const PictureFormat* found = FindPictureFormat(format);
  if (found == nullptr) return "";
  const char* comma = std::strchr(found->extensions, ',');
  const size_t length = comma == nullptr ? std::strlen(found->extensions)
                                         : static_cast<size_t>(comma - found->extensions);
  return "." + std::string(found->extensions, length);
}
