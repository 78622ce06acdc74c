#include "wallpaper/desktop_copy.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/filesystem/user_files.h"

namespace fs = std::filesystem;

namespace {

// The program's paths are UTF-8 text; a std::filesystem path made from a
// narrow string would read it in the ANSI code page on Windows.
fs::path PathOf(const std::string& text) { return fs::u8path(text); }

const char kPrefix[] = "wallpaper-";
const char kSuffix[] = ".bmp";

// N of a copy's name "wallpaper-N.bmp", -1 for any other name.
long long CopyNumber(const std::string& name) {
  const std::string prefix = kPrefix;
  const std::string suffix = kSuffix;
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return -1;
  }
  const std::string digits =
      name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  if (digits.size() > 15) return -1;
  long long number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

// The copies in `dir`.
std::vector<fs::path> Copies(const std::string& dir) {
  std::vector<fs::path> copies;
  std::error_code error;
  for (fs::directory_iterator it(PathOf(dir), error), end; !error && it != end;
       it.increment(error)) {
    if (CopyNumber(it->path().filename().u8string()) >= 0) copies.push_back(it->path());
  }
  return copies;
}

}  // namespace

std::string DesktopCopy::Make(const std::string& bitmap) {
  made_.clear();
  error_.clear();
  if (dir_.empty()) {
    error_ = "no user data directory";
    return "";
  }
  if (!MakeDirectories(dir_).ok()) {
    error_ = "cannot create " + dir_;
    return "";
  }
  long long next = 1;
  for (const fs::path& copy : Copies(dir_)) {
    next = std::max(next, CopyNumber(copy.filename().u8string()) + 1);
  }
  const std::string path = dir_ + kPrefix + std::to_string(next) + kSuffix;
  std::error_code error;
  // Walp.bmp is only ever replaced whole, never written in place, so a link
  // keeps the picture as it is now.
  fs::create_hard_link(PathOf(bitmap), PathOf(path), error);
  if (error) {
    error.clear();
    fs::copy_file(PathOf(bitmap), PathOf(path), fs::copy_options::none, error);
    if (error) {
      error_ = "cannot copy " + bitmap + " to " + path + ": " + error.message();
      fs::remove(PathOf(path), error);  // what a full disk left of it
      return "";
    }
  }
  made_ = path;
  return made_;
}

void DesktopCopy::Settle(bool taken) {
  if (made_.empty()) return;
  std::error_code error;
  if (!taken) {
    fs::remove(PathOf(made_), error);
  } else {
    const fs::path kept = PathOf(made_).filename();
    for (const fs::path& copy : Copies(dir_)) {
      if (copy.filename() != kept) fs::remove(copy, error);
    }
  }
  made_.clear();
}
