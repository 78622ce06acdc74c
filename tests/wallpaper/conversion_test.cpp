#include "wallpaper/conversion.h"

#include <FreeImage.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "diagnostics/format.h"
#include "diagnostics/reporter.h"
#include "picture/freeimage_decoder_posix.h"
#include "support/picture_samples.h"
#include "support/test_pictures.h"
#include "support/test_support.h"

namespace {

bool WritePicture(const std::string& path, FREE_IMAGE_FORMAT format, int width, int height) {
  FIBITMAP* dib = QuadrantBitmap(width, height);
  const std::string bytes = EncodePicture(dib, format);
  FreeImage_Unload(dib);
  WriteFileBytes(path, bytes);
  return !bytes.empty();
}

// The size and 24-bit pixels of a bitmap file, "" when FreeImage cannot read it.
std::string Pixels(const std::string& path) {
  FIBITMAP* dib = FreeImage_Load(FIF_BMP, path.c_str(), 0);
  if (dib == nullptr) return "";
  FIBITMAP* rgb = FreeImage_ConvertTo24Bits(dib);
  const unsigned width = FreeImage_GetWidth(rgb), height = FreeImage_GetHeight(rgb);
  std::string pixels = std::to_string(width) + "x" + std::to_string(height);
  for (unsigned y = 0; y < height; ++y)
    pixels.append(reinterpret_cast<const char*>(FreeImage_GetScanLine(rgb, y)), 3 * width);
  FreeImage_Unload(rgb);
  FreeImage_Unload(dib);
  return pixels;
}

// A bitmap header (no pixels follow) that claims the given size; with 1 bit
// a pixel it carries the two-colour palette.
std::string BmpHeader(uint32_t width, uint32_t height, int bits = 24) {
  const uint32_t offset = bits == 1 ? 62 : 54;
  std::string h(offset, '\0');
  auto put32 = [&h](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) h[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  h[0] = 'B';
  h[1] = 'M';
  put32(2, offset);
  put32(10, offset);
  put32(14, 40);
  put32(18, width);
  put32(22, height);
  h[26] = 1;  // planes
  h[28] = static_cast<char>(bits);
  if (bits == 1) put32(58, 0x00FFFFFF);  // white after black
  return h;
}

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A PNG signature and a valid IHDR claiming the given size; no image data.
std::string PngHeader(uint32_t width, uint32_t height) {
  auto be32 = [](uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 8), static_cast<char>(v)};
  };
  const std::string chunk =
      "IHDR" + be32(width) + be32(height) + std::string("\x08\x02\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + be32(13) + chunk + be32(Crc32(chunk));
}

// A Sun raster file: the header's eight big-endian words, then `data_size`
// zero bytes.
std::string RasFile(uint32_t width, uint32_t height, uint32_t depth, size_t data_size) {
  std::string file;
  for (uint32_t word : {0x59a66a95u, width, height, depth, static_cast<uint32_t>(data_size),
                        /*type: standard*/ 1u, /*no colour map*/ 0u, 0u}) {
    for (int shift = 24; shift >= 0; shift -= 8) file += static_cast<char>((word >> shift) & 0xFF);
  }
  return file + std::string(data_size, '\0');
}

// The system codec, counting the decodes it is asked for.
class CountingCodec : public PictureCodec {
 public:
  bool ReadSize(int format, const std::string& path, long long* width, long long* height) override {
    ++headers;
    return real_.ReadSize(format, path, width, height);
  }
  std::unique_ptr<Picture> Load(int format, const std::string& path) override {
    ++loads;
    return real_.Load(format, path);
  }
  int headers = 0;
  int loads = 0;

 private:
  PictureCodec& real_ = SystemPictureCodec();
};

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override { save_path_ = dir_.path(); }

  // Converts `name` (under the temporary directory) after putting an old
  // Walp.bmp in place; returns the result.
  bool Convert(const std::string& name) {
    WriteFileBytes(Walp(), "old bitmap");
    fakes_.boxes.boxes.clear();
    bitmap_ = BitmapPath(save_path_, "");
    const Reporter reporter(fakes_.console, fakes_.boxes, /*debug=*/true,
                            /*suppress_messages=*/false, "wallpaper-fetcher");
    verdict_ =
        ConvertPictureToBmp(dir_.Join(name), bitmap_, max_width_, max_height_, codec_, reporter);
    return verdict_.converted;
  }

