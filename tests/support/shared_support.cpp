#include "support/shared_support.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

ScopedTempDir::ScopedTempDir() {
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::mt19937_64 random(std::random_device{}());
  for (int attempt = 0; !error && attempt < 100; ++attempt) {
    std::string name = "wf-test-";
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    const fs::path dir = base / name;
    if (fs::create_directory(dir, error)) {
      fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, error);
      path_ = (dir / "").string();
      return;
    }
  }
  throw std::runtime_error("no temporary directory could be made");
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  // Make read-only parts removable again before removing.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

// Paths are the program's UTF-8 text on both systems (on Windows a narrow
// std::filesystem path would be read in the ANSI code page).
std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::u8path(path), ignored);
}

int EntriesIn(const std::string& dir) {
  std::error_code error;
  int count = 0;
  for (fs::directory_iterator it(fs::u8path(dir), error), end; !error && it != end;
       it.increment(error))
    ++count;
  return error ? -1 : count;
}

Platform FakePlatform::Get() {
  Platform system = SystemPlatform();
  return Platform{&console, &boxes, internet != nullptr ? internet : system.internet,
                  pictures != nullptr ? pictures : system.pictures, &desktop};
}
