// Downloaded pictures on their way to Walp.bmp: whatever the bytes, under a
// picture extension, ConvertToBmp returns, and Walp.bmp is either a whole
// Windows bitmap (success) or absent (failure).
//
// Input: one byte choosing the extension (.jpg .png .bmp .tif), then the
// file's content.
//
// The program decodes in a confined child process (picture/
// picture_codec_posix.cpp), which would hide the decoding from the fuzzer's
// coverage. Here the same decoding steps (PictureDecoder, through
// InProcessPictureCodec) run in the fuzzer's own process, where the
// sanitizers and the coverage counters see our reading and writing
// callbacks and the conversion around them. FreeImage itself is not
// instrumented, so the outcome of each input (header read, picture
// decoded, the bitmap's depth and size classes) is given to the fuzzer as
// extra features, to keep inputs that decode differently.
//
// FreeImage's own faults end the program's decoder child, which the run
// reports as a picture it could not convert (regular tests cover that).
// Here they would end the fuzzer. Its TIFF loader has one within reach
// (an assertion on pixel sizes it does not expect): each TIFF input is
// first decoded in a forked child, and one that kills it is set aside as
// such a picture before the decoding in this process. (A fork of this
// process takes milliseconds: the other formats, whose loaders have shown
// no such fault, are not pre-flighted, to keep the fuzzer's pace.)
//
// Pictures over 4096x4096 are refused by their header, as a Sites.ini with
// those limits refuses them, so that no input makes the fuzzer allocate
// gigabytes; the refusal itself is part of what is tested.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "picture/formats.h"
#include "picture/freeimage_decoder_posix.h"
#include "platform/console/console.h"
#include "platform/console/message_box.h"
#include "wallpaper/conversion.h"

namespace {

const char* const kExtensions[] = {".jpg", ".png", ".bmp", ".tif"};
constexpr int kMaxSide = 4096;

// Read by libFuzzer as features beside its coverage counters.
__attribute__((section("__libfuzzer_extra_counters")))
uint8_t outcome_counters[4 * 2 * 2 * 8 * 4 * 4];

// The in-process codec, noting what became of the last picture.
class ObservedCodec : public PictureCodec {
 public:
  bool ReadSize(int format, const std::string& path, long long* width, long long* height) override {
    header_read = real_.ReadSize(format, path, width, height);
    header_width = *width;
    header_height = *height;
    return header_read;
  }
  std::unique_ptr<Picture> Load(int format, const std::string& path) override {
    std::unique_ptr<Picture> picture = real_.Load(format, path);
    decoded = picture != nullptr;
    if (decoded) {
      width = picture->Width();
      height = picture->Height();
    }
    return picture;
  }
  void Clear() {
    header_read = decoded = false;
    width = height = 0;
    header_width = header_height = 0;
  }

  bool header_read = false;
  long long header_width = 0;
  long long header_height = 0;
  bool decoded = false;
  int width = 0;
  int height = 0;

