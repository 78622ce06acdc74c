// Pictures on Windows. BMP, ICO, JPEG, PNG and TIFF are decoded with the
// Windows Imaging Component, the decoder chosen by the format the extension
// names (never by sniffing the content, as FreeImage's loaders are chosen on
// Linux); the size is checked as soon as the first frame's size is known,
// before any pixel is decoded. Walp.bmp is written as a 24-bit bitmap.
//
// There is no fork on Windows to isolate a decoder that crashes. What
// protects the run instead: WIC's own decoders, which are the system's and
// made for files from the web, and the bound on the pixels decoded.
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/filesystem.h"
#include "platform/picture.h"
#include "wallpaper/conversion.h"

namespace {

// FreeImage's format numbers, as the program's table uses them.
enum Format {
  kUnknown = -1,
  kBmp = 0,
  kIco = 1,
  kJpeg = 2,
  kJng = 3,
  kKoala = 4,
  kLbm = 5,
  kMng = 6,
  kPbm = 7,
  kPbmRaw = 8,
  kPcd = 9,
  kPcx = 10,
  kPgm = 11,
  kPgmRaw = 12,
  kPng = 13,
  kPpm = 14,
  kPpmRaw = 15,
  kRas = 16,
  kTarga = 17,
  kTiff = 18,
  kWbmp = 19,
  kPsd = 20,
  kCut = 21,
  kXbm = 22,
  kXpm = 23,
  kDds = 24,
  kGif = 25,
  kHdr = 26,
  kFaxG3 = 27,
  kSgi = 28,
  kExr = 29,
  kJ2k = 30,
  kJp2 = 31,
  kPfm = 32,
  kPict = 33,
  kRaw = 34,
  kWebp = 35,
  kJxr = 36,
};

// Each format's name and extensions, in FreeImage's order: an extension is
// looked up as FreeImage looks up a file name's, the first format whose
// extension list or name matches it, without case.
struct FormatNames {
  Format format;
  const char* name;
  const char* extensions;
};

constexpr FormatNames kFormatNames[] = {
    {kBmp, "BMP", "bmp"},
    {kIco, "ICO", "ico"},
    {kJpeg, "JPEG", "jpg,jif,jpeg,jpe"},
    {kJng, "JNG", "jng"},
    {kKoala, "KOALA", "koa"},
    {kLbm, "IFF", "iff,lbm"},
    {kMng, "MNG", "mng"},
    {kPbm, "PBM", "pbm"},
    {kPbmRaw, "PBMRAW", "pbm"},
    {kPcd, "PCD", "pcd"},
    {kPcx, "PCX", "pcx"},
    {kPgm, "PGM", "pgm"},
    {kPgmRaw, "PGMRAW", "pgm"},
    {kPng, "PNG", "png"},
    {kPpm, "PPM", "ppm"},
    {kPpmRaw, "PPMRAW", "ppm"},
    {kRas, "RAS", "ras"},
    {kTarga, "TARGA", "tga,targa"},
    {kTiff, "TIFF", "tif,tiff"},
    {kWbmp, "WBMP", "wap,wbmp,wbm"},
    {kPsd, "PSD", "psd"},
    {kCut, "CUT", "cut"},
    {kXbm, "XBM", "xbm"},
    {kXpm, "XPM", "xpm"},
    {kDds, "DDS", "dds"},
    {kGif, "GIF", "gif"},
    {kHdr, "HDR", "hdr"},
    {kFaxG3, "G3", "g3"},
    {kSgi, "SGI", "sgi,rgb,rgba,bw"},
    {kExr, "EXR", "exr"},
    {kJ2k, "J2K", "j2k,j2c"},
    {kJp2, "JP2", "jp2"},
    {kPfm, "PFM", "pfm"},
    {kPict, "PICT", "pct,pict,pic"},
    {kRaw, "RAW",
     "3fr,arw,bay,bmq,cap,cine,cr2,crw,cs1,dc2,dcr,drf,dsc,dng,erf,fff,ia,iiq,k25,kc2,kdc,mdc,mef,"
     "mos,mrw,nef,nrw,orf,pef,ptx,pxn,qtk,raf,raw,rdc,rw2,rwl,rwz,sr2,srf,srw,sti,x3f"},
    {kWebp, "WEBP", "webp"},
    {kJxr, "JPEG-XR", "jxr,wdp,hdp"},
};

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool InList(const std::string& word, const char* list) {
  const std::string all = list;
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(',', start);
    if (end == std::string::npos) end = all.size();
    if (SameText(word, all.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

// Releases a COM interface when it goes out of scope.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (p_ != nullptr) p_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** put() { return &p_; }
  void** put_void() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

// COM for the calling thread while it lives.
class ComScope {
 public:
  ComScope() : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
  ~ComScope() {
    if (initialised_) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialised_;
};

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n =
      ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  return wide;
}

// The WIC container of the formats WIC decodes here; null for the others.
const GUID* WicContainer(int format) {
  switch (format) {
    case kBmp:
      return &GUID_ContainerFormatBmp;
    case kIco:
      return &GUID_ContainerFormatIco;
    case kJpeg:
      return &GUID_ContainerFormatJpeg;
    case kPng:
      return &GUID_ContainerFormatPng;
    case kTiff:
      return &GUID_ContainerFormatTiff;
    default:
      return nullptr;
  }
}

// A decoded picture: rows of blue, green, red bytes, top row first.
struct BgrRaster {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // width * 3 bytes a row
};

// The first frame of `path` opened with the decoder of `format`.
class WicFrame {
 public:
  bool Open(int format, const std::string& path) {
    const GUID* container = WicContainer(format);
    if (container == nullptr) return false;
    const std::wstring wide = Widen(path);
    if (wide.empty()) return false;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, factory_.put_void()))) {
      return false;
    }
    if (FAILED(factory_->CreateDecoder(*container, nullptr, decoder_.put()))) return false;
    if (FAILED(factory_->CreateStream(stream_.put()))) return false;
    if (FAILED(stream_->InitializeFromFilename(wide.c_str(), GENERIC_READ))) return false;
    if (FAILED(decoder_->Initialize(stream_.get(), WICDecodeMetadataCacheOnDemand))) return false;
    if (FAILED(decoder_->GetFrame(0, frame_.put()))) return false;
    UINT width = 0, height = 0;
    if (FAILED(frame_->GetSize(&width, &height)) || width == 0 || height == 0) return false;
    width_ = width;
    height_ = height;
    return true;
  }

  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }

  // The pixels as 24-bit blue-green-red; a picture with alpha loses it.
  bool Decode(BgrRaster* raster) {
    ComRef<IWICFormatConverter> converter;
    if (FAILED(factory_->CreateFormatConverter(converter.put()))) return false;
    if (FAILED(converter->Initialize(frame_.get(), GUID_WICPixelFormat24bppBGR,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
      return false;
    }
    const uint64_t stride = static_cast<uint64_t>(width_) * 3;
    const uint64_t bytes = stride * height_;
    if (stride > 0xFFFFFFFFull || bytes > 0xFFFFFFFFull) return false;
    try {
      raster->pixels.resize(static_cast<size_t>(bytes));
    } catch (...) {
      return false;
    }
    if (FAILED(converter->CopyPixels(nullptr, static_cast<UINT>(stride), static_cast<UINT>(bytes),
                                     raster->pixels.data()))) {
      return false;
    }
    raster->width = width_;
    raster->height = height_;
    return true;
  }

 private:
  ComRef<IWICImagingFactory> factory_;
  ComRef<IWICBitmapDecoder> decoder_;
  ComRef<IWICStream> stream_;
  ComRef<IWICBitmapFrameDecode> frame_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};

void PutLe16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A 24-bit bottom-up Windows bitmap of `raster`, written to `fd` row by row.
bool WriteBmp24(int fd, const BgrRaster& raster) {
  const uint64_t row = (static_cast<uint64_t>(raster.width) * 3 + 3) & ~3ull;
  const uint64_t image = row * raster.height;
  if (54 + image > 0xFFFFFFFFull) return false;
  std::vector<uint8_t> header(54, 0);
  header[0] = 'B';
  header[1] = 'M';
  PutLe32(header, 2, static_cast<uint32_t>(54 + image));
  PutLe32(header, 10, 54);
  PutLe32(header, 14, 40);
  PutLe32(header, 18, raster.width);
  PutLe32(header, 22, raster.height);
  PutLe16(header, 26, 1);
  PutLe16(header, 28, 24);
  PutLe32(header, 34, static_cast<uint32_t>(image));
  PutLe32(header, 38, 2835);  // 72 dots an inch
  PutLe32(header, 42, 2835);
  if (!WriteAllBytes(fd, reinterpret_cast<const char*>(header.data()), header.size())) return false;
  std::vector<uint8_t> line(static_cast<size_t>(row), 0);
  const size_t used = static_cast<size_t>(raster.width) * 3;
  for (uint32_t y = raster.height; y-- > 0;) {
    std::memcpy(line.data(), raster.pixels.data() + used * y, used);
    if (!WriteAllBytes(fd, reinterpret_cast<const char*>(line.data()), line.size())) return false;
  }
  return true;
}

class RasterPicture : public Picture {
 public:
  explicit RasterPicture(BgrRaster raster) : raster_(std::move(raster)) {}
  int Width() const override { return static_cast<int>(raster_.width); }
  int Height() const override { return static_cast<int>(raster_.height); }
  bool SaveBmp(const std::string& path) const override {
    return ReplaceFileWhole(path, [this](int fd) { return WriteBmp24(fd, raster_); });
  }

 private:
  BgrRaster raster_;
};

bool TooManyPixels(uint64_t width, uint64_t height) {
  return width > static_cast<uint64_t>(kMaxPicturePixels) / height;
}

class Win32PictureCodec : public PictureCodec {
 public:
  int FormatFromExtension(const std::string& extension) override {
    // The extension is looked up as a file name ending in it would be.
    const size_t dot = extension.rfind('.');
    if (dot == std::string::npos) return kUnknown;
    const std::string word = extension.substr(dot + 1);
    for (const FormatNames& names : kFormatNames) {
      if (InList(word, names.extensions)) return names.format;
    }
    for (const FormatNames& names : kFormatNames) {
      if (SameText(word, names.name)) return names.format;
    }
    return kUnknown;
  }

  bool ReadSize(int format, const std::string& path, long long* width, long long* height) override {
    ComScope com;
    WicFrame frame;
    if (!frame.Open(format, path)) return false;
    *width = frame.width();
    *height = frame.height();
    return true;
  }

  std::unique_ptr<Picture> Load(int format, const std::string& path) override {
    ComScope com;
    WicFrame frame;
    if (!frame.Open(format, path)) return nullptr;
    if (TooManyPixels(frame.width(), frame.height())) return nullptr;
    BgrRaster raster;
    if (!frame.Decode(&raster)) return nullptr;
    try {
      return std::make_unique<RasterPicture>(std::move(raster));
    } catch (...) {
      return nullptr;
    }
  }
};

}  // namespace

PictureCodec& SystemPictureCodec() {
  static Win32PictureCodec codec;
  return codec;
}