  std::string Walp() const { return dir_.Join("Walp.bmp"); }
  // The texts of the boxes shown, one a line.
  std::string Boxes() const {
    std::string texts;
    for (const auto& box : fakes_.boxes.boxes) texts += box.caption + ": " + box.text + "\n";
    return texts;
  }

  ScopedTempDir dir_;
  CountingCodec codec_;
  FakePlatform fakes_;
  // As after a Sites.ini without limits.
  int max_width_ = 0;
  int max_height_ = 0;
  std::string save_path_;
  std::string bitmap_;
  PictureVerdict verdict_;
};

// Every committed sample of every format, through the confined decoder
// child, becomes Walp.bmp with the pixels FreeImage gives it
// (tests/data/pictures/expected): 16 bits a channel brought down to 8, alpha
// dropped, rows the right way up.
TEST_F(ConversionTest, EverySampleBecomesABitmapOfFreeImagesPixels) {
  const std::string samples = std::string(FETCHER_SOURCE_DIR) + "/tests/data/pictures/";
  for (const PictureSample& sample : PictureSamples()) {
    SCOPED_TRACE(sample.name);
    WriteFileBytes(dir_.Join(sample.name), ReadFileBytes(samples + sample.name));
    ASSERT_TRUE(Convert(sample.name));
    EXPECT_TRUE(verdict_.bitmap_replaced);
    EXPECT_EQ("", Boxes());
    const std::string expected = Pixels(samples + "expected/" + sample.name + ".bmp");
    ASSERT_NE("", expected);
    EXPECT_TRUE(expected == Pixels(Walp())) << "Walp.bmp is not expected/" << sample.name << ".bmp";
  }
}

// Stand for a decoder taken over by a picture, in the decoder child once it
// is confined: reaching for a file or the network must end it there.
void OpenAFile() {
  const int fd = ::open("/etc/hostname", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
}
void OpenASocket() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0) ::close(fd);
}
void MapExecutableMemory() {
  void* code =
      ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (code != MAP_FAILED) ::munmap(code, 4096);
}
void AllocateAndFree() { std::free(std::malloc(8 << 20)); }

TEST_F(ConversionTest, AConfinedDecoderThatReachesOutIsKilledAndTheRunGoesOn) {
  struct ProbeReset {
    ~ProbeReset() { SetDecoderChildProbeForTesting(nullptr); }
  } reset;
  ASSERT_TRUE(WritePicture(dir_.Join("p.png"), FIF_PNG, 16, 16));
  for (void (*probe)() : {OpenAFile, OpenASocket, MapExecutableMemory}) {
    SetDecoderChildProbeForTesting(probe);
    EXPECT_FALSE(Convert("p.png"));
    EXPECT_EQ("Message: Couldn't convert file to BMP\n", Boxes());
    EXPECT_FALSE(Exists(Walp()));
  }
  // What decoding needs is allowed, and the next picture converts.
  SetDecoderChildProbeForTesting(AllocateAndFree);
  EXPECT_TRUE(Convert("p.png"));
  SetDecoderChildProbeForTesting(nullptr);
  EXPECT_TRUE(Convert("p.png"));
  EXPECT_EQ("", Boxes());
}

