// Pictures on Windows: every sample of tests/data/pictures decoded by WIC or
// our own decoders and written as Walp.bmp is, compared pixel by pixel with
// what FreeImage makes of it on Linux (expected/NAME.bmp); and the decoder
// child that does it, which this test program also is (see main).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "picture/formats.h"
#include "picture/picture_codec.h"
#include "picture/picture_codec_win32.h"
#include "support/win_test_support.h"

namespace {

// The pixels of a 24-bit bottom-up bitmap, top row first, blue-green-red.
struct Pixels {
  int width = 0;
  int height = 0;
  std::string bgr;
};

unsigned Le(const std::string& b, size_t at, int bytes) {
  unsigned value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(b[at + i]);
  return value;
}

bool ParseBmp24(const std::string& b, Pixels* out) {
  if (b.size() < 54 || b.compare(0, 2, "BM") != 0 || Le(b, 28, 2) != 24 || Le(b, 30, 4) != 0) {
    return false;
  }
  const int width = static_cast<int>(Le(b, 18, 4));
  const int height = static_cast<int>(Le(b, 22, 4));
  if (width <= 0 || height <= 0) return false;
  const size_t row = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  const size_t offset = Le(b, 10, 4);
  if (offset + row * height > b.size()) return false;
  out->width = width;
  out->height = height;
  out->bgr.clear();
  for (int y = height - 1; y >= 0; --y) out->bgr += b.substr(offset + row * y, width * 3u);
  return true;
}

std::vector<std::string> Samples() {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA(SourceFile("tests/data/pictures/*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && name != "README.md") {
      names.push_back(name);
    }
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return names;
}

struct Figures {
  int files = 0;
  int refused = 0;
  int failed = 0;  // read on Linux, not here
  long long values = 0;
  long long differing = 0;
  int largest = 0;
};

TEST(PictureParity, EverySampleGivesTheLinuxPixels) {
  PictureCodec& codec = SystemPictureCodec();
  ScopedTempDir dir;
  std::map<std::string, Figures> by_extension;
  const std::vector<std::string> samples = Samples();
  ASSERT_GE(samples.size(), 60u) << "the samples in tests/data/pictures";
  for (const std::string& name : samples) {
    SCOPED_TRACE(name);
    const std::string extension = name.substr(name.rfind('.'));
    const int format = PictureFormatFromExtension(extension);
    ASSERT_TRUE(IsAcceptedPictureFormat(format));
    Figures& figures = by_extension[extension];
    ++figures.files;

    const std::string path = SourceFile("tests/data/pictures/" + name);
    const std::string expected_path = SourceFile("tests/data/pictures/expected/" + name + ".bmp");
    long long width = 0, height = 0;
    std::unique_ptr<Picture> picture;
    if (codec.ReadSize(format, path, &width, &height)) picture = codec.Load(format, path);
    if (!Exists(expected_path)) {
      // FreeImage refuses it on Linux: so must Windows.
      EXPECT_EQ(picture, nullptr);
      ++figures.refused;
      continue;
    }
    EXPECT_NE(picture, nullptr);
    if (picture == nullptr) {
      ++figures.failed;
      continue;
    }
    EXPECT_EQ(picture->Width(), width);
    EXPECT_EQ(picture->Height(), height);
    const std::string bitmap = dir.Join(name + ".bmp");
    ASSERT_TRUE(picture->SaveBmp(bitmap).ok());
    Pixels ours, expected;
    ASSERT_TRUE(ParseBmp24(ReadFileBytes(bitmap), &ours));
    ASSERT_TRUE(ParseBmp24(ReadFileBytes(expected_path), &expected));
    ASSERT_EQ(ours.width, expected.width);
    ASSERT_EQ(ours.height, expected.height);
    int largest = 0;
    long long differing = 0;
    long long total = 0;
    for (size_t i = 0; i < ours.bgr.size(); ++i) {
      const int d = std::abs(static_cast<unsigned char>(ours.bgr[i]) -
                             static_cast<unsigned char>(expected.bgr[i]));
      if (d != 0) ++differing;
      total += d;
      if (d > largest) largest = d;
    }
    figures.values += static_cast<long long>(ours.bgr.size());
    figures.differing += differing;
    if (largest > figures.largest) figures.largest = largest;
    // JPEG: FreeImage decodes with the fast integer transform and widens the
    // colour planes by repeating their samples; WIC uses the accurate
    // transform and smooths them. On soft, photographic content that moves
    // values by a few levels (jpeg_photo.jpg under Wine: at most 7, 1.5 on
    // average); on the pixel-sized colour pattern of jpeg.jpg, where every
    // pixel is an edge, by far more (at most 69, 16.6 on average).
    if (extension == ".jpg") {
      const double mean = static_cast<double>(total) / static_cast<double>(ours.bgr.size());
      std::printf("%s: largest difference %d, mean %.2f\n", name.c_str(), largest, mean);
      EXPECT_LE(largest, name == "jpeg.jpg" ? 72 : 8);
      EXPECT_LE(mean, name == "jpeg.jpg" ? 18.0 : 2.0);
    } else {
      EXPECT_EQ(differing, 0);
    }
  }
  std::printf("%-8s %5s %7s %6s %10s %10s %8s\n", "format", "files", "refused", "failed", "values",
              "differing", "largest");
  for (const auto& [extension, f] : by_extension) {
    std::printf("%-8s %5d %7d %6d %10lld %10lld %8d\n", extension.c_str(), f.files, f.refused,
                f.failed, f.values, f.differing, f.largest);
  }
}

TEST(PictureParity, TheExtensionChoosesTheDecoderAndHugeHeadersAreRefusedUndecoded) {
  PictureCodec& codec = SystemPictureCodec();
  ScopedTempDir dir;
  // A PNG named .jpg is no JPEG: the JPEG decoder refuses it.
  const std::string png = ReadFileBytes(SourceFile("tests/data/pictures/png_24.png"));
  ASSERT_FALSE(png.empty());
  WriteFileBytes(dir.Join("png.jpg"), png);
  long long width = 0, height = 0;
  EXPECT_FALSE(
      codec.ReadSize(PictureFormatFromExtension(".jpg"), dir.Join("png.jpg"), &width, &height));
  EXPECT_EQ(codec.Load(PictureFormatFromExtension(".jpg"), dir.Join("png.jpg")), nullptr);

  // A bitmap header claiming 20000 x 20000 pixels: its size is read, and the
  // picture is refused before any pixel is decoded (the file holds none).
  std::string huge = ReadFileBytes(SourceFile("tests/data/pictures/bmp_24.bmp"));
  ASSERT_GE(huge.size(), 54u);
  for (int at : {18, 22}) {
    huge[at] = static_cast<char>(20000 & 0xFF);
    huge[at + 1] = static_cast<char>(20000 >> 8);
    huge[at + 2] = huge[at + 3] = 0;
  }
  WriteFileBytes(dir.Join("huge.bmp"), huge);
  const int bmp = PictureFormatFromExtension(".bmp");
  ASSERT_TRUE(codec.ReadSize(bmp, dir.Join("huge.bmp"), &width, &height));
  EXPECT_EQ(width, 20000);
  EXPECT_EQ(height, 20000);
  EXPECT_EQ(codec.Load(bmp, dir.Join("huge.bmp")), nullptr);
  // The same for our own decoders: a TARGA header of 65535 x 65535.
  std::string targa = ReadFileBytes(SourceFile("tests/data/pictures/targa_24.tga"));
  ASSERT_GE(targa.size(), 18u);
  for (int at : {12, 14}) targa[at] = targa[at + 1] = static_cast<char>(0xFF);
  WriteFileBytes(dir.Join("huge.tga"), targa);
  const int tga = PictureFormatFromExtension(".tga");
  ASSERT_TRUE(codec.ReadSize(tga, dir.Join("huge.tga"), &width, &height));
  EXPECT_EQ(width, 65535);
  EXPECT_EQ(codec.Load(tga, dir.Join("huge.tga")), nullptr);
}

// A TARGA picture of `width` x `height` pixels of one colour, run-length
// encoded: a few bytes a row, whatever its size.
std::string OneColourTarga(int width, int height) {
  std::string file(18, '\0');
  file[2] = 10;  // run-length encoded true colour
  file[12] = static_cast<char>(width & 0xFF);
  file[13] = static_cast<char>(width >> 8);
  file[14] = static_cast<char>(height & 0xFF);
  file[15] = static_cast<char>(height >> 8);
  file[16] = 24;
  file[17] = 0x20;                                                      // top row first
  const std::string run = {static_cast<char>(0x80 | 127), 10, 20, 30};  // 128 pixels
  for (long long left = 1LL * width * height; left > 0; left -= 128) file += run;
  return file;
}

// The faults a decoder child of this program makes before decoding, named
// by the parent in FAULT_BEFORE_DECODING (the child inherits it).
const char kFaultVariable[] = "FAULT_BEFORE_DECODING";

void MakeFault() {
  char fault[16] = "";
  ::GetEnvironmentVariableA(kFaultVariable, fault, sizeof fault);
  if (std::strcmp(fault, "crash") == 0) ::RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
  if (std::strcmp(fault, "hang") == 0) {
    for (;;) ::Sleep(1000);
  }
}

// Sets the child's fault while it lives.
class ScopedFault {
 public:
  explicit ScopedFault(const char* fault) { ::SetEnvironmentVariableA(kFaultVariable, fault); }
  ~ScopedFault() { ::SetEnvironmentVariableA(kFaultVariable, nullptr); }
};

// What goes wrong in the decoder ends its child, not this program: the
// picture is one that could not be read, and the next one decodes.
TEST(ConfinedDecoder, ACrashAHangOrTooMuchMemoryEndsOnlyTheChild) {
  ScopedTempDir dir;
  const int tga = PictureFormatFromExtension(".tga");
  const std::string small = dir.Join("small.tga");
  WriteFileBytes(small, OneColourTarga(640, 480));
  DecoderLimits limits = DefaultDecoderLimits();
  limits.decode_timeout_ms = 3000;
  const std::unique_ptr<PictureCodec> codec = MakeConfinedPictureCodec(limits);
  long long width = 0, height = 0;
  for (const char* fault : {"crash", "hang"}) {
    SCOPED_TRACE(fault);
    const ScopedFault scoped(fault);
    ASSERT_TRUE(codec->ReadSize(tga, small, &width, &height));
    EXPECT_EQ(codec->Load(tga, small), nullptr);
  }
  std::unique_ptr<Picture> picture = codec->Load(tga, small);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->Width(), 640);

  // 6000 x 6000 pixels take 108 MB decoded, from a file of about 1 MB: over
  // a limit of 80 MB the child is ended; within the usual one it decodes.
  const std::string large = dir.Join("large.tga");
  WriteFileBytes(large, OneColourTarga(6000, 6000));
  limits.memory_bytes = 80 << 20;
  const std::unique_ptr<PictureCodec> bounded = MakeConfinedPictureCodec(limits);
  ASSERT_TRUE(bounded->ReadSize(tga, large, &width, &height));
  EXPECT_EQ(width, 6000);
  EXPECT_EQ(bounded->Load(tga, large), nullptr);
  picture = codec->Load(tga, large);
  ASSERT_NE(picture, nullptr);
  ASSERT_TRUE(picture->SaveBmp(dir.Join("large.bmp")).ok());
  Pixels pixels;
  ASSERT_TRUE(ParseBmp24(ReadFileBytes(dir.Join("large.bmp")), &pixels));
  EXPECT_EQ(pixels.width, 6000);
  EXPECT_EQ(pixels.bgr.substr(pixels.bgr.size() - 3), std::string({10, 20, 30}));
}

}  // namespace

// The program's decoder children are this program too: it decodes when it
// is started as one, with the fault its parent asked for.
int main(int argc, char** argv) {
  SetDecoderChildFaultForTesting(MakeFault);
  const int child = RunAsDecoderChild(std::vector<std::string>(argv, argv + argc));
  if (child >= 0) return child;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
