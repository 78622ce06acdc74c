// Pictures on Windows, decoded in a confined child process.
//
// Pictures come from the web, and a decoder (the system's or ours) that a
// hostile file takes over, crashes or makes allocate without bound must not
// be the run's end. So one child per picture, this same program started
// with an internal option (ConfinedProcess: a restricted token at low
// integrity, a job with a memory limit, no child processes, killed with its
// parent), does all the decoding. The parent opens the picture and hands
// the child the handle; the child reads the header and reports the size,
// and decodes the pixels only when the parent, having checked that size,
// asks it to (Load); it then sends them, and the parent writes Walp.bmp
// with our 24-bit bitmap writer, replacing the old file whole. A child that
// ends in any other way, runs out of time or goes over its memory is a
// picture that could not be read.
#include "picture/picture_codec_win32.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "picture/decoders/bmp_writer.h"
#include "picture/decoders/raster.h"
#include "picture/formats.h"
#include "picture/picture_codec.h"
#include "picture/picture_decoding_win32.h"
#include "platform/filesystem/filesystem.h"
#include "platform/filesystem/wide_text_win32.h"
#include "platform/owned_handle.h"
#include "platform/process/confined_process_win32.h"

namespace {

// The internal option that makes the program a decoder child.
const char kDecoderChildOption[] = "--decoder-child";

// The largest picture file a child reads into memory: far more than the
// largest picture accepted takes in any format.
constexpr unsigned long long kMaxFileBytes = 2ULL << 30;

// What the child reports after each step.
struct StepReport {
  long long ok = 0;  // 1: the step succeeded
  long long width = 0;
  long long height = 0;
  long long channels = 0;  // after decoding: 3 or 4
};

// What the parent asks for next.
const char kDecode = 'D';

void (*g_fault_before_decoding)() = nullptr;

// The whole file behind `handle`; false when it cannot be read or is too
// large.
bool ReadPictureFile(HANDLE handle, std::vector<uint8_t>* bytes) {
  LARGE_INTEGER size;
  if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileSizeEx(handle, &size) ||
      size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > kMaxFileBytes) {
    return false;
  }
  try {
    bytes->resize(static_cast<size_t>(size.QuadPart));
  } catch (...) {
    return false;
  }
  return ReadWhole(handle, bytes->data(), bytes->size());
}

// The child's side: header, then (when asked) the pixels.
int DecodeInChild(const ConfinedChildHandles& handles) {
  const int format = std::atoi(handles.arguments[0].c_str());
  std::vector<uint8_t> bytes;
  StepReport header;
  header.ok = handles.handed.size() == 1 && ReadPictureFile(handles.handed[0], &bytes) &&
              ReadPictureSize(format, bytes, &header.width, &header.height);
  if (!WriteWhole(handles.to_parent, &header, sizeof header) || !header.ok) return 1;
  char command = 0;
  if (!ReadWhole(handles.from_parent, &command, 1) || command != kDecode) return 1;
  if (g_fault_before_decoding != nullptr) g_fault_before_decoding();
  imaging::Raster raster;
  StepReport decoded;
  decoded.ok = DecodePicture(format, bytes, &raster);
  bytes = std::vector<uint8_t>();
  decoded.width = raster.width;
  decoded.height = raster.height;
  decoded.channels = raster.channels;
  if (!WriteWhole(handles.to_parent, &decoded, sizeof decoded) || !decoded.ok ||
      !WriteWhole(handles.to_parent, raster.pixels.data(), raster.pixels.size())) {
    return 1;
  }
  // Alive until the parent has looked at what it used: the end of the pipe.
  ReadWhole(handles.from_parent, &command, 1);
  return 0;
}

// One picture's decoder child, from its header to its pixels.
class DecoderChild {
 public:
  DecoderChild(int format, const std::string& path, const DecoderLimits& limits)
      : format_(format), path_(path), limits_(limits) {}

