// Our decoders against FreeImage, pixel by pixel, over every sample, and
// the ways damaged files must be refused.

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "picture/decoders/bmp_writer.h"
#include "picture/decoders/decode.h"
#include "picture/formats.h"
#include "support/picture_samples.h"
#include "support/test_support.h"

// While it is not 0, an allocation through operator new of more bytes than
// this throws: a decoder must know that the file can hold the pixels its
// header claims before it allocates them. Every form of new and delete is
// replaced, so that none meets a block of another allocator (FreeImage's
// nothrow news included).
static std::atomic<size_t> g_allocation_cap{0};

static void* Allocate(size_t size) {
  const size_t cap = g_allocation_cap.load();
  if (cap != 0 && size > cap) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
static void* AllocateOrNull(size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
// GCC takes the free of a block from these operators new for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace {

using imaging::Raster;

struct DibDeleter {
  void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using Dib = std::unique_ptr<FIBITMAP, DibDeleter>;

const uint8_t* Data(const std::string& bytes) {
  return reinterpret_cast<const uint8_t*>(bytes.data());
}

// Our decoder for a file name's format, as the Windows build chooses it.
WindowsDecoder DecoderOf(const std::string& name) {
  const WindowsDecoder decoder = WindowsDecoderFor(FreeImage_GetFIFFromFilename(name.c_str()));
  EXPECT_TRUE(imaging::IsOwnDecoder(decoder)) << name;
  return decoder;
}

// Every pixel of `raster` against a 24- or 32-bit FreeImage bitmap; the
// alpha channel only where both have one. Describes the first difference.
std::string Differences(const Raster& raster, FIBITMAP* dib, bool alpha) {
  if (static_cast<unsigned>(raster.width) != FreeImage_GetWidth(dib) ||
      static_cast<unsigned>(raster.height) != FreeImage_GetHeight(dib)) {
    return "size " + std::to_string(raster.width) + "x" + std::to_string(raster.height);
  }
  const unsigned step = FreeImage_GetBPP(dib) / 8;
  long differing = 0;
  std::string first;
  for (int y = 0; y < raster.height; ++y) {
    const BYTE* line = FreeImage_GetScanLine(dib, raster.height - 1 - y);
    for (int x = 0; x < raster.width; ++x) {
      const uint8_t* ours = raster.Row(y) + static_cast<size_t>(x) * raster.channels;
      const BYTE* theirs = line + x * step;
      bool same = ours[0] == theirs[FI_RGBA_RED] && ours[1] == theirs[FI_RGBA_GREEN] &&
                  ours[2] == theirs[FI_RGBA_BLUE];
      if (alpha) same = same && ours[3] == theirs[FI_RGBA_ALPHA];
      if (!same && differing++ == 0) {
        first = " first at " + std::to_string(x) + "," + std::to_string(y) + ": ours " +
                std::to_string(ours[0]) + "," + std::to_string(ours[1]) + "," +
                std::to_string(ours[2]) + " FreeImage " + std::to_string(theirs[FI_RGBA_RED]) +
                "," + std::to_string(theirs[FI_RGBA_GREEN]) + "," +
                std::to_string(theirs[FI_RGBA_BLUE]);
      }
    }
  }
  return differing == 0 ? "" : std::to_string(differing) + " pixels differ," + first;
}

Dib LoadBmp(const std::string& bytes) {
  FIMEMORY* memory =
      FreeImage_OpenMemory(const_cast<BYTE*>(Data(bytes)), static_cast<DWORD>(bytes.size()));
  Dib dib(FreeImage_LoadFromMemory(FIF_BMP, memory, 0));
  FreeImage_CloseMemory(memory);
  if (dib != nullptr && FreeImage_GetBPP(dib.get()) != 24) {
    dib.reset(FreeImage_ConvertTo24Bits(dib.get()));
  }
  return dib;
}

std::string SampleName(const testing::TestParamInfo<PictureSample>& info) {
  std::string name = info.param.name;
  for (char& c : name) {
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

std::vector<PictureSample> OurSamples() {
  std::vector<PictureSample> ours;
  for (PictureSample& sample : PictureSamples()) {
    if (sample.ours) ours.push_back(std::move(sample));
  }
  return ours;
}

class OurDecoders : public testing::TestWithParam<PictureSample> {};

// The size from the header, the pixels (alpha included) and the bitmap we
// write all equal FreeImage's.
TEST_P(OurDecoders, GiveFreeImagesPixelsAndWriteThemBack) {
  const PictureSample& sample = GetParam();
  const WindowsDecoder format = DecoderOf(sample.name);
  Dib reference(FreeImageReference(sample.name, sample.bytes, /*keep_alpha=*/true));
  ASSERT_NE(reference, nullptr) << "FreeImage cannot read " << sample.name;
  const bool alpha = FreeImage_GetBPP(reference.get()) == 32;

  long long width = 0, height = 0;
  ASSERT_TRUE(imaging::ReadSize(format, Data(sample.bytes), sample.bytes.size(), &width, &height));
  EXPECT_EQ(width, FreeImage_GetWidth(reference.get()));
  EXPECT_EQ(height, FreeImage_GetHeight(reference.get()));

  Raster raster;
  ASSERT_TRUE(imaging::Decode(format, Data(sample.bytes), sample.bytes.size(), &raster));
  EXPECT_EQ(raster.channels, alpha ? 4 : 3);
  EXPECT_EQ(Differences(raster, reference.get(), alpha), "");

  // Our bitmap, read by FreeImage, holds the same colours; alpha is dropped.
  const std::vector<uint8_t> bmp = imaging::EncodeBmp(raster);
  const std::string bmp_bytes(bmp.begin(), bmp.end());
  Dib written = LoadBmp(bmp_bytes);
  ASSERT_NE(written, nullptr);
  EXPECT_EQ(FreeImage_GetBPP(written.get()), 24u);
  EXPECT_EQ(Differences(raster, written.get(), false), "");
}

INSTANTIATE_TEST_SUITE_P(Samples, OurDecoders, testing::ValuesIn(OurSamples()), SampleName);

const PictureSample& Sample(const std::vector<PictureSample>& samples, const std::string& name) {
  for (const PictureSample& sample : samples) {
    if (sample.name == name) return sample;
  }
  ADD_FAILURE() << "no sample " << name;
  return samples.front();
}

// Decodes `bytes` as the format of `name`; when FreeImage (as the Linux build
// runs it, in a child) refuses the file we must refuse it too, and whatever
// we accept must have FreeImage's pixels. Returns whether we accepted it.
bool DecodeLikeFreeImage(const std::string& name, const std::string& bytes,
                         bool must_accept = false) {
  Raster raster;
  const bool ours = imaging::Decode(DecoderOf(name), Data(bytes), bytes.size(), &raster);
  Dib reference(FreeImageReferenceInChild(name, bytes));
  if (reference == nullptr) {
    EXPECT_FALSE(ours) << name << " is refused by FreeImage, not by us";
  } else if (ours) {
    EXPECT_EQ(Differences(raster, reference.get(), false), "") << name;
  }
  if (must_accept) {
    EXPECT_TRUE(ours) << name << (reference == nullptr ? " (FreeImage refuses it)" : "");
  }
  if (!ours) {
    EXPECT_TRUE(raster.pixels.empty()) << name;
  }
  return ours;
}

std::string Patched(std::string bytes, size_t at, std::initializer_list<unsigned> values) {
  for (unsigned v : values) bytes[at++] = static_cast<char>(v);
  return bytes;
}

// Variants FreeImage reads in its own way or refuses, derived from the
// samples: we read or refuse them alike.
TEST(OurDecoders, ReadOrRefuseOddVariantsAsFreeImageDoes) {
  const std::vector<PictureSample> samples = PictureSamples();
  const std::string pcd = Sample(samples, "photo_cd.pcd").bytes;
  DecodeLikeFreeImage("bottom_up.pcd", Patched(pcd, 72, {0}), true);
  const std::string ras32 = Sample(samples, "ras_32_odd_width_padded.ras").bytes;
  // Without FreeImage's padding byte after each odd 32-bit row it runs out.
  std::string unpadded;
  for (size_t i = 0; i < 32; ++i) unpadded.push_back(ras32[i]);
  for (int y = 0; y < 7; ++y) unpadded += ras32.substr(32 + y * 53, 52);
  EXPECT_FALSE(DecodeLikeFreeImage("unpadded.ras", unpadded));
  // A full colour map is refused; a map of 8 colours leaves the rest grey.
  std::string full_map = Sample(samples, "ras_8_grey.ras").bytes;
  full_map = Patched(full_map, 24, {0, 0, 0, 1, 0, 0, 3, 0}).insert(32, std::string(768, '\x40'));
  EXPECT_FALSE(DecodeLikeFreeImage("full_map.ras", full_map));
  std::string small_map = Sample(samples, "ras_8_grey.ras").bytes;
  small_map = Patched(small_map, 24, {0, 0, 0, 1, 0, 0, 0, 25}).insert(32, std::string(25, '\x90'));
  DecodeLikeFreeImage("small_map.ras", small_map, true);
  DecodeLikeFreeImage("unknown_map.ras",
                      Patched(Sample(samples, "ras_1.ras").bytes, 24, {0, 0, 0, 7}), true);
  EXPECT_FALSE(DecodeLikeFreeImage("type6.ras", Patched(ras32, 20, {0, 0, 0, 6})));

  const std::string tga = Sample(samples, "targa_24.tga").bytes;
  EXPECT_FALSE(DecodeLikeFreeImage("depth12.tga", Patched(tga, 16, {12})));
  EXPECT_FALSE(DecodeLikeFreeImage("grey24.tga", Patched(tga, 2, {3})));
  EXPECT_FALSE(DecodeLikeFreeImage("zero_width.tga", Patched(tga, 12, {0, 0})));
  const std::string grey = Sample(samples, "targa_8_grey.tga").bytes;
  EXPECT_FALSE(DecodeLikeFreeImage("type2_8bit.tga", Patched(grey, 2, {2})));
  // A colour map of 15-bit entries is skipped by its length in bits / 8.
  DecodeLikeFreeImage("map15.tga",
                      Patched(grey, 1, {1, 3, 0, 0, 16, 0, 15}).insert(18, std::string(30, '\x7f')),
                      true);
  // A run past the end of the picture ends the decoding there.
  std::string overlong = Sample(samples, "targa_8_grey_rle_footer.tga").bytes;
  overlong = overlong.substr(0, overlong.size() - 26 - 495);
  DecodeLikeFreeImage("overlong_run.tga", overlong + "\xff\x10", true);
  // A footer that names an extension area past the end.
  std::string footer = Sample(samples, "targa_8_grey_rle_footer.tga").bytes;
  EXPECT_FALSE(DecodeLikeFreeImage("footer.tga", Patched(footer, footer.size() - 26, {0, 0, 1})));

  const std::string pcx = Sample(samples, "pcx_24_rle.pcx").bytes;
  EXPECT_FALSE(DecodeLikeFreeImage("one_column.pcx", Patched(pcx, 8, {0, 0})));
  EXPECT_FALSE(DecodeLikeFreeImage("two_planes.pcx", Patched(pcx, 65, {2})));
  EXPECT_FALSE(DecodeLikeFreeImage("four_8bit_planes.pcx", Patched(pcx, 65, {4})));
  EXPECT_FALSE(DecodeLikeFreeImage("version6.pcx", Patched(pcx, 1, {6})));
  // Run counts of 0 stand for 256 and are cut at the end of the row.
  std::string runs = Sample(samples, "pcx_8_grey_rle.pcx").bytes.substr(0, 128);
  for (int y = 0; y < 7; ++y) runs += std::string("\xc0\x21\xc0\x99", 4);
  DecodeLikeFreeImage("zero_runs.pcx", runs, true);
  // Rows of no bytes (found by the fuzzer): every pixel is colour 0.
  DecodeLikeFreeImage("empty_rows.pcx",
                      Patched(Sample(samples, "pcx_8_palette_raw.pcx").bytes, 66, {0, 0}), true);

  DecodeLikeFreeImage("comments.ppm", "P3\n#c\n2 1#x\n255 1 2 3 400 5 6 ", true);
  DecodeLikeFreeImage("signs.pgm", "P2 3 1 -9 1 +4 -9 ", true);
  DecodeLikeFreeImage("joined_bits.pbm", "P1 3 1 0101 1 0 ", true);
  EXPECT_FALSE(DecodeLikeFreeImage("no_end.pbm", "P1 2 1 0 1"));
  EXPECT_FALSE(DecodeLikeFreeImage("maximum0.pgm", "P5 1 1 0 \x01"));
  EXPECT_FALSE(DecodeLikeFreeImage("maximum70000.pgm", "P2 1 1 70000 5 "));
  EXPECT_FALSE(DecodeLikeFreeImage("p7.ppm", "P7 1 1 255 \x01\x02\x03"));
  // One level: a 16-bit grey picture of a single level stays as it is.
  DecodeLikeFreeImage("flat16.pgm", "P2 2 1 1000 3 3 ", true);
}

// Cut, damaged and oversized files are refused without a crash, a read
// outside the file or an allocation for the size the header claims.
TEST(OurDecoders, RefuseDamagedTruncatedAndHugeFiles) {
  int refused_where_freeimage_reads_on = 0;
  for (const PictureSample& sample : OurSamples()) {
    const std::string& bytes = sample.bytes;
    for (size_t cut : {size_t{0}, size_t{1}, size_t{17}, size_t{33}, size_t{129}, bytes.size() / 2,
                       bytes.size() * 3 / 4, bytes.size() - 1}) {
      if (cut >= bytes.size()) continue;
      // A heap copy of just the prefix, so that a read past it is caught
      // under AddressSanitizer.
      const std::string prefix = bytes.substr(0, cut);
      const std::unique_ptr<uint8_t[]> exact(new uint8_t[cut + 1]);
      std::memcpy(exact.get(), prefix.data(), cut);
      Raster raster;
      long long width = 0, height = 0;
      imaging::ReadSize(DecoderOf(sample.name), exact.get(), cut, &width, &height);
      const bool ours = imaging::Decode(DecoderOf(sample.name), exact.get(), cut, &raster);
      Dib reference(FreeImageReferenceInChild(sample.name, prefix));
      if (reference == nullptr) {
        EXPECT_FALSE(ours) << sample.name << " cut at " << cut;
      } else if (!ours) {
        ++refused_where_freeimage_reads_on;
      } else {
        EXPECT_EQ(Differences(raster, reference.get(), false), "") << sample.name << " " << cut;
      }
      // Half a file is no picture, unless only a footer or a palette was cut
      // off or it is an uncompressed PCX (FreeImage reads rows past the end
      // as the last row read).
      const bool whole_pixels = sample.name.find("raw.pcx") != std::string::npos ||
                                sample.name.find("footer") != std::string::npos ||
                                sample.name.find("palette_rle.pcx") != std::string::npos;
      if (cut == bytes.size() / 2 && !whole_pixels) {
        EXPECT_FALSE(ours) << sample.name;
      }
    }
    for (size_t at = 0; at < bytes.size(); at += 1 + bytes.size() / 40) {
      std::string damaged = bytes;
      damaged[at] = static_cast<char>(damaged[at] ^ 0xA5);
      Raster raster;
      long long width = 0, height = 0;
      const bool sized =
          imaging::ReadSize(DecoderOf(sample.name), Data(damaged), damaged.size(), &width, &height);
      if (imaging::Decode(DecoderOf(sample.name), Data(damaged), damaged.size(), &raster)) {
        EXPECT_TRUE(sized);
        EXPECT_EQ(raster.width, width);
        EXPECT_EQ(raster.height, height);
      }
    }
  }
  // FreeImage makes up the missing end of some files; we do not.
  RecordProperty("refused_where_freeimage_reads_on", refused_where_freeimage_reads_on);

  // Headers over 2^28 pixels: the size is read, nothing is decoded.
  const std::vector<PictureSample> samples = PictureSamples();
  struct Huge {
    std::string name;
    std::string bytes;
    long long width, height;
  };
  const std::vector<Huge> huge = {
      {"huge.tga", Patched(Sample(samples, "targa_24.tga").bytes, 12, {255, 255, 255, 255}), 65535,
       65535},
      {"huge.pcx", Patched(Sample(samples, "pcx_24_raw.pcx").bytes, 8, {255, 255, 255, 255}), 65536,
       65536},
      {"huge.ras",
       Patched(Sample(samples, "ras_8_grey.ras").bytes, 4, {127, 255, 255, 255, 0, 0, 255, 255}),
       0x7FFFFFFF, 65535},
      {"huge.ppm", "P6 70000 70000 255\n\x01\x02\x03", 70000, 70000},
      {"wrapped.pgm", "P5 4294967295 1 255\n\x01", -1, -1},
  };
  for (const Huge& h : huge) {
    long long width = 0, height = 0;
    const bool sized =
        imaging::ReadSize(DecoderOf(h.name), Data(h.bytes), h.bytes.size(), &width, &height);
    if (h.width > 0) {
      EXPECT_TRUE(sized) << h.name;
      EXPECT_EQ(width, h.width) << h.name;
      EXPECT_EQ(height, h.height) << h.name;
    } else {
      EXPECT_FALSE(sized) << h.name;
    }
    Raster raster;
    EXPECT_FALSE(imaging::Decode(DecoderOf(h.name), Data(h.bytes), h.bytes.size(), &raster))
        << h.name;
  }
  // 2^28 pixels exactly may be decoded, but not from a file this small, and
  // nothing is allocated for them first.
  const std::pair<std::string, std::string> at_the_limit[] = {
      {"limit.ras",
       Patched(Sample(samples, "ras_8_grey.ras").bytes, 4, {0, 0, 64, 0, 0, 0, 64, 0})},
      {"limit_rle.ras",
       Patched(Sample(samples, "ras_8_map_rle.ras").bytes, 4, {0, 0, 64, 0, 0, 0, 64, 0})},
      {"limit.tga", Patched(Sample(samples, "targa_8_grey.tga").bytes, 12, {0, 64, 0, 64})},
      {"limit_rle.tga",
       Patched(Sample(samples, "targa_8_grey_rle_footer.tga").bytes, 12, {0, 64, 0, 64})},
      {"limit_rle.pcx",
       Patched(Sample(samples, "pcx_8_grey_rle.pcx").bytes, 8, {255, 63, 255, 63})},
      {"limit.pgm", "P5 16384 16384 255\n\x01"},
  };
  for (const auto& [name, bytes] : at_the_limit) {
    long long width = 0, height = 0;
    ASSERT_TRUE(imaging::ReadSize(DecoderOf(name), Data(bytes), bytes.size(), &width, &height));
    ASSERT_EQ(width * height, kMaxPicturePixels) << name;
    bool decoded = true;
    g_allocation_cap = 1 << 20;
    try {
      Raster raster;
      decoded = imaging::Decode(DecoderOf(name), Data(bytes), bytes.size(), &raster);
    } catch (const std::bad_alloc&) {
    }
    g_allocation_cap = 0;
    EXPECT_FALSE(decoded) << name << " is decoded or allocates more than 1 MiB";
  }
  Raster raster;
  EXPECT_FALSE(raster.Allocate(1LL << 14, (1LL << 14) + 1, 3));
  EXPECT_TRUE(imaging::EncodeBmp(Raster()).empty());
}

}  // namespace
