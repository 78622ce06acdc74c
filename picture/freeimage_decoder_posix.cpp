// Decoding with FreeImage through its generic calls, FreeImage loaded on
// first use (platform/freeimage/).

#include "picture/freeimage_decoder_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "picture/decoders/decode.h"
#include "picture/formats.h"
#include "platform/filesystem/filesystem.h"
#include "platform/freeimage/freeimage_library_posix.h"

namespace {

// Reads through stdio and notes a decoder reading past the end of the file:
// a decoder that asks for more and gets nothing was cut short, and what it
// made of the missing part (grey, black or old memory) is no picture.
struct InputFile {
  FILE* file = nullptr;
  long size = 0;
  bool watch_end = false;
  bool read_past_end = false;
  const std::function<void()>* on_cut_short = nullptr;
};

unsigned DLL_CALLCONV ReadInput(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  auto* input = static_cast<InputFile*>(handle);
  const size_t got = std::fread(buffer, size, count, input->file);
  if (got == 0 && size > 0 && count > 0 && input->watch_end) {
    input->read_past_end = true;
    if (*input->on_cut_short) (*input->on_cut_short)();
  }
  return static_cast<unsigned>(got);
}

unsigned DLL_CALLCONV WriteNothing(void*, unsigned, unsigned, fi_handle) { return 0; }

int DLL_CALLCONV SeekInput(fi_handle handle, long offset, int origin) {
  auto* input = static_cast<InputFile*>(handle);
  // From the end by the size known at opening: stdio would look the file
  // up again (fstat), which the decoder child may no longer do.
  if (origin == SEEK_END) return std::fseek(input->file, input->size + offset, SEEK_SET);
  return std::fseek(input->file, offset, origin);
}

long DLL_CALLCONV TellInput(fi_handle handle) {
  return std::ftell(static_cast<InputFile*>(handle)->file);
}

// Writing of the bitmap into a file descriptor, with the seek and tell
// FreeImage's savers may use. Small writes (headers, palettes) are
// gathered; the pixels, which the bitmap saver hands over in one piece, go
// straight from the decoded picture to the file.
struct OutputFile {
  static constexpr size_t kBufferSize = 64 * 1024;
  static constexpr size_t kPieceSize = 4 << 20;
  int fd = -1;
  std::vector<char> buffer;  // bytes for offsets [buffer_start, position)
  long long buffer_start = 0;
  long long size = 0;
  bool failed = false;
  int error = 0;  // errno of the write that failed

  long long Position() const { return buffer_start + static_cast<long long>(buffer.size()); }
  void WriteAt(const char* data, size_t count, long long offset) {
    size_t done = 0;
    while (done < count && !failed) {
      // In pieces, each sent on its way to the disk at once: the file is
      // flushed before it replaces Walp.bmp, and the disk writes while the
      // next pieces are copied.
      const size_t piece = std::min(count - done, kPieceSize);
      const off_t at = static_cast<off_t>(offset + static_cast<long long>(done));
      const ssize_t n = ::pwrite(fd, data + done, piece, at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failed = true;
        error = n < 0 ? errno : EIO;
      } else {
        done += static_cast<size_t>(n);
        if (count >= kPieceSize) ::sync_file_range(fd, at, n, SYNC_FILE_RANGE_WRITE);
      }
    }
    if (offset + static_cast<long long>(count) > size)
      size = offset + static_cast<long long>(count);
  }
  void Flush() {
    WriteAt(buffer.data(), buffer.size(), buffer_start);
    buffer_start += static_cast<long long>(buffer.size());
    buffer.clear();
  }
};

unsigned DLL_CALLCONV ReadNothing(void*, unsigned, unsigned, fi_handle) { return 0; }

unsigned DLL_CALLCONV WriteOutput(void* data, unsigned size, unsigned count, fi_handle handle) {
  auto* output = static_cast<OutputFile*>(handle);
  const size_t bytes = static_cast<size_t>(size) * count;
  const char* from = static_cast<const char*>(data);
  if (output->buffer.size() + bytes > OutputFile::kBufferSize) output->Flush();
  if (bytes >= OutputFile::kBufferSize) {
    output->WriteAt(from, bytes, output->buffer_start);
    output->buffer_start += static_cast<long long>(bytes);
  } else {
    output->buffer.insert(output->buffer.end(), from, from + bytes);
  }
  return output->failed ? 0 : count;
}

int DLL_CALLCONV SeekOutput(fi_handle handle, long offset, int origin) {
  auto* output = static_cast<OutputFile*>(handle);
  const long long position = output->Position();
  output->Flush();
  long long target = offset;
  if (origin == SEEK_CUR) target += position;
  if (origin == SEEK_END) target += output->size;
  if (target < 0) return -1;
  output->buffer_start = target;
  return 0;
}

long DLL_CALLCONV TellOutput(fi_handle handle) {
  return static_cast<long>(static_cast<OutputFile*>(handle)->Position());
}

}  // namespace