TEST_F(ConversionTest, UnreadablePicturesDeleteTheOldBitmapAndSaySo) {
  ASSERT_TRUE(WritePicture(dir_.Join("anim.gif"), FIF_GIF, 32, 32));
  WriteFileBytes(dir_.Join("page.jpg"), "<html><body>Not found</body></html>\n");
  WriteFileBytes(dir_.Join("page.xyz"), "<html><body>Not found</body></html>\n");
  WriteFileBytes(dir_.Join("empty.png"), "");
  ASSERT_TRUE(WritePicture(dir_.Join("gif-named.jpg"), FIF_GIF, 32, 32));
  for (const char* name :
       {"anim.gif", "page.jpg", "page.xyz", "empty.png", "gif-named.jpg", "missing.jpg"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(Convert(name));
    EXPECT_EQ("Message: Couldn't convert file to BMP\n", Boxes());
    EXPECT_FALSE(Exists(Walp()));
    EXPECT_TRUE(verdict_.bitmap_replaced);
  }
  // The GIF is refused by its format, not by failing to decode, also under
  // another format's name.
  const int loads_before = codec_.loads;
  EXPECT_FALSE(Convert("anim.gif"));
  EXPECT_FALSE(Convert("gif-named.jpg"));
  EXPECT_EQ(loads_before, codec_.loads);
  EXPECT_EQ(PictureRefusal::kNotAccepted, verdict_.record.refusal);
  EXPECT_TRUE(verdict_.record.by_content);
}

TEST_F(ConversionTest, ThePictureIsKnownByItsContentWhereItsNameSaysNothingOrSomethingElse) {
  // Named for another format, for none, or not named at all: the content's
  // signature decides, and the picture is converted.
  ASSERT_TRUE(WritePicture(dir_.Join("really-png.jpg"), FIF_PNG, 32, 16));
  ASSERT_TRUE(WritePicture(dir_.Join("photo.xyz"), FIF_JPEG, 32, 16));
  ASSERT_TRUE(WritePicture(dir_.Join("photo-123"), FIF_JPEG, 32, 16));
  ASSERT_TRUE(WritePicture(dir_.Join("tiff.bmp"), FIF_TIFF, 32, 16));
  const std::pair<const char*, int> cases[] = {{"really-png.jpg", FIF_PNG},
                                               {"photo.xyz", FIF_JPEG},
                                               {"photo-123", FIF_JPEG},
                                               {"tiff.bmp", FIF_TIFF}};
  for (const auto& [name, format] : cases) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(Convert(name));
    EXPECT_EQ(format, verdict_.record.format);
    EXPECT_TRUE(verdict_.record.by_content);
    EXPECT_EQ("32x16", Pixels(Walp()).substr(0, 5));
  }
  // A format that has no signature keeps its extension's word, whatever
  // its first bytes look like; a matching extension is the extension's.
  ASSERT_TRUE(WritePicture(dir_.Join("p.tga"), FIF_TARGA, 8, 8));
  ASSERT_TRUE(WritePicture(dir_.Join("p.png"), FIF_PNG, 8, 8));
  for (const char* name : {"p.tga", "p.png"}) {
    EXPECT_TRUE(Convert(name)) << name;
    EXPECT_FALSE(verdict_.record.by_content) << name;
  }
}

TEST_F(ConversionTest, ExtensionIsTakenFromTheLastDotOfTheWholePath) {
  // No dot at all: nothing is touched.
  ASSERT_EQ(std::string::npos, dir_.path().find('.'));
  EXPECT_FALSE(Convert("sunset"));
  EXPECT_EQ("Message: No extenssion for downloaded file\n", Boxes());
  EXPECT_EQ("old bitmap", ReadFileBytes(Walp()));
  EXPECT_FALSE(verdict_.bitmap_replaced);

  // A dotted directory lends its dot: ".pics/sunset" names no format, and
  // a file without a picture's signature is then refused.
  ASSERT_EQ(0, ::system(("mkdir " + dir_.Join("my.pics")).c_str()));
  WriteFileBytes(dir_.Join("my.pics/sunset"), "not a picture");
  EXPECT_FALSE(Convert("my.pics/sunset"));
  EXPECT_EQ("Message: Couldn't convert file to BMP\n", Boxes());
  EXPECT_EQ(PictureRefusal::kUnknownFormat, verdict_.record.refusal);
  EXPECT_FALSE(Exists(Walp()));

  // Only the last dot counts.
  ASSERT_TRUE(WritePicture(dir_.Join("my.pics/sun.set.png"), FIF_PNG, 16, 16));
  EXPECT_TRUE(Convert("my.pics/sun.set.png"));
}

TEST_F(ConversionTest, SizeLimitsRefuseSilentlyAndKeepTheOldBitmap) {
  ASSERT_TRUE(WritePicture(dir_.Join("w640.png"), FIF_PNG, 640, 8));
  ASSERT_TRUE(WritePicture(dir_.Join("w641.png"), FIF_PNG, 641, 8));
  ASSERT_TRUE(WritePicture(dir_.Join("h480.png"), FIF_PNG, 8, 480));
  ASSERT_TRUE(WritePicture(dir_.Join("h481.png"), FIF_PNG, 8, 481));

  max_width_ = 640;
  EXPECT_TRUE(Convert("w640.png"));
  EXPECT_FALSE(Convert("w641.png"));
  EXPECT_EQ("", Boxes());
  EXPECT_EQ("old bitmap", ReadFileBytes(Walp()));
  EXPECT_FALSE(verdict_.bitmap_replaced);
  EXPECT_TRUE(Convert("h481.png"));  // no height limit

  max_width_ = 0;
  max_height_ = 480;
  EXPECT_TRUE(Convert("h480.png"));
  EXPECT_FALSE(Convert("h481.png"));
  EXPECT_EQ("old bitmap", ReadFileBytes(Walp()));
  EXPECT_TRUE(Convert("w641.png"));

  // A negative limit refuses everything.
  max_height_ = -1;
  ASSERT_TRUE(WritePicture(dir_.Join("dot.png"), FIF_PNG, 1, 1));
  EXPECT_FALSE(Convert("dot.png"));
  max_height_ = 0;
  max_width_ = -5;
  EXPECT_FALSE(Convert("dot.png"));
  EXPECT_EQ("", Boxes());
  EXPECT_EQ("old bitmap", ReadFileBytes(Walp()));
}

