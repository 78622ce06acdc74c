// Walp.bmp on a disk that fills up: the bitmap appears whole or not at all,
// and the desktop is never handed a missing or cut-off one.
#include <FreeImage.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "app/run_record.h"
#include "diagnostics/format.h"
#include "diagnostics/reporter.h"
#include "picture/picture_codec.h"
#include "retrieval/download.h"
#include "support/fake_internet.h"
#include "support/test_pictures.h"
#include "support/test_support.h"
#include "support/tmpfs_mount.h"
#include "wallpaper/conversion.h"
#include "wallpaper/installation.h"

namespace {

constexpr long long kDiskSize = 1 << 20;

class FullDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!disk_.mounted()) GTEST_SKIP() << disk_.reason();
  }
  Reporter MakeReporter() {
    return Reporter(fakes_.console, fakes_.boxes, /*debug=*/true, /*suppress_messages=*/true,
                    "wallpaper-fetcher");
  }
  // Walp.bmp on the disk from `picture`, as a run without limits makes it.
  bool Convert(const std::string& picture) {
    return ConvertPictureToBmp(picture, Walp(), 0, 0, SystemPictureCodec(), MakeReporter())
        .converted;
  }
  void Install() {
    (void)InstallWallpaper(Walp(), WallpaperLook(), fakes_.desktop, MakeReporter());
  }
  std::string Walp() const { return disk_.path() + "Walp.bmp"; }

  ScopedTmpfs disk_{kDiskSize};
  FakePlatform fakes_;
};

TEST_F(FullDiskTest, ABitmapThatDoesNotFitLeavesNoFileAndNoWallpaper) {
  // 800x600 is a small PNG and a 1.44 MB bitmap on a 1 MiB disk. The picture
  // is kept and the attempt counts (the run records it and ends).
  const std::string picture = disk_.path() + "big.png";
  WriteFileBytes(picture, GradientPicture(FIF_PNG, 800, 600, 90));
  ASSERT_LT(ReadFileBytes(picture).size(), 100000u);
  WriteFileBytes(disk_.path() + "Walp.bmp", "the previous bitmap");
  const long long free_before = disk_.FreeBytes();

  // A failed save still counts as a conversion, and says why.
  const PictureVerdict verdict =
      ConvertPictureToBmp(picture, Walp(), 0, 0, SystemPictureCodec(), MakeReporter());
  EXPECT_TRUE(verdict.converted);
  EXPECT_EQ("No space left on device", verdict.record.bitmap_error);
  // Neither a cut-off Walp.bmp nor the partial copy beside it is left.
  EXPECT_EQ((std::set<std::string>{"big.png"}), Listing(disk_.path()));
  EXPECT_GE(disk_.FreeBytes(), free_before);  // the old bitmap's space came back too

  Install();
  EXPECT_TRUE(fakes_.desktop.wallpapers.empty());
  EXPECT_NE(std::string::npos, fakes_.console.written.find(
                                   "No bitmap to set as the wallpaper, the previous one stays: " +
                                   disk_.path() + "Walp.bmp\n"))
      << fakes_.console.written;
  EXPECT_TRUE(fakes_.boxes.boxes.empty());

  // A picture whose bitmap fits on the same disk goes through whole.
  const std::string small = disk_.path() + "small.png";
  WriteFileBytes(small, GradientPicture(FIF_PNG, 200, 150, 90));
  EXPECT_TRUE(Convert(small));
  const std::string bitmap = ReadFileBytes(disk_.path() + "Walp.bmp");
  EXPECT_EQ(54u + 200u * 150u * 3u, bitmap.size());
  EXPECT_EQ("BM", bitmap.substr(0, 2));
  Install();
  ASSERT_EQ(1u, fakes_.desktop.wallpapers.size());
  EXPECT_EQ(disk_.path() + "Walp.bmp", fakes_.desktop.wallpapers[0]);
}

TEST_F(FullDiskTest, ACodecSaveThatFailsLeavesTheFileItWouldReplace) {
  const std::string picture = disk_.path() + "big.png";
  WriteFileBytes(picture, GradientPicture(FIF_PNG, 800, 600, 90));
  PictureCodec& codec = SystemPictureCodec();
  std::unique_ptr<Picture> decoded = codec.Load(FIF_PNG, picture);
  ASSERT_NE(nullptr, decoded);

  const std::string target = disk_.path() + "Walp.bmp";
  WriteFileBytes(target, "a bitmap shown on the desktop");
  EXPECT_EQ("No space left on device", decoded->SaveBmp(target).message());
  EXPECT_EQ("a bitmap shown on the desktop", ReadFileBytes(target));
  EXPECT_EQ((std::set<std::string>{"big.png", "Walp.bmp"}), Listing(disk_.path()));

  // With room again it replaces the file in one step.
  ASSERT_EQ(0, std::remove(picture.c_str()));
  std::unique_ptr<Picture> small;
  {
    ScopedTempDir elsewhere;
    WriteFileBytes(elsewhere.Join("small.png"), GradientPicture(FIF_PNG, 100, 80, 90));
    small = codec.Load(FIF_PNG, elsewhere.Join("small.png"));
  }
  ASSERT_NE(nullptr, small);
  EXPECT_TRUE(small->SaveBmp(target).ok());
  EXPECT_EQ(54u + 100u * 80u * 3u, ReadFileBytes(target).size());
  EXPECT_EQ((std::set<std::string>{"Walp.bmp"}), Listing(disk_.path()));
}

TEST_F(FullDiskTest, ADownloadThatDoesNotFitSaysWhyInTheRunRecord) {
  FakeInternet internet;
  internet.bodies["http://site/big.jpg"] = std::string(2 << 20, 'x');
  RunRecord record;
  RunRecorder recorder(record);
  const Reporter reporter = MakeReporter();
  const std::function<int64_t()> clock = [] { return int64_t{0}; };
  Downloader downloader(internet, clock, reporter, recorder, CrawlMode::kRun);
  downloader.SetTimeLimit(60);
  std::vector<char> buffer(64 * 1024);
  const std::string temp = disk_.path() + "temp.file";
  EXPECT_EQ(0, downloader.Download(buffer.data(), static_cast<int>(buffer.size()),
                                   "http://site/big.jpg", temp));
  EXPECT_EQ("fetching http://site/big.jpg failed: the received data could not be written to " +
                temp + ": No space left on device",
            record.reason);
}

}  // namespace
