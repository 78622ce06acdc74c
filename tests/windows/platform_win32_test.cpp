// The Win32 side of the seam where it meets the user: message boxes, the
// wallpaper call, the Windows file rules and the encodings of Sites.ini.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "app/wallpaper_fetcher.h"
#include "config/ini_document.h"
#include "platform/console/message_box.h"
#include "platform/console/message_box_win32.h"
#include "platform/desktop/desktop.h"
#include "platform/filesystem/filesystem.h"
#include "platform/filesystem/user_files.h"
#include "support/win_test_support.h"

namespace {

std::string Utf8(const std::wstring& wide) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), &text[0], n,
                          nullptr, nullptr);
  return text;
}

// Shows a box on a thread of its own, as the program's main thread would,
// and reads it from this one before pressing OK.
BoxContent ShowAndRead(bool error, const std::string& caption, const std::string& text) {
  std::thread shower([&] {
    if (error) {
      WindowMessageBoxes().ShowError(caption, text);
    } else {
      WindowMessageBoxes().ShowInfo(caption, text);
    }
  });
  BoxContent content;
  HWND box = WaitForWindow(::GetCurrentProcessId(), caption, 30000);
  EXPECT_NE(box, nullptr) << "no box captioned " << caption;
  if (box != nullptr) {
    content = ReadMessageBox(box);
    CloseMessageBox(box);
  }
  shower.join();  // returns only once the box is closed
  return content;
}

TEST(MessageBoxes, InformationHasNoIconAndTheErrorBoxHasOne) {
  const BoxContent info = ShowAndRead(false, "Message", "Press any key, one step is done");
  EXPECT_EQ(info.caption, "Message");
  EXPECT_EQ(info.text, "Press any key, one step is done");
  EXPECT_FALSE(info.has_icon);

  const BoxContent error =
      ShowAndRead(true, "wallpaper-fetcher", "Can't find file on the server...");
  EXPECT_EQ(error.caption, "wallpaper-fetcher");
  EXPECT_EQ(error.text, "Can't find file on the server...");
  EXPECT_TRUE(error.has_icon);

  // Nobody answers: the box closes by itself (the program's boxes after 15
  // minutes, this one after one second) and says so; an answered one does not.
  EXPECT_TRUE(ShowTimedMessageBox("Unanswered", "Closes by itself", MB_OK | MB_ICONERROR, 1000));
  bool closed_itself = true;
  std::thread shower(
      [&] { closed_itself = ShowTimedMessageBox("Answered", "Closed with OK", MB_OK, 600000); });
  HWND box = WaitForWindow(::GetCurrentProcessId(), "Answered", 30000);
  ASSERT_NE(box, nullptr);
  CloseMessageBox(box);
  shower.join();
  EXPECT_FALSE(closed_itself);
}