 private:
  PictureCodec& real_ = InProcessPictureCodec();
};

ObservedCodec& Codec() {
  static ObservedCodec* codec = new ObservedCodec;
  return *codec;
}

int SizeClass(int pixels) { return pixels <= 1 ? 0 : pixels < 8 ? 1 : pixels < 64 ? 2 : 3; }

int DepthClass(const std::string& bitmap) {
  if (bitmap.size() < 30) return 0;
  switch (static_cast<unsigned char>(bitmap[28])) {
    case 1:
      return 1;
    case 4:
      return 2;
    case 8:
      return 3;
    case 16:
      return 4;
    case 24:
      return 5;
    case 32:
      return 6;
    default:
      return 7;
  }
}

void NoteOutcome(int extension, const std::string& bitmap) {
  const ObservedCodec& codec = Codec();
  int key = extension;
  key = key * 2 + (codec.header_read ? 1 : 0);
  key = key * 2 + (codec.decoded ? 1 : 0);
  key = key * 8 + DepthClass(bitmap);
  key = key * 4 + SizeClass(codec.width);
  key = key * 4 + SizeClass(codec.height);
  outcome_counters[key] = 1;
}

std::string& WorkDir() {
  static std::string dir;
  return dir;
}

// A run's reporter outside debug mode: says nothing.
const Reporter& Quiet() {
  static const Reporter quiet(SystemConsole(), SystemMessageBoxes(), /*debug=*/false,
                              /*suppress_messages=*/true, "wallpaper-fetcher");
  return quiet;
}

// The first bytes of a file (a bitmap's headers), "" when it cannot be read.
std::string ReadHead(const std::string& path, size_t count) {
  std::ifstream in(path, std::ios::binary);
  std::string head(count, '\0');
  in.read(&head[0], static_cast<std::streamsize>(count));
  head.resize(static_cast<size_t>(in.gcount()));
  return head;
}

// A Windows bitmap file as the codec writes it: "BM" and the file's size.
bool IsWholeBitmap(const std::string& head, long long file_size) {
  if (head.size() < 54 || head[0] != 'B' || head[1] != 'M') return false;
  uint32_t declared = 0;
  std::memcpy(&declared, head.data() + 2, 4);  // little-endian on the hosts we run on
  return declared == file_size;
}

// True when decoding `path` as the conversion would kills the process by a
// signal. The child dies of it as the decoder child would, without the
// fuzzer's and the sanitizers' handlers; a report of the sanitizers (an
// exit, not a signal) is left for the decoding in this process to make.
bool KillsTheDecoder(const std::string& path) {
  const pid_t child = ::fork();
  if (child < 0) std::abort();
  if (child == 0) {
    for (int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) std::signal(signal, SIG_DFL);
    PictureCodec& codec = InProcessPictureCodec();
    const int format = PictureFormatFromExtension(path.substr(path.rfind('.')));
    long long width = 0, height = 0;
    if (codec.ReadSize(format, path, &width, &height) && width <= kMaxSide && height <= kMaxSide) {
      codec.Load(format, path);
    }
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) std::abort();
  }
  return WIFSIGNALED(status);
}

// Removes the work directory when the fuzzer ends normally.
void RemoveWorkDir() {
  for (const char* name :
       {"picture.jpg", "picture.png", "picture.bmp", "picture.tif", "Walp.bmp", "temp.file"}) {
    ::unlink((WorkDir() + name).c_str());
  }
  ::rmdir(WorkDir().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/picture-fuzz-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) std::abort();
  WorkDir() = std::string(pattern) + "/";
  std::atexit(RemoveWorkDir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int extension_index = data[0] % 4;
  const char* extension = kExtensions[extension_index];
  Codec().Clear();
  const std::string picture = WorkDir() + "picture" + extension;
  const std::string bitmap_path = WorkDir() + "Walp.bmp";
  ::unlink(bitmap_path.c_str());  // a refusal by size leaves an earlier one
  {
    std::ofstream out(picture, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    if (!out) std::abort();
  }
  if (std::strcmp(extension, ".tif") == 0 && KillsTheDecoder(picture)) {
    ::unlink(picture.c_str());
    return 0;
  }
  const PictureVerdict verdict =
      ConvertPictureToBmp(picture, bitmap_path, kMaxSide, kMaxSide, Codec(), Quiet());
  const bool converted = verdict.converted;
  struct stat st;
  const bool bitmap_exists = ::stat(bitmap_path.c_str(), &st) == 0;
  const bool refused_by_size =
      Codec().header_read && (Codec().header_width > kMaxSide || Codec().header_height > kMaxSide);
  if (refused_by_size && verdict.bitmap_replaced) std::abort();  // the old one stays
  if (!converted && bitmap_exists) std::abort();                 // a failure leaves no bitmap
  // Only the headers are read: a small picture may well make a bitmap of
  // hundreds of megabytes.
  const std::string bitmap = bitmap_exists ? ReadHead(bitmap_path, 54) : "";
  if (converted && !IsWholeBitmap(bitmap, bitmap_exists ? st.st_size : 0)) std::abort();
  NoteOutcome(extension_index, bitmap);
  ::unlink(picture.c_str());
  return 0;
}

extern "C" const char* __asan_default_options() {
  // As in the program: an allocation that cannot be had returns null.
  return "allocator_may_return_null=1";
}
