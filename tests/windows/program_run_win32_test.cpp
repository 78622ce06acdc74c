// The real wallpaper-fetcher.exe run as a process: the single-instance
// guard, a whole run against a loopback gallery, and the first start
// without Sites.ini.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/filesystem/user_files.h"
#include "support/win_test_support.h"

namespace {

constexpr DWORD kRunTimeoutMs = 120000;

const char kQuietIni[] =
    "[General]\r\nSuppressMessages=1\r\nDebugMode=1\r\nTryNumber=0\r\nNumOfSites=1\r\n";

// A window of this process that can hold the foreground, so that a window
// brought forward by another process is seen to take it.
class ForegroundProbe {
 public:
  ForegroundProbe() {
    window_ = ::CreateWindowExA(0, "STATIC", "probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100,
                                100, nullptr, nullptr, nullptr, nullptr);
  }
  ~ForegroundProbe() {
    if (window_ != nullptr) ::DestroyWindow(window_);
  }
  ForegroundProbe(const ForegroundProbe&) = delete;
  ForegroundProbe& operator=(const ForegroundProbe&) = delete;
  HWND window() const { return window_; }

 private:
  HWND window_;
};

// Waits, handling this thread's window messages (the probe's deactivation
// among them), until `window` is the foreground window or `timeout_ms` pass.
// Activation across processes goes through messages: it is not at once.
HWND WaitForForeground(HWND window, DWORD timeout_ms) {
  const ULONGLONG end = ::GetTickCount64() + timeout_ms;
  for (;;) {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
    const HWND foreground = ::GetForegroundWindow();
    if (foreground == window || ::GetTickCount64() >= end) return foreground;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
}

TEST(SingleInstance, ASecondStartGivesWayAndBringsTheFirstForward) {
  ScopedTempDir dir;
  const std::string exe = CopyFetcherInto(dir.path());
  // No [General]: the first instance stays on its fatal box.
  WriteFileBytes(dir.Join("Sites.ini"), "[Site1]\r\n");
  Process first;
  ASSERT_TRUE(first.Start(exe, {}, dir.path()));
  HWND box = WaitForWindow(first.id(), "wallpaper-fetcher", 60000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ReadMessageBox(box).text, "Wrong ini file, no general section");
  // Its record was written before the box, which closes by itself.
  const std::string runs_log = UserStateDir() + "runs.log";
  std::string runs = ReadFileBytes(runs_log);
  EXPECT_NE(runs.find(": nothing changed: Wrong ini file, no general section; shown in an error "
                      "box that closes by itself after 15 minutes\r\n"),
            std::string::npos)
      << runs;

  ForegroundProbe probe;
  ::SetForegroundWindow(probe.window());
  ASSERT_EQ(WaitForForeground(probe.window(), 30000), probe.window());

  Process second;
  ASSERT_TRUE(second.Start(exe, {}, dir.path()));
  EXPECT_EQ(second.Wait(kRunTimeoutMs), 0);
  EXPECT_EQ(WaitForForeground(box, 30000), box);
  // The start that gave way left a line: which copy runs, since when.
  runs = ReadFileBytes(runs_log);
  EXPECT_NE(runs.find(" runs (process " + std::to_string(first.id()) + "), started 2"),
            std::string::npos)
      << runs;
  EXPECT_NE(runs.find("  gave way at once: another copy of "), std::string::npos) << runs;
  // The console program beside it is the same program: it gives way too.
  Process console;
  ASSERT_TRUE(console.Start(dir.Join("wallpaper-fetcher.com"), {}, dir.path()));
  EXPECT_EQ(console.Wait(kRunTimeoutMs), 0);
  EXPECT_FALSE(Exists(dir.Join("log.log")));
  EXPECT_EQ(ReadFileBytes(dir.Join("Sites.ini")), "[Site1]\r\n");

  // Another program file is another program: it runs beside the first.
  ScopedTempDir other_dir;
  const std::string other = CopyFetcherInto(other_dir.path());
  WriteFileBytes(other_dir.Join("Sites.ini"), kQuietIni);
  Process beside;
  ASSERT_TRUE(beside.Start(other, {}, other_dir.path()));
  EXPECT_EQ(beside.Wait(kRunTimeoutMs), 0);
  EXPECT_TRUE(Exists(other_dir.Join("log.log")));

  // Killed, the first instance leaves no claim behind: the next start runs.
  first.Kill();
  WriteFileBytes(dir.Join("Sites.ini"), kQuietIni);
  Process after;
  ASSERT_TRUE(after.Start(exe, {}, dir.path()));
  EXPECT_EQ(after.Wait(kRunTimeoutMs), 0);
  const std::string log = ReadFileBytes(dir.Join("log.log"));
  EXPECT_NE(log.find("m_iTryNumber = 0\r\n"), std::string::npos) << log;
}

// `ini` without its history lines ("RecentN=...").
std::string WithoutHistory(const std::string& ini) {
  std::string kept;
  for (size_t start = 0; start < ini.size();) {
    size_t end = ini.find('\n', start);
    end = end == std::string::npos ? ini.size() : end + 1;
    if (ini.compare(start, 6, "Recent") != 0) kept += ini.substr(start, end - start);
    start = end;
  }
  return kept;
}

TEST(WholeRun, FetchesThePictureFromALoopbackGalleryAndMakesTheWallpaper) {
  const std::string picture = ReadFileBytes(SourceFile("demo/gallery/files/forest-1280x720.jpg"));
  ASSERT_GT(picture.size(), 1000u);
  LocalHttpServer server;
  server.ServeBytes("/", "<p><a href=\"/pics/forest.jpg\">forest</a></p>");
  server.ServeBytes("/pics/forest.jpg", picture);
  ASSERT_TRUE(server.Start());

  ScopedTempDir dir;
  const std::string exe = CopyFetcherInto(dir.path());
  const std::string url = server.Url("/pics/forest.jpg");
  WriteFileBytes(dir.Join("Sites.ini"),
                 "[General]\r\nSuppressMessages=1\r\nDebugMode=1\r\nTryNumber=2\r\n"
                 "KeepInHistory=5\r\nNumOfSites=1\r\nNotMakeAWallpaper=0\r\nDeleteLast=0\r\n"
                 "SavePath=\r\nMaxWallpWidth=0\r\nMaxWallpHeight=0\r\n\r\n[Site1]\r\n"
                 "Name=Loopback\r\nSecondsToDownload=30\r\nBegin=" +
                     server.Url("/") + "\r\nStep1Get=<a href=\"/(pics/[^\"]+)\">\r\nStep1Go=" +
                     server.Url("/") + "$_1_$\r\n");
  Process run;
  ASSERT_TRUE(run.Start(exe, {}, dir.path(), dir.Join("stdout.txt")));
  ASSERT_EQ(run.Wait(kRunTimeoutMs), 0);

  EXPECT_TRUE(ReadFileBytes(dir.Join("forest.jpg")) == picture);
  const std::string bitmap = ReadFileBytes(dir.Join("Walp.bmp"));
  ASSERT_GE(bitmap.size(), 54u);
  EXPECT_EQ(bitmap.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<unsigned char>(bitmap[18]) | static_cast<unsigned char>(bitmap[19]) << 8,
            1280);
  EXPECT_EQ(static_cast<unsigned char>(bitmap[22]) | static_cast<unsigned char>(bitmap[23]) << 8,
            720);
  EXPECT_EQ(bitmap[28], 24);
  EXPECT_EQ(bitmap.size(), 54u + 1280u * 3u * 720u);

  const std::string ini = ReadFileBytes(dir.Join("Sites.ini"));
  EXPECT_NE(ini.find("Recent4=" + url + "\r\n"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("\n\n"), std::string::npos);  // every line ends in CR LF

  const std::string log = ReadFileBytes(dir.Join("log.log"));
  EXPECT_NE(log.find("--------- "), std::string::npos);
  EXPECT_NE(log.find("m_iNumOfSites = 1\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Press any key, all steps are done\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("m_strWalpFileName.data() = " + dir.Join("forest.jpg") + "\r\n"),
            std::string::npos)
      << log;
  // Standard output, redirected, gets the same lines with LF ends.
  const std::string out = ReadFileBytes(dir.Join("stdout.txt"));
  EXPECT_NE(out.find("m_iNumOfSites = 1\n"), std::string::npos) << out;
  EXPECT_EQ(server.RequestCount("/pics/forest.jpg"), 1);

  // The user's profile names the desktop's copy: the wallpaper outlasts the
  // session.
  char value[MAX_PATH + 1] = "";
  DWORD size = sizeof value;
  ASSERT_EQ(::RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "Wallpaper", RRF_RT_REG_SZ,
                           nullptr, value, &size),
            ERROR_SUCCESS);
  const std::string copies = std::string(std::getenv("LOCALAPPDATA")) + "\\wallpaper-fetcher\\";
  EXPECT_EQ(std::string(value).compare(0, copies.size(), copies), 0) << value;
  EXPECT_TRUE(Exists(value)) << value;

  // Started where no screen shows it (a window station of its own, as a task
  // that runs whether the user is logged on or not), the run leaves the
  // desktop as it was and keeps the picture for a later run, and says so.
  const HWINSTA visible = ::GetProcessWindowStation();
  const HWINSTA hidden =
      ::CreateWindowStationW(L"fetcher-test-hidden", 0, WINSTA_ALL_ACCESS, nullptr);
  ASSERT_NE(hidden, nullptr);
  ASSERT_TRUE(::SetProcessWindowStation(hidden));
  const HDESK desktop = ::CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  ASSERT_TRUE(::SetProcessWindowStation(visible));
  ASSERT_NE(desktop, nullptr);
  WriteFileBytes(dir.Join("Sites.ini"), WithoutHistory(ini));
  ::DeleteFileA(dir.Join("forest.jpg").c_str());
  Process unseen;
  ASSERT_TRUE(unseen.Start(exe, {}, dir.path(), "", "fetcher-test-hidden\\Default"));
  EXPECT_EQ(unseen.Wait(kRunTimeoutMs), 0);
  EXPECT_EQ(server.RequestCount("/pics/forest.jpg"), 2);
  EXPECT_EQ(ReadFileBytes(dir.Join("Sites.ini")).find(url), std::string::npos);
  char after[MAX_PATH + 1] = "";
  size = sizeof after;
  ASSERT_EQ(::RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "Wallpaper", RRF_RT_REG_SZ,
                           nullptr, after, &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(after, value);
  Process status;
  ASSERT_TRUE(status.Start(exe, {"--status"}, dir.path(), dir.Join("status.txt")));
  EXPECT_EQ(status.Wait(kRunTimeoutMs), 0);
  const std::string said = ReadFileBytes(dir.Join("status.txt"));
  EXPECT_NE(said.find("not shown: no screen shows this run: its window station "
                      "fetcher-test-hidden is not interactive; kept for a later run"),
            std::string::npos)
      << said;

  // A fatal error there waits on no box that nobody could close: the run
  // ends at once, its message on the standard error it was given, and its
  // record names no box.
  WriteFileBytes(dir.Join("Sites.ini"), "[Site1]\r\n");
  Process broken;
  ASSERT_TRUE(
      broken.Start(exe, {}, dir.path(), dir.Join("broken.txt"), "fetcher-test-hidden\\Default"));
  EXPECT_EQ(broken.Wait(kRunTimeoutMs), 101);
  EXPECT_EQ(ReadFileBytes(dir.Join("broken.txt")),
            "wallpaper-fetcher: Wrong ini file, no general section\n");
  Process after_broken;
  ASSERT_TRUE(after_broken.Start(exe, {"--status"}, dir.path(), dir.Join("status.txt")));
  EXPECT_EQ(after_broken.Wait(kRunTimeoutMs), 0);
  const std::string records = ReadFileBytes(dir.Join("status.txt"));
  const std::string record =
      dir.Join("Sites.ini") + ": nothing changed: Wrong ini file, no general section";
  const size_t at = records.find(record);
  ASSERT_NE(at, std::string::npos) << records;
  EXPECT_TRUE(records.compare(at + record.size(), 1, "\r") == 0 ||
              records.compare(at + record.size(), 1, "\n") == 0)
      << records;
  ::CloseDesktop(desktop);
  ::CloseWindowStation(hidden);
}

TEST(AnyFolderName, TheProgramsFolderAndSavePathWithSitesIniInEachEncoding) {
  const std::string picture = ReadFileBytes(SourceFile("demo/gallery/files/forest-1280x720.jpg"));
  LocalHttpServer server;
  server.ServeBytes("/", "<p><a href=\"/pics/forest.jpg\">forest</a></p>");
  server.ServeBytes("/pics/forest.jpg", picture);
  ASSERT_TRUE(server.Start());

  // A program folder that no ANSI code page spells whole, a SavePath that
  // the Western one does.
  ScopedTempDir base;
  const std::string dir = base.Join(u8"壁紙 Wallpapers\\");
  const std::string save = base.Join(u8"Fonds d'écran\\");
  ASSERT_TRUE(::CreateDirectoryA(dir.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(save.c_str(), nullptr));
  const std::string exe = CopyFetcherInto(dir);
  ScopedTempDir elsewhere;  // the current folder holds no Sites.ini

  const auto sites_ini = [&server](const std::string& save_path) {
    return "[General]\r\nSuppressMessages=1\r\nDebugMode=1\r\nTryNumber=2\r\nKeepInHistory=5\r\n"
           "NumOfSites=1\r\nNotMakeAWallpaper=0\r\nDeleteLast=0\r\nSavePath=" +
           save_path +
           "\r\nMaxWallpWidth=0\r\nMaxWallpHeight=0\r\n\r\n[Site1]\r\nName=Loopback\r\n"
           "SecondsToDownload=30\r\nBegin=" +
           server.Url("/") +
           "\r\nStep1Get=<a href=\"/(pics/[^\"]+)\">\r\nStep1Go=" + server.Url("/") +
           "$_1_$\r\n\r\n";
  };
  std::string cp1252_save = save;  // the temporary folder's own path is ASCII
  cp1252_save.replace(cp1252_save.find(u8"é"), 2, "\xE9");
  enum class Utf16 { kNo, kLittleEndian, kBigEndian };
  struct Case {
    const char* what;
    std::string bytes;
    bool named;  // given as the argument, else found beside the program
    Utf16 utf16;
  };
  const Case cases[] = {
      {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + sites_ini(save), true, Utf16::kNo},
      {"UTF-8 without", sites_ini(save), false, Utf16::kNo},
      {"the ANSI code page (cp1252)", sites_ini(cp1252_save), true, Utf16::kNo},
      {"UTF-16 LE", Utf16FileBytes(sites_ini(save), false), true, Utf16::kLittleEndian},
      {"UTF-16 BE", Utf16FileBytes(sites_ini(save), true), false, Utf16::kBigEndian},
  };
  const std::string ini = dir + "Sites.ini";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::DeleteFileA((save + "Walp.bmp").c_str());
    ::DeleteFileA((save + "forest.jpg").c_str());
    WriteFileBytes(ini, c.bytes);
    Process run;
    ASSERT_TRUE(run.Start(exe, c.named ? std::vector<std::string>{ini} : std::vector<std::string>{},
                          elsewhere.path()));
    ASSERT_EQ(run.Wait(kRunTimeoutMs), 0);
    EXPECT_EQ(ReadFileBytes(save + "Walp.bmp").substr(0, 2), "BM");
    EXPECT_TRUE(ReadFileBytes(save + "forest.jpg") == picture);
    // Saved back in the encoding it was read in: the history added, every
    // other byte as it was.
    // UTF-16 is compared as the text it holds, after checking that it is
    // exactly that text's UTF-16, mark included.
    const std::string saved = ReadFileBytes(ini);
    const bool big_endian = c.utf16 == Utf16::kBigEndian;
    const std::string text = c.utf16 == Utf16::kNo ? saved : Utf8OfUtf16File(saved, big_endian);
    const std::string original = c.utf16 == Utf16::kNo ? c.bytes : sites_ini(save);
    if (c.utf16 != Utf16::kNo) {
      EXPECT_EQ(Utf16FileBytes(text, big_endian), saved);
    }
    EXPECT_NE(text.find("Recent4=" + server.Url("/pics/forest.jpg") + "\r\n"), std::string::npos)
        << text;
    EXPECT_EQ(WithoutHistory(text), original);
  }

  // A site added to the UTF-16 file Notepad writes: it stays UTF-16, one
  // site more, the rest as it was.
  const std::string utf16 = Utf16FileBytes(sites_ini(save), false);
  WriteFileBytes(ini, utf16);
  Process suggest;
  ASSERT_TRUE(suggest.Start(exe, {"--suggest", server.Url("/"), "--add", ini}, elsewhere.path(),
                            base.Join("suggest.txt")));
  EXPECT_EQ(suggest.Wait(kRunTimeoutMs), 0) << ReadFileBytes(base.Join("suggest.txt"));
  const std::string added = ReadFileBytes(ini);
  const std::string text = Utf8OfUtf16File(added, false);
  EXPECT_EQ(Utf16FileBytes(text, false), added);
  std::string expected_start = sites_ini(save);
  expected_start.replace(expected_start.find("NumOfSites=1"), 12, "NumOfSites=2");
  EXPECT_EQ(text.compare(0, expected_start.size(), expected_start), 0) << text;
  EXPECT_NE(text.find("[Site2]\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Begin=" + server.Url("/") + "\r\n", expected_start.size()),
            std::string::npos)
      << text;
}

TEST(FirstStart, WithoutSitesIniTheStarterOneIsWrittenForTheUserAndTheFatalBoxShown) {
  ScopedTempDir dir;
  ScopedTempDir elsewhere;  // the current folder holds no Sites.ini either
  ScopedTempDir profile;    // the user's folders, of this test alone
  const std::string exe = CopyFetcherInto(dir.path());
  const auto set = [](const char* name, const std::string& value) {
    char old[MAX_PATH] = "";
    ::GetEnvironmentVariableA(name, old, MAX_PATH);
    ::SetEnvironmentVariableA(name, value.c_str());
    return std::string(old);
  };
  const std::string old_appdata = set("APPDATA", profile.Join("Roaming"));
  const std::string old_local = set("LOCALAPPDATA", profile.Join("Local"));
  Process run;
  const bool started = run.Start(exe, {}, elsewhere.path());
  set("APPDATA", old_appdata);
  set("LOCALAPPDATA", old_local);
  ASSERT_TRUE(started);
  HWND box = WaitForWindow(run.id(), "wallpaper-fetcher", 60000);
  ASSERT_NE(box, nullptr);
  const BoxContent content = ReadMessageBox(box);
  // The error, then in a second line where it was written.
  const std::string written = profile.Join("Roaming\\wallpaper-fetcher\\Sites.ini");
  EXPECT_EQ(content.text,
            "No ini file, but it was restored!\nThe starter configuration was "
            "written to " +
                written + "; the next run uses it.");
  EXPECT_TRUE(content.has_icon);
  CloseMessageBox(box);
  EXPECT_EQ(run.Wait(kRunTimeoutMs), 101);

  const std::string ini = ReadFileBytes(written);
  EXPECT_EQ(ini.compare(0, 11, "[General]\r\n"), 0) << ini;
  EXPECT_NE(ini.find("\r\nDebugMode=0\r\n"), std::string::npos) << ini;
  EXPECT_NE(
      ini.find("\r\nSavePath=" + profile.Join("Local\\wallpaper-fetcher\\pictures\\") + "\r\n"),
      std::string::npos)
      << ini;
  EXPECT_FALSE(Exists(dir.Join("Sites.ini")));  // nothing beside the program
  EXPECT_FALSE(Exists(elsewhere.Join("Sites.ini")));
}

}  // namespace

namespace {

constexpr DWORD kPromptTimeoutMs = 120000;

// A command prompt (cmd.exe in a console window of its own) in `cwd` that
// runs `commands`, each followed by its %ERRORLEVEL% as "exit=N"; what its
// console shows once they are done.
std::string TypedAtThePrompt(const std::string& cwd, const std::vector<std::string>& commands) {
  std::string line = "cmd.exe /v:on /k ";
  for (const std::string& command : commands) line += command + " & echo exit=!ERRORLEVEL! & ";
  line += "echo all done";
  Process prompt;
  if (!prompt.StartInNewConsole(line, cwd)) return "cmd.exe did not start";
  return WaitForConsoleText(prompt.id(), "\nall done\n", kPromptTimeoutMs);
}

}  // namespace

TEST(CommandPrompt, EachCommandPrintsWhereItIsTypedAndSetsTheErrorLevel) {
  ScopedTempDir dir;
  CopyFetcherInto(dir.path());
  // Typed in the program's folder without the extension: the console
  // program answers, before the next command runs.
  // A broken configuration: its fatal error is printed there, no box waits.
  WriteFileBytes(dir.Join("broken.ini"), "[Site1]\r\n");
  // The user's folders of this test alone: --status shows its runs only.
  const std::string shown = TypedAtThePrompt(
      dir.path(), {"set \"APPDATA=" + dir.Join("Roaming") + "\"",
                   "set \"LOCALAPPDATA=" + dir.Join("Local") + "\"", "wallpaper-fetcher --version",
                   "wallpaper-fetcher --frobnicate", "wallpaper-fetcher --init new.ini",
                   "wallpaper-fetcher --check new.ini --site 99", "wallpaper-fetcher --status",
                   "wallpaper-fetcher broken.ini"});
  EXPECT_NE(shown.find("wallpaper-fetcher " FETCHER_VERSION "\nexit=0\n"), std::string::npos)
      << shown;
  EXPECT_NE(shown.find("wallpaper-fetcher: unknown option '--frobnicate'\n"), std::string::npos)
      << shown;
  EXPECT_NE(shown.find("--status | --help | --version\nexit=2\nWrote new.ini\n"), std::string::npos)
      << shown;
  EXPECT_TRUE(Exists(dir.Join("new.ini")));
  EXPECT_NE(shown.find("there is no [Site99] section\nexit=1\n"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("exit=9009"), std::string::npos) << shown;  // cmd's "not found"
  // --status, then the broken configuration's error where it was typed.
  EXPECT_NE(shown.find("exit=0\nwallpaper-fetcher: Wrong ini file, no general section\nexit=101\n"
                       "all done\n"),
            std::string::npos)
      << shown;

  // Through PATH from another folder.
  ScopedTempDir elsewhere;
  const std::string help = TypedAtThePrompt(
      elsewhere.path(), {"set \"PATH=" + dir.path() + ";!PATH!\"", "wallpaper-fetcher --help"});
  EXPECT_NE(help.find("Usage: wallpaper-fetcher [--] [CONFIG]\n"), std::string::npos) << help;
  EXPECT_NE(help.find("\nexit=0\nall done\n"), std::string::npos) << help;
}

TEST(ProgramFile, BothFilesCarryTheIconTheVersionAndTheManifest) {
  const std::string exe = FetcherExe();
  for (const std::string& file : {exe, exe.substr(0, exe.size() - 4) + ".com"}) {
    SCOPED_TRACE(file);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoA(file.c_str(), 0, size, info.data()));
    const auto value = [&info](const std::string& name) {
      void* text = nullptr;
      UINT length = 0;
      const std::string key = "\\StringFileInfo\\040904B0\\" + name;
      if (!::VerQueryValueA(info.data(), key.c_str(), &text, &length) || text == nullptr) {
        return std::string();
      }
      return std::string(static_cast<const char*>(text));
    };
    EXPECT_EQ(value("ProductName"), "wallpaper-fetcher");
    EXPECT_EQ(value("ProductVersion"), FETCHER_VERSION);
    EXPECT_EQ(value("FileVersion"), FETCHER_VERSION);
    EXPECT_NE(value("FileDescription"), "");
    EXPECT_EQ(value("LegalCopyright").compare(0, 10, "Copyright "), 0);
    EXPECT_EQ(value("OriginalFilename"), file.substr(file.find_last_of('\\') + 1));

    const HMODULE module = ::LoadLibraryExA(
        file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    const HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST);
    ASSERT_NE(found, nullptr);
    const std::string manifest(
        static_cast<const char*>(::LockResource(::LoadResource(module, found))),
        ::SizeofResource(module, found));
    for (const char* part : {"level=\"asInvoker\"", "PerMonitorV2",
                             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
                             "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/"
                             "WindowsSettings\">UTF-8</activeCodePage>"}) {
      EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
    const HANDLE icon = ::LoadImageA(module, MAKEINTRESOURCEA(1), IMAGE_ICON, 32, 32, 0);
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr) ::DestroyIcon(static_cast<HICON>(icon));
    ::FreeLibrary(module);
  }
}