TEST_F(ConversionTest, HugeHeadersAreRefusedBeforeDecoding) {
  WriteFileBytes(dir_.Join("huge.bmp"), BmpHeader(20000, 20000));
  WriteFileBytes(dir_.Join("huge.png"), PngHeader(16385, 16385));
  WriteFileBytes(dir_.Join("wide.bmp"), BmpHeader(0x7FFFFFFF, 1));
  WriteFileBytes(dir_.Join("over.bmp"), BmpHeader(16385, 16384, 1));  // 2^28 + 16384
  // Exactly 2^28, at 1 bit a pixel so that trying it costs 32 MB, not 768.
  WriteFileBytes(dir_.Join("limit.bmp"), BmpHeader(16384, 16384, 1));
  // A width that wraps around 32 bits to -1, which FreeImage's header takes
  // for 1 and its decoder then reads past its buffer with (found by the
  // picture fuzzer).
  WriteFileBytes(dir_.Join("wrapped.pbm"), "P4\n4294967295 1\n" + std::string(64, '\x55'));

  const auto start = std::chrono::steady_clock::now();
  for (const char* name : {"huge.bmp", "huge.png", "wide.bmp", "over.bmp", "wrapped.pbm"}) {
    SCOPED_TRACE(name);
    const int headers = codec_.headers;
    EXPECT_FALSE(Convert(name));
    EXPECT_EQ(headers + 1, codec_.headers);
    EXPECT_EQ(0, codec_.loads);
    EXPECT_EQ("Message: Couldn't convert file to BMP\n", Boxes());
    EXPECT_FALSE(Exists(Walp()));
  }
  // Without a decode these take milliseconds; the bound only catches a
  // decoder that allocated and filled gigabytes.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

  // Exactly 2^28 pixels may be decoded (this one has no pixels, so fails).
  EXPECT_FALSE(Convert("limit.bmp"));
  EXPECT_EQ(1, codec_.loads);
  EXPECT_EQ("Message: Couldn't convert file to BMP\n", Boxes());

  // The configured limits come first and refuse silently.
  max_width_ = 1920;
  EXPECT_FALSE(Convert("huge.bmp"));
  EXPECT_EQ("", Boxes());
  EXPECT_EQ("old bitmap", ReadFileBytes(Walp()));
}