TEST(Desktop, IsHandedACopyOfTheBitmapThatOutlivesWalpBmp) {
  ScopedTempDir dir;
  // The user's local data folder, for this test.
  char saved[MAX_PATH + 1] = {0};
  const DWORD saved_size = ::GetEnvironmentVariableA("LOCALAPPDATA", saved, sizeof saved);
  ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", dir.Join("local").c_str()));
  const std::string copies = dir.Join("local\\wallpaper-fetcher\\");

  FakePlatform fakes;
  Platform platform = fakes.Get();
  platform.desktop = &SystemDesktop();
  WallpaperFetcher fetcher(platform, 1);
  const std::string bitmap = dir.Join("Walp.bmp");
  fetcher.m_strBmpFileName = bitmap;
  // A 1x1 24-bit bitmap.
  std::string bytes(58, '\0');
  const unsigned char header[] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                                  0,   0,   0,  1, 0, 0, 0, 1, 0, 0, 0,  1, 0, 24, 0};
  std::copy(header, header + sizeof header, bytes.begin());
  // What the desktop shows and what the profile records, in UTF-8.
  auto shown = [] {
    wchar_t path[MAX_PATH + 1] = {0};
    EXPECT_TRUE(::SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, path, 0));
    return Utf8(path);
  };
  auto recorded = [] {
    wchar_t path[MAX_PATH + 1] = {0};
    DWORD size = sizeof path;
    ::RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"Wallpaper", RRF_RT_REG_SZ,
                   nullptr, path, &size);
    return Utf8(path);
  };

  WriteFileBytes(bitmap, bytes);
  fetcher.SetWallpaper();
  EXPECT_EQ(shown(), copies + "wallpaper-1.bmp");
  bytes[56] = '\x7f';  // the next picture
  WriteFileBytes(bitmap, bytes);
  fetcher.SetWallpaper();
  EXPECT_EQ(shown(), copies + "wallpaper-2.bmp");
  EXPECT_FALSE(Exists(copies + "wallpaper-1.bmp"));

  // A style is written where the wallpaper call reads it, before the call.
  auto desktop_value = [](const char* name) {
    char value[32] = "";
    DWORD size = sizeof value;
    ::RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", name, RRF_RT_REG_SZ, nullptr, value,
                   &size);
    return std::string(value);
  };
  const std::pair<WallpaperStyle, const char*> words[] = {
      {WallpaperStyle::kFill, "10 0"},   {WallpaperStyle::kFit, "6 0"},
      {WallpaperStyle::kStretch, "2 0"}, {WallpaperStyle::kCenter, "0 0"},
      {WallpaperStyle::kTile, "0 1"},    {WallpaperStyle::kSpan, "22 0"}};
  for (const auto& [style, expected] : words) {
    fetcher.m_WallpaperLook = {style, 0x102030};
    WriteFileBytes(bitmap, bytes);
    fetcher.SetWallpaper();
    EXPECT_EQ(expected, desktop_value("WallpaperStyle") + " " + desktop_value("TileWallpaper"))
        << WallpaperStyleName(style);
  }
  fetcher.m_WallpaperLook = {};

  // Without the folder the desktop is handed Walp.bmp itself.
  ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", nullptr));
  WriteFileBytes(bitmap, bytes);
  fetcher.SetWallpaper();
  EXPECT_EQ(shown(), bitmap);

  // Folders named outside ASCII and outside cp1252 too: the desktop and the
  // profile name the copy under them, not Walp.bmp, and it holds the picture.
  const std::string wide = dir.Join(u8"\u58c1\u7d19 \u30c4\u30fc\u30eb\\Bilder \u00e9t\u00e9\\");
  ASSERT_TRUE(MakeDirectories(wide).ok());
  ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", (wide + "local").c_str()));
  fetcher.m_strBmpFileName = wide + "Walp.bmp";
  bytes[56] = '\x3c';
  WriteFileBytes(fetcher.m_strBmpFileName, bytes);
  fetcher.SetWallpaper();
  const std::string wide_copy = wide + "local\\wallpaper-fetcher\\wallpaper-1.bmp";
  EXPECT_EQ(shown(), wide_copy);
  EXPECT_EQ(recorded(), wide_copy);
  EXPECT_EQ(ReadFileBytes(wide_copy), bytes);
  ::SetEnvironmentVariableA("LOCALAPPDATA", saved_size > 0 ? saved : nullptr);
}

