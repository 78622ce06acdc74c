// The decoding of pictures on Windows, each format decoded as the table of
// picture/formats.h says. BMP, ICO, JPEG, PNG and TIFF go to the Windows
// Imaging Component, the decoder chosen by the format the extension names
// (never by sniffing the content, as FreeImage's loaders are chosen on
// Linux); the size is checked as soon as the first frame's size is known,
// before any pixel is decoded. TARGA, PCX, PNM, Sun raster, KOALA and Photo
// CD go to our own decoders (picture/decoders/), which give the pixels
// FreeImage gives on Linux.
//
// All of it runs in the confined decoder child (picture_codec_win32.cpp),
// from the bytes its parent's file handle gave it.
#include "picture/picture_decoding_win32.h"

#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "picture/decoders/decode.h"
#include "picture/decoders/raster.h"
#include "picture/formats.h"

namespace {

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
  bool Open(int format, const std::vector<uint8_t>& bytes) {
    const GUID* container = WicContainer(format);
    if (container == nullptr || bytes.empty() || bytes.size() > 0xFFFFFFFFu) return false;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, factory_.put_void()))) {
      return false;
    }
    if (FAILED(factory_->CreateDecoder(*container, nullptr, decoder_.put()))) return false;
    if (FAILED(factory_->CreateStream(stream_.put()))) return false;
    if (FAILED(stream_->InitializeFromMemory(const_cast<BYTE*>(bytes.data()),
                                             static_cast<DWORD>(bytes.size())))) {
      return false;
    }
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

}  // namespace

bool ReadPictureSize(int format, const std::vector<uint8_t>& bytes, long long* width,
                     long long* height) {
  const WindowsDecoder own = WindowsDecoderFor(format);
  if (imaging::IsOwnDecoder(own)) {
    return imaging::ReadSize(own, bytes.data(), bytes.size(), width, height);
  }
  ComScope com;
  WicFrame frame;
  if (!frame.Open(format, bytes)) return false;
  *width = frame.width();
  *height = frame.height();
  return true;
}

bool DecodePicture(int format, const std::vector<uint8_t>& bytes, imaging::Raster* raster) {
  const WindowsDecoder own = WindowsDecoderFor(format);
  if (imaging::IsOwnDecoder(own)) return imaging::Decode(own, bytes.data(), bytes.size(), raster);
  ComScope com;
  WicFrame frame;
  return frame.Open(format, bytes) && !HasTooManyPixels(frame.width(), frame.height()) &&
         frame.Decode(raster);
}