TEST_F(ConversionTest, DamagedPicturesFailWithTheMessage) {
  // Noise so that the compressed data is long and cut mid-scan.
  FIBITMAP* dib = FreeImage_Allocate(800, 600, 24);
  uint32_t seed = 12345;
  for (unsigned y = 0; y < 600; ++y) {
    BYTE* line = FreeImage_GetScanLine(dib, y);
    for (unsigned i = 0; i < 800 * 3; ++i) {
      seed = seed * 1103515245u + 12345u;
      line[i] = static_cast<BYTE>(seed >> 24);
    }
  }
  ASSERT_TRUE(FreeImage_Save(FIF_JPEG, dib, dir_.Join("whole.jpg").c_str(), 0));
  ASSERT_TRUE(FreeImage_Save(FIF_BMP, dib, dir_.Join("whole.bmp").c_str(), 0));
  ASSERT_TRUE(FreeImage_Save(FIF_PNG, dib, dir_.Join("whole.png").c_str(), 0));
  ASSERT_TRUE(FreeImage_Save(FIF_TIFF, dib, dir_.Join("whole.tif").c_str(), 0));
  FreeImage_Unload(dib);

  for (const char* ext : {"jpg", "bmp", "png", "tif"}) {
    SCOPED_TRACE(ext);
    const std::string whole = ReadFileBytes(dir_.Join(std::string("whole.") + ext));
    ASSERT_GT(whole.size(), 1000u);
    EXPECT_TRUE(Convert(std::string("whole.") + ext));
    WriteFileBytes(dir_.Join(std::string("half.") + ext), whole.substr(0, whole.size() / 2));
    EXPECT_FALSE(Convert(std::string("half.") + ext));
    EXPECT_EQ("Message: Couldn't convert file to BMP\n", Boxes());
    EXPECT_FALSE(Exists(Walp()));
    // Garbage after a valid header.
    std::string scrambled = whole;
    for (size_t i = 200; i < scrambled.size(); i += 7) scrambled[i] = static_cast<char>(i * 31);
    WriteFileBytes(dir_.Join(std::string("bad.") + ext), scrambled);
    Convert(std::string("bad.") + ext);  // either outcome, but the test process lives on
  }

  // FreeImage's raster loader dies of a segmentation fault on these (the
  // height's high bits set), its TIFF loader of a failed assertion on the
  // last (found by the picture fuzzer); the decoding child dies, the program
  // does not.
  WriteFileBytes(dir_.Join("crash.ras"), RasFile(4, 0xFFFF0004u, 24, 300));
  WriteFileBytes(dir_.Join("crash2.ras"), RasFile(4, 0xFFFFFFFFu, 24, 300));
  WriteFileBytes(dir_.Join("abort.tif"),
                 ReadFileBytes(std::string(FETCHER_SOURCE_DIR) +
                               "/tests/data/faults/freeimage_assertion.tif"));
  for (const char* name : {"crash.ras", "crash2.ras", "abort.tif"}) {
    SCOPED_TRACE(name);
    const int loads = codec_.loads;
    EXPECT_FALSE(Convert(name));
    EXPECT_EQ(loads + 1, codec_.loads);  // it got as far as decoding
    EXPECT_EQ("Message: Couldn't convert file to BMP\n", Boxes());
    EXPECT_FALSE(Exists(Walp()));
  }
}

// A run-length PCX of one bit a pixel, `lines` lines of 128 pixels: a header
// and 16 literal bytes a line.
std::string MonochromePcx(int lines) {
  std::string file(128, '\0');
  file[0] = 0x0A;  // maker
  file[1] = 5;     // version
  file[2] = 1;     // run-length encoded
  file[3] = 1;     // bits a pixel
  file[8] = 127;   // last column
  file[10] = static_cast<char>((lines - 1) & 0xFF);
  file[11] = static_cast<char>((lines - 1) >> 8);
  file[65] = 1;   // planes
  file[66] = 16;  // bytes a line
  file[68] = 1;   // palette kind
  for (int i = 0; i < 16 * lines; ++i) file += static_cast<char>(i % 2 ? 0x55 : 0x2A);
  return file;
}

TEST_F(ConversionTest, PcxWhoseReaderLooksAheadIsConverted) {
  // 128 lines fill the reader's 2048-byte buffer to the byte, so it asks
  // for more at the very end of a whole file.
  for (int lines : {128, 129}) {
    SCOPED_TRACE(lines);
    WriteFileBytes(dir_.Join("mono.pcx"), MonochromePcx(lines));
    EXPECT_TRUE(Convert("mono.pcx"));
    EXPECT_EQ("", Boxes());
    FIBITMAP* walp = FreeImage_Load(FIF_BMP, Walp().c_str(), 0);
    ASSERT_NE(nullptr, walp);
    EXPECT_EQ(128u, FreeImage_GetWidth(walp));
    EXPECT_EQ(static_cast<unsigned>(lines), FreeImage_GetHeight(walp));
    FreeImage_Unload(walp);
  }
}

TEST_F(ConversionTest, BitmapPathFollowsSavePathAndAFailedSaveStillCounts) {
  ASSERT_TRUE(WritePicture(dir_.Join("p.png"), FIF_PNG, 4, 4));
  // SavePath without a trailing separator is a prefix of the name.
  save_path_ = dir_.Join("pics");
  EXPECT_TRUE(Convert("p.png"));
  EXPECT_EQ(dir_.Join("picsWalp.bmp"), bitmap_);
  EXPECT_TRUE(Exists(dir_.Join("picsWalp.bmp")));

  // A directory that does not exist: saving fails, the conversion counts.
  save_path_ = dir_.Join("missing/");
  EXPECT_TRUE(Convert("p.png"));
  EXPECT_EQ(dir_.Join("missing/Walp.bmp"), bitmap_);
  EXPECT_FALSE(Exists(bitmap_));
}

}  // namespace
