// Pictures through FreeImage's generic calls.
//
// Pictures come from the web, and FreeImage's decoders are known to crash,
// abort or allocate without bound on hostile files. So every decoder call
// (header and whole picture) runs in a forked child process with its memory,
// time and output bounded; a child that dies for any reason is a picture that
// could not be read. The child writes the finished bitmap into an anonymous
// memory file that the parent copies to its destination on SaveBmp, so a
// decoded picture never crosses back as pixels.

#include <FreeImage.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/child_process_posix.h"
#include "platform/filesystem.h"
#include "platform/owned_handle.h"
#include "platform/picture.h"

namespace {

// Bounds for one decoder child. A whole picture may take a few seconds at
// the largest size the program accepts; a header takes milliseconds.
constexpr int kHeaderTimeoutMs = 10000;
constexpr int kLoadTimeoutMs = 30000;
// Address space a child may add to what it inherits: room for the largest
// accepted picture (2^28 pixels) at 4 bytes a pixel, a converted copy and
// the decoder's own buffers.
constexpr unsigned long long kChildMemoryBudget = 4ULL << 30;

// FreeImage reports decoder complaints here; nobody is to see them (the
// program's own message covers a picture that cannot be read).
void IgnoreFreeImageMessage(FREE_IMAGE_FORMAT, const char*) {}

// Reads through stdio and notes a decoder reading past the end of the file:
// a decoder that asks for more and gets nothing was cut short, and what it
// made of the missing part (grey, black or old memory) is no picture. When
// decoding a whole picture the child gives up there at once, rather than
// let the decoder fill out a header's worth of missing lines.
struct InputFile {
  FILE* file = nullptr;
  bool stop_at_end = false;
  bool read_past_end = false;
};

unsigned DLL_CALLCONV ReadInput(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  auto* input = static_cast<InputFile*>(handle);
  const size_t got = std::fread(buffer, size, count, input->file);
  if (got == 0 && size > 0 && count > 0) {
    input->read_past_end = true;
    if (input->stop_at_end) ::_exit(2);  // in the decoder child: no report, a failed load
  }
  return static_cast<unsigned>(got);
}

unsigned DLL_CALLCONV WriteNothing(void*, unsigned, unsigned, fi_handle) { return 0; }

int DLL_CALLCONV SeekInput(fi_handle handle, long offset, int origin) {
  return std::fseek(static_cast<InputFile*>(handle)->file, offset, origin);
}

long DLL_CALLCONV TellInput(fi_handle handle) {
  return std::ftell(static_cast<InputFile*>(handle)->file);
}

// Buffered writing of the bitmap into a file descriptor, with the seek and
// tell FreeImage's savers may use.
struct OutputFile {
  int fd = -1;
  std::vector<char> buffer;  // bytes for offsets [buffer_start, position)
  long long buffer_start = 0;
  long long size = 0;
  bool failed = false;

