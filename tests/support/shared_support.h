#ifndef TESTS_SUPPORT_SHARED_SUPPORT_H_
#define TESTS_SUPPORT_SHARED_SUPPORT_H_

#include <string>
#include <vector>

#include "app/platform_services.h"

// What the tests of both systems use (the Windows ones under Wine): their
// files, and fakes behind the platform seam.

// A fresh directory "wf-test-XXXXXX" in the system's temporary directory
// (/tmp unless TMPDIR says otherwise), for its owner only; removed with
// everything in it, read-only parts too, when it goes. Throws when none can be
// made.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  // The directory with a trailing separator ("/", on Windows "\").
  const std::string& path() const { return path_; }
  std::string Join(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// The whole file, "" when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Creates or truncates `path` and writes `bytes` to it.
void WriteFileBytes(const std::string& path, const std::string& bytes);
// True when something (followed through links) is at `path`.
bool Exists(const std::string& path);
// How many entries the directory `dir` holds; -1 when it cannot be read.
int EntriesIn(const std::string& dir);

// Records trace lines instead of showing them.
class FakeConsole : public Console {
 public:
  void Open() override { ++opened; }
  void Write(const std::string& text) override { written += text; }
  void Close() override { ++closed; }
  std::string written;
  int opened = 0;
  int closed = 0;
};

// Records the boxes it was asked to show.
class FakeMessageBoxes : public MessageBoxes {
 public:
  struct Box {
    bool error;
    std::string caption;
    std::string text;
  };
  void ShowInfo(const std::string& caption, const std::string& text) override {
    boxes.push_back({false, caption, text});
  }
  void ShowError(const std::string& caption, const std::string& text) override {
    boxes.push_back({true, caption, text});
  }
  std::vector<Box> boxes;
};

// Records the file its setting was given (the copy, if any); answers `failure`
// ("" = success, the copy taken), with `no_session` as no_session_reached.
// Wants copies in `copy_folder` ("" = none).
class FakeDesktop : public Desktop {
 public:
  std::string CopyFolder() override { return copy_folder; }
  WallpaperOutcome SetWallpaper(const std::string& bitmap, const std::string& copy,
                                const WallpaperLook& look) override {
    wallpapers.push_back(copy.empty() ? bitmap : copy);
    looks.push_back(look);
    return {failure, failure.empty() && !copy.empty(), {}, no_session};
  }
  std::vector<std::string> Describe(const WallpaperLook& look) override {
    return {std::string("fake desktop, style ") + WallpaperStyleName(look.style)};
  }
  std::vector<std::string> wallpapers;
  std::vector<WallpaperLook> looks;
  std::string failure;
  bool no_session = false;
  std::string copy_folder;
};

// A platform of fakes for console, boxes and desktop, with the real
// Internet and picture codec unless replaced.
struct FakePlatform {
  FakeConsole console;
  FakeMessageBoxes boxes;
  FakeDesktop desktop;
  Platform Get();
  Internet* internet = nullptr;      // null: the system's
  PictureCodec* pictures = nullptr;  // null: the system's
};

#endif  // TESTS_SUPPORT_SHARED_SUPPORT_H_
