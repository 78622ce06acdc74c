// Downloaded pictures on their way to Walp.bmp: whatever the bytes, under a
// picture extension, ConvertToBmp returns, and Walp.bmp is either a whole
// Windows bitmap (success) or absent (failure).
//
// Input: one byte choosing the extension (.jpg .png .bmp .tif), then the
// file's content.
//
// The decoders run in forked children (platform/picture_freeimage.cpp), and
// so they do here. In such a child a decoder crash is the expected way for a
// hostile picture to fail, as in the program; but the child is a copy of
// this fuzzer, whose crash handlers would record the input as a crash of
// the fuzzer. So each child gets the program's own behaviour back: the
// crash signals kill it quietly and large allocations fail with null.
// The decoders are not instrumented, so the outcome of each input (header
// read, picture decoded, the bitmap's depth and size classes) is given to
// the fuzzer as extra features, to keep inputs that decode differently.
//
// What the sanitizers find in a child (our reading and writing callbacks
// run there) is not lost: the report goes to a file, and the fuzzer aborts
// on the input that caused it.
#include <dirent.h>
#include <pthread.h>
#include <sanitizer/common_interface_defs.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/wallpaper_fetcher.h"

namespace {

const char* const kExtensions[] = {".jpg", ".png", ".bmp", ".tif"};

// Read by libFuzzer as features beside its coverage counters.
__attribute__((section("__libfuzzer_extra_counters")))
uint8_t outcome_counters[4 * 2 * 2 * 8 * 4 * 4];

// The system codec, noting what became of the last picture.
class ObservedCodec : public PictureCodec {
 public:
  int FormatFromExtension(const std::string& extension) override {
    return real_.FormatFromExtension(extension);
  }
  bool ReadSize(int format, const std::string& path, long long* width, long long* height) override {
    header_read = real_.ReadSize(format, path, width, height);
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
  }

  bool header_read = false;
  bool decoded = false;
  int width = 0;
  int height = 0;

 private:
  PictureCodec& real_ = SystemPictureCodec();
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

std::string ReportDir() { return WorkDir() + "reports/"; }

// Holds a 640,000-byte buffer: made once, never on the fuzzer's stack.
WallpaperFetcher& Fetcher() {
  static WallpaperFetcher* fetcher = [] {
    Platform platform = SystemPlatform();
    platform.pictures = &Codec();
    auto* made = new WallpaperFetcher(platform, 1);
    made->m_yDebug = 0;
    made->m_ySuppressMessages = 1;
    made->m_iMaxWallpWidth = 0;
    made->m_iMaxWallpHeight = 0;
    made->m_strSavePath = WorkDir();
    return made;
  }();
  return *fetcher;
}

// In every forked child: crash signals end the child the way they end the
// program's decoder child; a sanitizer report is written beside the work
// directory instead of to the child's (closed) standard error.
void InChildAfterFork() {
  for (int signal_number : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL}) {
    ::signal(signal_number, SIG_DFL);
  }
  __sanitizer_set_death_callback(nullptr);
  static std::string path;  // must outlive the call
  path = ReportDir() + "child";
  __sanitizer_set_report_path(path.c_str());
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Reports a child's sanitizer report as this input's crash.
void AbortOnChildReports() {
  DIR* dir = ::opendir(ReportDir().c_str());
  if (dir == nullptr) return;
  std::string reports;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const std::string path = ReportDir() + entry->d_name;
    reports += ReadAll(path);
    ::unlink(path.c_str());
  }
  ::closedir(dir);
  if (reports.empty()) return;
  std::fprintf(stderr, "A decoder child was stopped by a sanitizer:\n%s\n", reports.c_str());
  std::abort();
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

// Removes the work directory when the fuzzer ends normally.
void RemoveWorkDir() {
  for (const char* name :
       {"picture.jpg", "picture.png", "picture.bmp", "picture.tif", "Walp.bmp", "temp.file"}) {
    ::unlink((WorkDir() + name).c_str());
  }
  ::rmdir(ReportDir().c_str());
  ::rmdir(WorkDir().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // libFuzzer takes any single allocation over -malloc_limit_mb (by default
  // -rss_limit_mb) for running out of memory, in a child too. A decoder
  // child may rightly ask for more: its bound is the address space the
  // codec allows it. So the limit goes above that bound, unless the command
  // line sets one (later flags win).
  static std::vector<char*> args;
  static char malloc_limit[] = "-malloc_limit_mb=8192";
  args.assign(*argv, *argv + *argc);
  args.insert(args.begin() + 1, malloc_limit);
  args.push_back(nullptr);
  *argc += 1;
  *argv = args.data();

  char pattern[] = "/tmp/picture-fuzz-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) std::abort();
  WorkDir() = std::string(pattern) + "/";
  if (::mkdir(ReportDir().c_str(), 0700) != 0) std::abort();
  ::pthread_atfork(nullptr, nullptr, InChildAfterFork);
  std::atexit(RemoveWorkDir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int extension_index = data[0] % 4;
  const char* extension = kExtensions[extension_index];
  WallpaperFetcher& fetcher = Fetcher();
  Codec().Clear();
  const std::string picture = WorkDir() + "picture" + extension;
  {
    std::ofstream out(picture, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    if (!out) std::abort();
  }
  fetcher.m_strWalpFileName = picture;
  const bool converted = fetcher.ConvertToBmp();
  AbortOnChildReports();

  const std::string bitmap_path = WorkDir() + "Walp.bmp";
  if (fetcher.m_strBmpFileName != bitmap_path) std::abort();
  struct stat st;
  const bool bitmap_exists = ::stat(bitmap_path.c_str(), &st) == 0;
  if (!converted && bitmap_exists) std::abort();  // a failure leaves no bitmap
  // Only the headers are read: a small picture may well make a bitmap of
  // hundreds of megabytes.
  const std::string bitmap = bitmap_exists ? ReadHead(bitmap_path, 54) : "";
  if (converted && !IsWholeBitmap(bitmap, bitmap_exists ? st.st_size : 0)) std::abort();
  NoteOutcome(extension_index, bitmap);
  ::unlink(picture.c_str());
  return 0;
}

extern "C" const char* __asan_default_options() {
  // As in the program: an allocation that cannot be had returns null. A
  // small quarantine of freed memory keeps this process small, and every
  // fork (two an input) fast.
  return "allocator_may_return_null=1:quarantine_size_mb=16";
}