struct PictureDecoder::State {
  const FreeImageLibrary* api = nullptr;
  std::function<void()> on_cut_short;
  FREE_IMAGE_FORMAT format = FIF_UNKNOWN;
  InputFile input;
  char input_buffer[64 * 1024];
  FIBITMAP* picture = nullptr;

  ~State() {
    if (picture != nullptr) api->Unload(picture);
    if (input.file != nullptr) std::fclose(input.file);
  }

  FIBITMAP* LoadFromStart(int flags) {
    if (std::fseek(input.file, 0, SEEK_SET) != 0) return nullptr;
    FreeImageIO io = {ReadInput, WriteNothing, SeekInput, TellInput};
    return api->LoadFromHandle(format, &io, &input, flags);
  }

  // False for a PNM header that FreeImage must not be given. Its reader
  // lets a size wrap around 32 bits, takes a width of -1 for 1 in the
  // header (so that no size limit refuses it) and then reads rows past its
  // buffer; our own reader of the same header refuses such a size. Read
  // once for the header and the decoding that follows it.
  bool HeaderIsSound() {
    if (header_sound < 0) header_sound = ReadsAsSoundHeader() ? 1 : 0;
    return header_sound == 1;
  }

  int header_sound = -1;  // HeaderIsSound's answer, -1 until it is asked

 private:
  bool ReadsAsSoundHeader() {
    if (WindowsDecoderFor(format) != WindowsDecoder::kPnm) return true;
    // Enough for any header but one padded with comments beyond reason.
    std::vector<uint8_t> head(static_cast<size_t>(std::min(input.size, 64L * 1024)));
    if (std::fseek(input.file, 0, SEEK_SET) != 0 ||
        std::fread(head.data(), 1, head.size(), input.file) != head.size()) {
      return false;
    }
    long long width = 0;
    long long height = 0;
    return imaging::ReadSize(WindowsDecoder::kPnm, head.data(), head.size(), &width, &height);
  }
};

PictureDecoder::PictureDecoder(std::function<void()> on_cut_short) : state_(new State) {
  state_->on_cut_short = std::move(on_cut_short);
  state_->input.on_cut_short = &state_->on_cut_short;
}

PictureDecoder::~PictureDecoder() = default;

bool PictureDecoder::Open(int format, const std::string& path) {
  state_->api = LoadFreeImage();
  if (state_->api == nullptr || format < 0) return false;
  state_->format = static_cast<FREE_IMAGE_FORMAT>(format);
  if (!state_->api->FIFSupportsReading(state_->format)) return false;
  state_->input.file = std::fopen(path.c_str(), "rb");
  if (state_->input.file == nullptr) return false;
  // A buffer of its own, so that stdio does not look the file up (fstat)
  // on the first read, when the decoder child may no longer do that.
  std::setvbuf(state_->input.file, state_->input_buffer, _IOFBF, sizeof state_->input_buffer);
  struct stat status;
  if (::fstat(::fileno(state_->input.file), &status) != 0) return false;
  state_->input.size = static_cast<long>(status.st_size);
  return true;
}

