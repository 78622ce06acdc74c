// Pictures on Windows, each format decoded as the table of picture/formats.h
// says. BMP, ICO, JPEG, PNG and TIFF go to the Windows Imaging Component,
// the decoder chosen by the format the extension names (never by sniffing
// the content, as FreeImage's loaders are chosen on Linux); the size is
// checked as soon as the first frame's size is known, before any pixel is
// decoded. TARGA, PCX, PNM, Sun raster, KOALA and Photo CD go to our own
// decoders (picture/decoders/), which give the pixels FreeImage gives on
// Linux. Walp.bmp is written by our 24-bit bitmap writer, replacing the old
// file whole.
//
// There is no fork on Windows to keep a decoder that crashes away from the
// run, as the Linux build does with FreeImage. What protects the run
// instead: our decoders read only through bounds checks and allocate nothing
// over kMaxPicturePixels; WIC's decoders are the system's own, maintained for
// files from the web; and no decoder sees a picture whose header claims more
// than kMaxPicturePixels.
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "picture/decoders/bmp_writer.h"
#include "picture/decoders/decode.h"
#include "picture/decoders/raster.h"
#include "picture/formats.h"
#include "picture/picture_codec.h"
#include "platform/filesystem/filesystem.h"
#include "platform/owned_handle.h"

namespace {

// The largest picture file our own decoders read into memory: far more than
// the largest picture they accept takes in any of their formats.
constexpr unsigned long long kMaxFileBytes = 2ULL << 30;

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

// The WIC container of the formats WIC decodes; null for the others.
const GUID* WicContainer(int format) {
  switch (WindowsDecoderFor(format)) {
    case WindowsDecoder::kWicBmp:
      return &GUID_ContainerFormatBmp;
    case WindowsDecoder::kWicIco:
      return &GUID_ContainerFormatIco;
    case WindowsDecoder::kWicJpeg:
      return &GUID_ContainerFormatJpeg;
    case WindowsDecoder::kWicPng:
      return &GUID_ContainerFormatPng;
    case WindowsDecoder::kWicTiff:
      return &GUID_ContainerFormatTiff;
    default:
      return nullptr;
  }
}

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

  // The pixels as 8-bit red, green, blue. A picture with alpha loses it,
  // its colours kept as they are (FreeImage's bitmap keeps the alpha bytes,
  // which the desktop ignores). 16-bit grey is stretched over the picture's
  // own levels, as on Linux (WIC's conversion would keep the high byte).
  bool Decode(imaging::Raster* raster) {
    WICPixelFormatGUID format;
    if (SUCCEEDED(frame_->GetPixelFormat(&format)) && format == GUID_WICPixelFormat16bppGray) {
      std::vector<uint16_t> levels;
      if (!CopyPixels(frame_.get(), &levels, raster)) return false;
      imaging::StretchGrey16(levels, raster);
      return true;
    }
    ComRef<IWICFormatConverter> converter;
    if (FAILED(factory_->CreateFormatConverter(converter.put()))) return false;
    // 32-bit blue-green-red-alpha: the target WIC converts every source
    // format to (Wine's converter makes no 24-bit pixels from palettes).
    if (FAILED(converter->Initialize(frame_.get(), GUID_WICPixelFormat32bppBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
      return false;
    }
    std::vector<uint32_t> bgra;
    if (!CopyPixels(converter.get(), &bgra, raster)) return false;
    for (size_t i = 0; i < bgra.size(); ++i) {
      const auto* pixel = reinterpret_cast<const uint8_t*>(&bgra[i]);
      raster->pixels[3 * i] = pixel[2];
      raster->pixels[3 * i + 1] = pixel[1];
      raster->pixels[3 * i + 2] = pixel[0];
    }
    return true;
  }

 private:
  // Every pixel of `source`, one Pixel each, and `raster` sized to the
  // picture with 3 channels.
  template <typename Pixel>
  bool CopyPixels(IWICBitmapSource* source, std::vector<Pixel>* pixels, imaging::Raster* raster) {
    const uint64_t stride = static_cast<uint64_t>(width_) * sizeof(Pixel);
    const uint64_t bytes = stride * height_;
    if (stride > 0xFFFFFFFFull || bytes > 0xFFFFFFFFull) return false;
    try {
      if (!raster->Allocate(width_, height_, 3)) return false;
      pixels->resize(static_cast<size_t>(width_) * height_);
    } catch (...) {
      return false;
    }
    return SUCCEEDED(source->CopyPixels(nullptr, static_cast<UINT>(stride),
                                        static_cast<UINT>(bytes),
                                        reinterpret_cast<BYTE*>(pixels->data())));
  }

  ComRef<IWICImagingFactory> factory_;
  ComRef<IWICBitmapDecoder> decoder_;
  ComRef<IWICStream> stream_;
  ComRef<IWICBitmapFrameDecode> frame_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};

class RasterPicture : public Picture {
 public:
  explicit RasterPicture(imaging::Raster raster) : raster_(std::move(raster)) {}
  int Width() const override { return raster_.width; }
  int Height() const override { return raster_.height; }
  Outcome SaveBmp(const std::string& path) const override {
    return ReplaceFileWhole(path, [this](int fd) {
      return imaging::WriteBmp(raster_, [fd](const uint8_t* data, size_t size) {
        return WriteAllBytes(fd, reinterpret_cast<const char*>(data), size);
      });
    });
  }

 private:
  imaging::Raster raster_;
};

// The whole file, for our own decoders; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  const OwnedHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  bool ok = false;
  LARGE_INTEGER size;
  if (::GetFileType(file.get()) == FILE_TYPE_DISK && ::GetFileSizeEx(file.get(), &size) &&
      size.QuadPart >= 0 && static_cast<unsigned long long>(size.QuadPart) <= kMaxFileBytes) {
    try {
      bytes->resize(static_cast<size_t>(size.QuadPart));
      size_t done = 0;
      ok = true;
      while (ok && done < bytes->size()) {
        const size_t left = bytes->size() - done;
        const DWORD ask = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD got = 0;
        ok = ::ReadFile(file.get(), bytes->data() + done, ask, &got, nullptr) && got > 0;
        done += got;
      }
    } catch (...) {
      ok = false;
    }
  }
  return ok;
}

class Win32PictureCodec : public PictureCodec {
 public:
  bool ReadSize(int format, const std::string& path, long long* width, long long* height) override {
    const WindowsDecoder own = WindowsDecoderFor(format);
    if (imaging::IsOwnDecoder(own)) {
      std::vector<uint8_t> bytes;
      return ReadWholeFile(path, &bytes) &&
             imaging::ReadSize(own, bytes.data(), bytes.size(), width, height);
    }
    ComScope com;
    WicFrame frame;
    if (!frame.Open(format, path)) return false;
    *width = frame.width();
    *height = frame.height();
    return true;
  }

  std::unique_ptr<Picture> Load(int format, const std::string& path) override {
    imaging::Raster raster;
    const WindowsDecoder own = WindowsDecoderFor(format);
    if (imaging::IsOwnDecoder(own)) {
      std::vector<uint8_t> bytes;
      if (!ReadWholeFile(path, &bytes) ||
          !imaging::Decode(own, bytes.data(), bytes.size(), &raster)) {
        return nullptr;
      }
    } else {
      ComScope com;
      WicFrame frame;
      if (!frame.Open(format, path)) return nullptr;
      if (HasTooManyPixels(frame.width(), frame.height())) return nullptr;
      if (!frame.Decode(&raster)) return nullptr;
    }
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
