#ifndef PICTURE_FORMATS_H_
#define PICTURE_FORMATS_H_

#include <string>
#include <string_view>

// The picture formats the program knows, one table for both systems: each
// format's name, its extensions, whether a run converts it and what decodes
// it. Formats are numbered as FreeImage numbers them (FIF_BMP = 0, FIF_ICO
// = 1, FIF_JPEG = 2, ...), -1 being none; those numbers are the format
// identifiers the program passes around.

// A header that claims more pixels than this is refused before decoding,
// and no decoder allocates a picture larger than this.
constexpr long long kMaxPicturePixels = 1LL << 28;

// True when a picture of width x height (both above 0) has more than
// kMaxPicturePixels pixels; false for a size of 0 or a negative one.
bool HasTooManyPixels(long long width, long long height);

// What decodes a format in the Windows build: one of the Windows Imaging
// Component's decoders, or one of our own (picture/decoders). The POSIX
// build decodes every format with FreeImage.
enum class WindowsDecoder {
  kNone,  // the format is not converted
  kWicBmp,
  kWicIco,
  kWicJpeg,
  kWicPng,
  kWicTiff,
  kTarga,
  kPcx,
  kPnm,  // PBM, PGM and PPM
  kSunRaster,
  kKoala,
  kPhotoCd,
};

struct PictureFormat {
  int id;                      // FreeImage's number, also the position in the table
  const char* name;            // as the check shows it: "JPEG", "PBM (raw)"
  const char* freeimage_name;  // FreeImage's own, which an extension may also spell
  const char* extensions;      // FreeImage's list, comma-separated: "jpg,jif,jpeg,jpe"
  bool accepted;               // a run converts pictures of this format
  WindowsDecoder windows;      // kNone exactly when not accepted
  // How the content of a file of this format begins: alternatives split by
  // "|", each from the first byte, "?" standing for any byte; "" for a
  // format without a signature (KOALA, TARGA, ...).
  std::string_view signatures;
};

// How many bytes of a file's beginning PictureFormatFromContent looks at.
constexpr size_t kPictureSignatureBytes = 16;

// The format numbered `format`; null for -1 and numbers without a format.
const PictureFormat* FindPictureFormat(int format);

// The format for an extension text such as ".jpg", -1 if none. Looked up
// as FreeImage looks up a file name: the text after the last dot (the whole
// text when it has none) against each format in turn, its name and its
// extensions, without case; the first match wins.
int PictureFormatFromExtension(const std::string& extension);

// The format whose signature `head` (the first bytes of a file) begins
// with, -1 if none.
int PictureFormatFromContent(std::string_view head);

// The format of a file whose name ends in `extension` ("" when it has
// none) and whose content begins with `head`: the extension's, unless it
// names no format, or names one with a signature that `head` does not
// match while another format's signature does; then the content's, and
// `*by_content` is set. -1 when neither knows it.
int PictureFormatOf(const std::string& extension, std::string_view head, bool* by_content);

// The first `kPictureSignatureBytes` bytes of the file at `path` (fewer for
// a shorter file, "" when it cannot be read).
std::string ReadPictureHead(const std::string& path);

// The extension a file of `format` is given, with its dot (".jpg"); "" for
// -1 and numbers without a format.
std::string PictureExtension(int format);

// The name of a format ("JPEG", "GIF", ...); "unknown" for -1 and numbers
// without a format.
const char* PictureFormatName(int format);

// True for the formats whose pictures a run converts: BMP, ICO, JPEG,
// KOALA, PBM, PCD, PCX, PGM, PNG, PPM, RAS, TARGA, TIFF. GIF, JNG, MNG, LBM,
// the raw PNM variants and unknown numbers are not.
bool IsAcceptedPictureFormat(int format);

// What decodes `format` in the Windows build; kNone for a format that is
// not converted or unknown.
WindowsDecoder WindowsDecoderFor(int format);

#endif  // PICTURE_FORMATS_H_