  bool Is(int format, const std::string& path) const { return format == format_ && path == path_; }

  // Starts the child; true when it read the header.
  bool ReadHeader(long long* width, long long* height) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    const std::wstring wide = WideFromUtf8(path_);
    if (wide.empty()) return false;
    // The child's own copy of the handle stays open in the child only.
    const OwnedHandle file(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, &inheritable,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    StepReport header;
    if (!file.valid() ||
        !child_.Start(kDecoderChildOption, {std::to_string(format_)}, {file.get()},
                      limits_.memory_bytes) ||
        !child_.Receive(&header, sizeof header, limits_.header_timeout_ms)) {
      return false;
    }
    *width = header.width;
    *height = header.height;
    return header.ok == 1;
  }

  // Has the child decode the pixels into `raster`; the child ends after.
  bool Decode(imaging::Raster* raster) {
    StepReport decoded;
    const bool ok =
        child_.Send(&kDecode, 1) &&
        child_.Receive(&decoded, sizeof decoded, limits_.decode_timeout_ms) && decoded.ok == 1 &&
        (decoded.channels == 3 || decoded.channels == 4) &&
        raster->Allocate(decoded.width, decoded.height, static_cast<int>(decoded.channels)) &&
        child_.Receive(raster->pixels.data(), raster->pixels.size(), limits_.transfer_timeout_ms);
    child_.End();
    return ok;
  }

 private:
  int format_;
  std::string path_;
  DecoderLimits limits_;
  ConfinedProcess child_;
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

class ConfinedPictureCodec : public PictureCodec {
 public:
  explicit ConfinedPictureCodec(const DecoderLimits& limits) : limits_(limits) {}

  // The child that read the header stays to decode the same picture if the
  // next call is Load; any other call ends it.
  bool ReadSize(int format, const std::string& path, long long* width, long long* height) override {
    waiting_.reset();
    if (format < 0) return false;
    auto child = std::make_unique<DecoderChild>(format, path, limits_);
    if (!child->ReadHeader(width, height)) return false;
    waiting_ = std::move(child);
    return true;
  }

  std::unique_ptr<Picture> Load(int format, const std::string& path) override {
    std::unique_ptr<DecoderChild> child = std::move(waiting_);
    if (format < 0) return nullptr;
    long long width = 0;
    long long height = 0;
    if (child == nullptr || !child->Is(format, path)) {
      child = std::make_unique<DecoderChild>(format, path, limits_);
      if (!child->ReadHeader(&width, &height)) return nullptr;
    }
    imaging::Raster raster;
    if (!child->Decode(&raster)) return nullptr;
    try {
      return std::make_unique<RasterPicture>(std::move(raster));
    } catch (...) {
      return nullptr;
    }
  }

 private:
  DecoderLimits limits_;
  std::unique_ptr<DecoderChild> waiting_;
};

}  // namespace

DecoderLimits DefaultDecoderLimits() {
  // Room for the picture's file, the largest accepted picture at 4 bytes a
  // pixel twice (the system decoder's converted copy and ours) and the
  // decoders' own buffers (4 GiB). A whole picture may take a few seconds
  // at the largest size accepted; a header takes milliseconds.
  return DecoderLimits{4 * (4 * kMaxPicturePixels), 10000, 30000, 30000};
}

std::unique_ptr<PictureCodec> MakeConfinedPictureCodec(const DecoderLimits& limits) {
  return std::make_unique<ConfinedPictureCodec>(limits);
}

void SetDecoderChildFaultForTesting(void (*fault)()) { g_fault_before_decoding = fault; }

int RunAsDecoderChild(const std::vector<std::string>& words) {
  ConfinedChildHandles handles;
  if (!IsConfinedChild(words, kDecoderChildOption, 1, &handles)) return -1;
  return DecodeInChild(handles);
}

PictureCodec& SystemPictureCodec() {
  static ConfinedPictureCodec codec(DefaultDecoderLimits());
  return codec;
}
