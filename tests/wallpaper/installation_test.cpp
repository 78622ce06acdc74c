// Walp.bmp handed to the desktop: as it is, or as a copy of the desktop's own
// that is kept or removed by what the desktop did with it.
#include "wallpaper/installation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "config/ini_document.h"
#include "config/settings.h"
#include "support/test_support.h"
#include "support/tmpfs_mount.h"

namespace {

TEST(InstallationTest, ADesktopCopyOutlivesWalpBmpAndOnlyTheOneShownIsKept) {
  ScopedTempDir dir;
  FakePlatform fakes;
  bool debug = true;
  WallpaperLook look;
  const std::string walp = dir.Join("Walp.bmp");
  // Walp.bmp replaced whole, as the conversion writes it.
  const auto convert = [&walp](const std::string& bytes) {
    WriteFileBytes(walp + ".new", bytes);
    ASSERT_EQ(0, std::rename((walp + ".new").c_str(), walp.c_str()));
  };
  // Installs Walp.bmp; returns the file the desktop's setting was given.
  const auto install = [&]() -> std::string {
    fakes.desktop.wallpapers.clear();
    const Reporter reporter(fakes.console, fakes.boxes, debug, false, "wallpaper-fetcher");
    (void)InstallWallpaper(walp, look, fakes.desktop, reporter);
    return fakes.desktop.wallpapers.size() == 1 ? fakes.desktop.wallpapers[0] : "";
  };

  const std::string copies = dir.Join("data/wallpaper-fetcher/");
  fakes.desktop.copy_folder = copies;
  convert("first picture");
  // The style of Sites.ini reaches the desktop; one it cannot read is absent.
  IniDocument ini;
  ini.Parse("[General]\nWallpaperStyle=Fit\nWallpaperBackground=#102030\n");
  look = ReadGeneralSettings(ini).look;
  EXPECT_EQ(copies + "wallpaper-1.bmp", install());
  ASSERT_EQ(1u, fakes.desktop.looks.size());
  EXPECT_EQ(WallpaperStyle::kFit, fakes.desktop.looks[0].style);
  EXPECT_EQ(0x102030u, fakes.desktop.looks[0].background);
  ini.Parse("[General]\nWallpaperStyle=zoom\n");
  look = ReadGeneralSettings(ini).look;
  EXPECT_EQ("first picture", ReadFileBytes(copies + "wallpaper-1.bmp"));
  struct stat bitmap_st, copy_st;
  ASSERT_EQ(0, ::stat(walp.c_str(), &bitmap_st));
  ASSERT_EQ(0, ::stat((copies + "wallpaper-1.bmp").c_str(), &copy_st));
  EXPECT_EQ(bitmap_st.st_ino, copy_st.st_ino);  // a link on the same file system

  // The next wallpaper under a new name; the one the desktop had is gone.
  convert("second picture");
  EXPECT_EQ(copies + "wallpaper-2.bmp", install());
  EXPECT_EQ(WallpaperStyle::kDesktops, fakes.desktop.looks.back().style);
  EXPECT_FALSE(Exists(copies + "wallpaper-1.bmp"));

  // A failed conversion deletes Walp.bmp: the desktop's picture stays.
  std::remove(walp.c_str());
  EXPECT_EQ("second picture", ReadFileBytes(copies + "wallpaper-2.bmp"));

  // A desktop that refuses the new copy keeps showing the earlier one; what
  // failed is traced in debug mode only.
  convert("third picture");
  fakes.desktop.failure = "pcmanfm: exit status 1";
  EXPECT_EQ(copies + "wallpaper-3.bmp", install());
  EXPECT_FALSE(Exists(copies + "wallpaper-3.bmp"));
  EXPECT_TRUE(Exists(copies + "wallpaper-2.bmp"));
  EXPECT_EQ("strWallpaperError.data() = pcmanfm: exit status 1\n", fakes.console.written);
  debug = false;
  fakes.console.written.clear();
  install();
  EXPECT_EQ("", fakes.console.written);
  EXPECT_TRUE(fakes.boxes.boxes.empty());
  fakes.desktop.failure = "";

  // No folder for the copies (none wanted, or none can be made): the
  // desktop gets Walp.bmp.
  fakes.desktop.copy_folder = walp + "/";
  EXPECT_EQ(walp, install());
  EXPECT_TRUE(Exists(copies + "wallpaper-2.bmp"));

  // Another file system: a copy, not a link.
  ScopedTmpfs disk(16 << 20);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  fakes.desktop.copy_folder = disk.path() + "wallpaper-fetcher/";
  const std::string other = disk.path() + "wallpaper-fetcher/wallpaper-1.bmp";
  EXPECT_EQ(other, install());
  EXPECT_EQ("third picture", ReadFileBytes(other));
  ASSERT_EQ(0, ::stat(walp.c_str(), &bitmap_st));
  ASSERT_EQ(0, ::stat(other.c_str(), &copy_st));
  EXPECT_NE(bitmap_st.st_dev, copy_st.st_dev);
}

}  // namespace