TEST(FileRules, DrivesBackslashesAndReplacingFilesWhole) {
  EXPECT_EQ(GetDirOfPath("C:\\pics\\sunset.jpg"), "C:\\pics\\");
  EXPECT_EQ(GetDirOfPath("C:/pics/sunset.jpg"), "C:/pics/");
  EXPECT_EQ(GetDirOfPath("C:sunset.jpg"), "C:");
  EXPECT_EQ(GetDirOfPath("wallpaper-fetcher.exe"), "");
  EXPECT_TRUE(IsAbsolutePath("C:\\Sites.ini"));
  EXPECT_FALSE(IsAbsolutePath("C:"));
  EXPECT_FALSE(IsAbsolutePath("\\pics\\Sites.ini"));
  EXPECT_FALSE(IsPlainFileName("a\\b.jpg"));
  EXPECT_FALSE(IsPlainFileName("C:b.jpg"));
  EXPECT_TRUE(IsPlainFileName("b.jpg"));
  const std::string current = GetCurrentDir();
  ASSERT_FALSE(current.empty());
  EXPECT_EQ(current.back(), '\\');

  ScopedTempDir dir;
  const std::string target = dir.Join("Sites.ini");
  WriteFileBytes(target, "old");
  EXPECT_TRUE(ReplaceFileAtomically(target, "new\r\n").ok());
  EXPECT_EQ(ReadFileBytes(target), "new\r\n");
  // A failed writer leaves the file as it was and no temporary beside it.
  EXPECT_FALSE(
      ReplaceFileWhole(target, [](int fd) { return WriteAllBytes(fd, "half", 4) && false; }).ok());
  EXPECT_EQ(ReadFileBytes(target), "new\r\n");
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA(dir.Join("*").c_str(), &found);
  int files = 0;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  EXPECT_EQ(files, 1);
  // What a killed save left an hour ago is removed by the next save; a
  // temporary written just now (a save in progress) and files of other names
  // stay.
  auto written_an_hour_ago = [&](const std::string& name) {
    WriteFileBytes(dir.Join(name), "left");
    const HANDLE file = ::CreateFileA(dir.Join(name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    t.QuadPart -= 3600ULL * 10000000;
    const FILETIME then{t.LowPart, t.HighPart};
    EXPECT_TRUE(::SetFileTime(file, nullptr, nullptr, &then));
    ::CloseHandle(file);
  };
  written_an_hour_ago("Sites.ini.1a2b-3c.tmp");
  written_an_hour_ago("Sites.ini.backup.tmp");
  WriteFileBytes(dir.Join("Sites.ini.5d-6e.tmp"), "writing");
  EXPECT_TRUE(ReplaceFileAtomically(target, "new\r\n").ok());
  EXPECT_FALSE(Exists(dir.Join("Sites.ini.1a2b-3c.tmp")));
  EXPECT_TRUE(Exists(dir.Join("Sites.ini.backup.tmp")));
  EXPECT_TRUE(Exists(dir.Join("Sites.ini.5d-6e.tmp")));
  // A read-only file is left alone.
  ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ReplaceFileAtomically(target, "other").message(), "the file is marked read-only");
  EXPECT_EQ(ReadFileBytes(target), "new\r\n");
  ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  // Renaming replaces an existing file, as the crawl's rename of temp.file needs.
  WriteFileBytes(dir.Join("temp.file"), "picture");
  EXPECT_TRUE(RenameFile(dir.Join("temp.file"), target).ok());
  EXPECT_EQ(ReadFileBytes(target), "picture");
  EXPECT_FALSE(Exists(dir.Join("temp.file")));
}

TEST(SitesIni, Utf16WithItsMarkValidUtf8AsUtf8AndAnythingElseInTheAnsiCodePage) {
  ASSERT_EQ(::GetACP(), static_cast<UINT>(CP_UTF8));  // the manifest's
  ScopedTempDir base;
  const std::string dir = base.Join(u8"壁紙\\");
  ASSERT_TRUE(::CreateDirectoryA(dir.c_str(), nullptr));
  const std::string path = dir + "Sites.ini";
  const std::string save_path = u8"C:\\Fonds d'écran\\";
  const std::string utf8 = "[General]\r\nSavePath=" + save_path + "\r\n";
  IniDocument ini;
  ini.SetFileName(path);
  for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
    WriteFileBytes(path, mark + utf8 + "\r\n");
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(ini.GetValue("General", "SavePath"), save_path);
    ini.SetValue("General", "Recent0", u8"http://a/é.jpg", true);
    ASSERT_TRUE(ini.Save().ok());
    EXPECT_EQ(ReadFileBytes(path), mark + utf8 + u8"Recent0=http://a/é.jpg\r\n\r\n");
  }
  // Not UTF-8: the system's ANSI code page (Western here), saved back in it.
  const std::string cp1252 =
      "[General]\r\nSavePath=C:\\Fonds d'\xE9"
      "cran\\\r\n";
  WriteFileBytes(path, cp1252 + "\r\n");
  ASSERT_TRUE(ini.Load());
  EXPECT_EQ(ini.GetValue("General", "SavePath"), save_path);
  ini.SetValue("General", "Recent0", u8"http://a/é.jpg", true);
  ASSERT_TRUE(ini.Save().ok());
  EXPECT_EQ(ReadFileBytes(path), cp1252 + "Recent0=http://a/\xE9.jpg\r\n\r\n");
  // A name that code page cannot spell is not lost: the file becomes UTF-8.
  ini.SetValue("General", "Recent0", u8"http://a/壁.jpg", true);
  ASSERT_TRUE(ini.Save().ok());
  EXPECT_EQ(ReadFileBytes(path), utf8 + u8"Recent0=http://a/壁.jpg\r\n\r\n");
  // UTF-16 with its mark, either byte order, saved back in it. Its text mode
  // works on characters: U+0D0A and U+0A0D hold the bytes 0D 0A in one order
  // or the other, U+011A a 1A; U+1F304 is a surrogate pair.
  const std::string wide = utf8 + u8"Title=\u0D0A\u0A0D\u011A\U0001F304\r\n";
  for (const bool big_endian : {false, true}) {
    SCOPED_TRACE(big_endian ? "UTF-16 BE" : "UTF-16 LE");
    WriteFileBytes(path, Utf16FileBytes(wide + "\r\n", big_endian));
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(ini.GetValue("General", "SavePath"), save_path);
    EXPECT_EQ(ini.GetValue("General", "Title"), u8"\u0D0A\u0A0D\u011A\U0001F304");
    ini.SetValue("General", "Recent0", u8"http://a/壁.jpg", true);
    ASSERT_TRUE(ini.Save().ok());
    EXPECT_EQ(ReadFileBytes(path),
              Utf16FileBytes(wide + u8"Recent0=http://a/壁.jpg\r\n\r\n", big_endian));
    // Not whole UTF-16 (an odd byte count, a surrogate without its pair): read
    // as bytes, which hold no [General] section.
    const std::string high = big_endian ? std::string("\xD8\x00", 2) : std::string("\x00\xD8", 2);
    const std::string low = big_endian ? std::string("\xDC\x00", 2) : std::string("\x00\xDC", 2);
    const std::string head = Utf16FileBytes(wide, big_endian);
    const std::string tail = Utf16FileBytes("\r\n", big_endian).substr(2);
    for (const std::string& broken : {head + "x", head + high + tail, head + low + tail}) {
      WriteFileBytes(path, broken);
      ASSERT_TRUE(ini.Load());
      EXPECT_FALSE(ini.SectionExists("General"));
    }
  }
}

}  // namespace
