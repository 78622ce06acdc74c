// Walp.bmp handed to the desktop: as it is, or as a copy of the desktop's own
// that is kept or removed by what the desktop did with it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/diagnostics.h"
#include "app/wallpaper_fetcher.h"
#include "support/test_support.h"
#include "support/tmpfs_mount.h"

namespace {

class InstallationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fetcher_ = std::make_unique<WallpaperFetcher>(fakes_.Get(), 1);
    fetcher_->m_yDebug = 1;
    fetcher_->m_ySuppressMessages = 0;
    fetcher_->m_strBmpFileName = Walp();
  }
  void TearDown() override {
    fetcher_.reset();
    SetTraceConsole(nullptr);
  }

  std::string Walp() const { return dir_.Join("Walp.bmp"); }

  // Walp.bmp replaced whole, as the conversion writes it.
  void Convert(const std::string& bytes) {
    WriteFileBytes(Walp() + ".new", bytes);
    ASSERT_EQ(0, std::rename((Walp() + ".new").c_str(), Walp().c_str()));
  }

  // Installs Walp.bmp; returns the file the desktop's setting was given.
  std::string Install() {
    fakes_.desktop.wallpapers.clear();
    fetcher_->SetWallpaper();
    return fakes_.desktop.wallpapers.size() == 1 ? fakes_.desktop.wallpapers[0] : "";
  }

  std::vector<std::string> CopiesLeft(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  ScopedTempDir dir_;
  FakePlatform fakes_;
  std::unique_ptr<WallpaperFetcher> fetcher_;
};

TEST_F(InstallationTest, ADesktopWithoutCopiesIsHandedWalpBmpAndFailuresAreTraced) {
  Convert("a bitmap");
  EXPECT_EQ(Walp(), Install());
  EXPECT_EQ("", fakes_.console.written);

  fakes_.desktop.failure = "gsettings: exit status 1";
  EXPECT_EQ(Walp(), Install());
  EXPECT_EQ("strWallpaperError.data() = gsettings: exit status 1\n", fakes_.console.written);
  EXPECT_TRUE(fakes_.boxes.boxes.empty());

  fetcher_->m_yDebug = 0;
  fakes_.console.written.clear();
  EXPECT_EQ(Walp(), Install());
  EXPECT_EQ("", fakes_.console.written);
}

TEST_F(InstallationTest, ADesktopCopyOutlivesWalpBmpAndOnlyTheOneShownIsKept) {
  const std::string copies = dir_.Join("data/wallpaper-fetcher/");
  fakes_.desktop.copy_folder = copies;
  Convert("first picture");
  EXPECT_EQ(copies + "wallpaper-1.bmp", Install());
  EXPECT_EQ("first picture", ReadFileBytes(copies + "wallpaper-1.bmp"));
  struct stat bitmap_st, copy_st;
  ASSERT_EQ(0, ::stat(Walp().c_str(), &bitmap_st));
  ASSERT_EQ(0, ::stat((copies + "wallpaper-1.bmp").c_str(), &copy_st));
  EXPECT_EQ(bitmap_st.st_ino, copy_st.st_ino);  // a link on the same file system

  // The next wallpaper under a new name; the one the desktop had is gone.
  Convert("second picture");
  EXPECT_EQ(copies + "wallpaper-2.bmp", Install());
  EXPECT_EQ(std::vector<std::string>{"wallpaper-2.bmp"}, CopiesLeft(copies));

  // A failed conversion deletes Walp.bmp: the desktop's picture stays.
  std::remove(Walp().c_str());
  EXPECT_EQ("second picture", ReadFileBytes(copies + "wallpaper-2.bmp"));

  // A desktop that refuses the new copy keeps showing the earlier one.
  Convert("third picture");
  fakes_.desktop.failure = "pcmanfm: exit status 1";
  EXPECT_EQ(copies + "wallpaper-3.bmp", Install());
  EXPECT_EQ(std::vector<std::string>{"wallpaper-2.bmp"}, CopiesLeft(copies));
  fakes_.desktop.failure = "";

  // No folder can be made for the copies: the desktop gets Walp.bmp.
  fakes_.desktop.copy_folder = Walp() + "/";
  EXPECT_EQ(Walp(), Install());
  EXPECT_EQ(std::vector<std::string>{"wallpaper-2.bmp"}, CopiesLeft(copies));

  // Another file system: a copy, not a link.
  ScopedTmpfs disk(16 << 20);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  fakes_.desktop.copy_folder = disk.path() + "wallpaper-fetcher/";
  const std::string other = disk.path() + "wallpaper-fetcher/wallpaper-1.bmp";
  EXPECT_EQ(other, Install());
  EXPECT_EQ("third picture", ReadFileBytes(other));
  ASSERT_EQ(0, ::stat(Walp().c_str(), &bitmap_st));
  ASSERT_EQ(0, ::stat(other.c_str(), &copy_st));
  EXPECT_NE(bitmap_st.st_dev, copy_st.st_dev);
}

}  // namespace