bool PictureDecoder::ReadHeader(long long* width, long long* height) {
  if (state_->input.file == nullptr) return false;
  // A loader that cannot stop after the header decodes everything; of the
  // accepted formats that is only KOALA, whose pictures are all 320x200.
  const int flags = state_->api->FIFSupportsNoPixels(state_->format) ? FIF_LOAD_NOPIXELS : 0;
  if (!state_->HeaderIsSound()) return false;
  state_->input.watch_end = false;
  FIBITMAP* header = state_->LoadFromStart(flags);
  if (header == nullptr) return false;
  *width = state_->api->GetWidth(header);
  *height = state_->api->GetHeight(header);
  state_->api->Unload(header);
  return true;
}

bool PictureDecoder::Decode(long long* width, long long* height) {
  if (state_->input.file == nullptr || state_->picture != nullptr) return false;
  // The PCX reader refills its buffer ahead of need and so reads past the
  // end of whole files too: it is left to find the end.
  state_->input.watch_end = state_->format != FIF_PCX;
  state_->input.read_past_end = false;
  if (!state_->HeaderIsSound()) return false;
  FIBITMAP* dib = state_->LoadFromStart(/*flags=*/0);
  if (dib == nullptr) return false;
  if (state_->input.read_past_end) {
    state_->api->Unload(dib);
    return false;
  }
  state_->picture = dib;
  *width = state_->api->GetWidth(dib);
  *height = state_->api->GetHeight(dib);
  return true;
}

bool PictureDecoder::WriteBmp(int fd, long long* size) {
  const FreeImageLibrary& api = *state_->api;
  if (state_->picture == nullptr) return false;
  // 16 bits a channel and floating-point pictures have no Windows bitmap
  // form; they are brought down to 8 bits a channel first.
  if (!api.FIFSupportsExportType(FIF_BMP, api.GetImageType(state_->picture))) {
    FIBITMAP* standard = api.ConvertToType(state_->picture, FIT_BITMAP, /*scale_linear=*/TRUE);
    api.Unload(state_->picture);
    state_->picture = standard;
    if (standard == nullptr) return false;
  }
  OutputFile output;
  output.fd = fd;
  output.buffer.reserve(OutputFile::kBufferSize);
  FreeImageIO io = {ReadNothing, WriteOutput, SeekOutput, TellOutput};
  const bool saved = api.SaveToHandle(FIF_BMP, state_->picture, &io, &output, /*flags=*/0);
  output.Flush();
  *size = output.size;
  errno = output.error;
  return saved && !output.failed;
}

namespace {

class InProcessPicture : public Picture {
 public:
  InProcessPicture(std::unique_ptr<PictureDecoder> decoder, long long width, long long height)
      : decoder_(std::move(decoder)), width_(width), height_(height) {}
  int Width() const override { return static_cast<int>(width_); }
  int Height() const override { return static_cast<int>(height_); }
  Outcome SaveBmp(const std::string& path) const override {
    return ReplaceFileWhole(path, [this](int fd) {
      long long size = 0;
      return decoder_->WriteBmp(fd, &size);
    });
  }

 private:
  std::unique_ptr<PictureDecoder> decoder_;
  long long width_;
  long long height_;
};

class InProcessCodec : public PictureCodec {
 public:
  bool ReadSize(int format, const std::string& path, long long* width, long long* height) override {
    PictureDecoder decoder;
    return decoder.Open(format, path) && decoder.ReadHeader(width, height);
  }
  std::unique_ptr<Picture> Load(int format, const std::string& path) override {
    auto decoder = std::make_unique<PictureDecoder>();
    long long width = 0;
    long long height = 0;
    if (!decoder->Open(format, path) || !decoder->Decode(&width, &height)) return nullptr;
    return std::make_unique<InProcessPicture>(std::move(decoder), width, height);
  }
};

}  // namespace

PictureCodec& InProcessPictureCodec() {
  static InProcessCodec codec;
  return codec;
}