  long long Position() const { return buffer_start + static_cast<long long>(buffer.size()); }
  void Flush() {
    size_t done = 0;
    while (done < buffer.size() && !failed) {
      const ssize_t n = ::pwrite(fd, buffer.data() + done, buffer.size() - done,
                                 static_cast<off_t>(buffer_start + static_cast<long long>(done)));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        failed = true;
      else
        done += static_cast<size_t>(n);
    }
    buffer_start += static_cast<long long>(buffer.size());
    buffer.clear();
    if (buffer_start > size) size = buffer_start;
  }
};

constexpr size_t kOutputBufferSize = 1 << 20;

unsigned DLL_CALLCONV ReadNothing(void*, unsigned, unsigned, fi_handle) { return 0; }

unsigned DLL_CALLCONV WriteOutput(void* data, unsigned size, unsigned count, fi_handle handle) {
  auto* output = static_cast<OutputFile*>(handle);
  const size_t bytes = static_cast<size_t>(size) * count;
  if (output->buffer.size() + bytes > kOutputBufferSize) output->Flush();
  if (bytes >= kOutputBufferSize) {
    output->buffer.assign(static_cast<char*>(data), static_cast<char*>(data) + bytes);
    output->Flush();
  } else {
    output->buffer.insert(output->buffer.end(), static_cast<char*>(data),
                          static_cast<char*>(data) + bytes);
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

// What a decoder child sends back through its pipe.
struct ChildReport {
  int32_t loaded = 0;  // 1: the picture (or its header) was read
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t saved = 0;  // 1: the bitmap file was written completely
  int64_t bitmap_size = 0;
};

using DibPtr = Owned<FIBITMAP, FreeImage_Unload>;

DibPtr LoadFrom(FREE_IMAGE_FORMAT format, const std::string& path, int flags, InputFile* input) {
  const Owned<std::FILE, std::fclose> file(std::fopen(path.c_str(), "rb"));
  if (!file) return nullptr;
  input->file = file.get();
  FreeImageIO io = {ReadInput, WriteNothing, SeekInput, TellInput};
  DibPtr dib(FreeImage_LoadFromHandle(format, &io, input, flags));
  input->file = nullptr;
  return dib;
}

// The bitmap a child made: its bytes wait in an anonymous memory file.
class FreeImagePicture : public Picture {
 public:
  FreeImagePicture(OwnedFd fd, const ChildReport& report) : fd_(std::move(fd)), report_(report) {}

  int Width() const override { return static_cast<int>(report_.width); }
  int Height() const override { return static_cast<int>(report_.height); }

  bool SaveBmp(const std::string& path) const override {
    return report_.saved && ReplaceFileWhole(path, [this](int out) { return CopyBitmapTo(out); });
  }

 private:
  bool CopyBitmapTo(int out) const {
    off_t offset = 0;
    while (offset < report_.bitmap_size) {
      const ssize_t n =
          ::sendfile(out, fd_.get(), &offset, static_cast<size_t>(report_.bitmap_size - offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return CopyByReading(out, offset);
    }
    return true;
  }

  // For systems where sendfile cannot read this kind of file.
  bool CopyByReading(int out, off_t offset) const {
    std::vector<char> chunk(1 << 20);
    while (offset < report_.bitmap_size) {
      const ssize_t n = ::pread(fd_.get(), chunk.data(), chunk.size(), offset);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      if (!WriteAllBytes(out, chunk.data(), static_cast<size_t>(n))) return false;
      offset += n;
    }
    return true;
  }

  OwnedFd fd_;
  ChildReport report_;
};

int AnonymousFile() {
  const int fd = ::memfd_create("picture-bitmap", MFD_CLOEXEC);
  if (fd >= 0) return fd;
  char pattern[] = "/tmp/picture-bitmap-XXXXXX";
  const int temp = ::mkostemp(pattern, O_CLOEXEC);
  if (temp >= 0) ::unlink(pattern);
  return temp;
}

class FreeImageCodec : public PictureCodec {
 public:
  FreeImageCodec() {
    FreeImage_Initialise(/*load_local_plugins_only=*/FALSE);
    FreeImage_SetOutputMessage(IgnoreFreeImageMessage);
  }
  ~FreeImageCodec() override { FreeImage_DeInitialise(); }

  int FormatFromExtension(const std::string& extension) override {
    // The extension looked up as a file name that ends in it.
    return static_cast<int>(FreeImage_GetFIFFromFilename(extension.c_str()));
  }

  bool ReadSize(int format, const std::string& path, long long* width, long long* height) override {
    const auto fif = static_cast<FREE_IMAGE_FORMAT>(format);
    if (format < 0 || !FreeImage_FIFSupportsReading(fif)) return false;
    // A loader that cannot stop after the header decodes everything; of the
    // accepted formats that is only KOALA, whose pictures are all 320x200.
    const int flags = FreeImage_FIFSupportsNoPixels(fif) ? FIF_LOAD_NOPIXELS : 0;
    ChildReport report;
    const bool ran = RunInChild(
        [&] {
          ChildReport result;
          InputFile input;
          const DibPtr dib = LoadFrom(fif, path, flags, &input);
          if (dib) {
            result.loaded = 1;
            result.width = FreeImage_GetWidth(dib.get());
            result.height = FreeImage_GetHeight(dib.get());
          }
          return result;
        },
        kChildMemoryBudget, kHeaderTimeoutMs, &report);
    if (!ran || !report.loaded) return false;
    *width = report.width;
    *height = report.height;
    return true;
  }

  std::unique_ptr<Picture> Load(int format, const std::string& path) override {
    const auto fif = static_cast<FREE_IMAGE_FORMAT>(format);
    if (format < 0 || !FreeImage_FIFSupportsReading(fif)) return nullptr;
    OwnedFd bitmap(AnonymousFile());
    if (!bitmap.valid()) return nullptr;
    const int bitmap_fd = bitmap.get();
    ChildReport report;
    const bool ran = RunInChild(
        [&] {
          ChildReport result;
          InputFile input;
          // The PCX reader refills its buffer ahead of need and so reads
          // past the end of whole files too: it is left to find the end.
          input.stop_at_end = fif != FIF_PCX;
          DibPtr dib = LoadFrom(fif, path, /*flags=*/0, &input);
          if (!dib || (input.stop_at_end && input.read_past_end)) return result;
          result.loaded = 1;
          result.width = FreeImage_GetWidth(dib.get());
          result.height = FreeImage_GetHeight(dib.get());
          // 16 bits a channel and floating-point pictures have no Windows
          // bitmap form; they are brought down to 8 bits a channel first.
          if (!FreeImage_FIFSupportsExportType(FIF_BMP, FreeImage_GetImageType(dib.get()))) {
            dib.reset(FreeImage_ConvertToType(dib.get(), FIT_BITMAP, /*scale_linear=*/TRUE));
          }
          if (dib) {
            OutputFile output;
            output.fd = bitmap_fd;
            FreeImageIO io = {ReadNothing, WriteOutput, SeekOutput, TellOutput};
            const bool saved =
                FreeImage_SaveToHandle(FIF_BMP, dib.get(), &io, &output, /*flags=*/0);
            output.Flush();
            result.saved = saved && !output.failed;
            result.bitmap_size = output.size;
          }
          return result;
        },
        kChildMemoryBudget, kLoadTimeoutMs, &report);
    if (!ran || !report.loaded) return nullptr;
    return std::make_unique<FreeImagePicture>(std::move(bitmap), report);
  }
};

}  // namespace

PictureCodec& SystemPictureCodec() {
  static FreeImageCodec codec;
  return codec;
}
