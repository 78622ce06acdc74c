// Sites.ini holds the user's whole configuration: whatever moment the process
// dies at while saving the history, or the machine loses its power at, the
// file on disk is a complete old or a complete new version.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config/paths.h"
#include "platform/filesystem/text_file.h"
#include "support/test_support.h"
#include "wallpaper/history.h"

namespace {

// A disk that loses at a power cut whatever was not synced, as a machine
// without a battery-backed cache does: a file keeps the content of its last
// fsync (a new file never synced is empty), and a directory the names of its
// last fsync. While one lives, the stand-ins below for the C library's calls
// tell it of every fsync and take a "crash" after each call: what `watched`
// would hold if the power went right then. A kill cannot show this: the
// kernel's cache survives a killed process, not a power cut.
class PowerCutDisk {
 public:
  // `dir` (ending in "/") holds `watched`; its files as they are now count as
  // synced.
  PowerCutDisk(const std::string& dir, const std::string& watched);
  ~PowerCutDisk();

  // Called by the stand-ins, never during another such call. One thread
  // saves while a disk lives.
  void Synced(int fd);
  void After(const char* call) { crashes.emplace_back(call, CrashImage()); }

  // Each call the code made, and `watched` after a crash right after it
  // (nullopt: no such file).
  std::vector<std::pair<std::string, std::optional<std::string>>> crashes;

 private:
  using FileId = std::pair<dev_t, ino_t>;
  std::optional<std::string> CrashImage() const;
  std::map<std::string, FileId> Names() const;

  std::string dir_, watched_;
  std::map<FileId, std::string> synced_;  // file content at its last fsync
  std::map<std::string, FileId> named_;   // dir_'s names at its last fsync
};

std::atomic<PowerCutDisk*> power_cut_disk{nullptr};

PowerCutDisk::PowerCutDisk(const std::string& dir, const std::string& watched)
    : dir_(dir), watched_(watched) {
  named_ = Names();
  for (const auto& [name, id] : named_) synced_[id] = ReadFileBytes(dir_ + name);
  power_cut_disk = this;
}

PowerCutDisk::~PowerCutDisk() { power_cut_disk = nullptr; }

std::map<std::string, PowerCutDisk::FileId> PowerCutDisk::Names() const {
  std::map<std::string, FileId> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    struct stat st;
    if (::lstat(entry.path().c_str(), &st) == 0) {
      names[entry.path().filename()] = {st.st_dev, st.st_ino};
    }
  }
  return names;
}

void PowerCutDisk::Synced(int fd) {
  struct stat st, dir_st;
  if (::fstat(fd, &st) != 0) return;
  if (S_ISREG(st.st_mode)) {
    synced_[{st.st_dev, st.st_ino}] = ReadFileBytes("/proc/self/fd/" + std::to_string(fd));
  } else if (S_ISDIR(st.st_mode) && ::stat(dir_.c_str(), &dir_st) == 0 &&
             dir_st.st_dev == st.st_dev && dir_st.st_ino == st.st_ino) {
    named_ = Names();
  }
}

std::optional<std::string> PowerCutDisk::CrashImage() const {
  const auto name = named_.find(watched_);
  if (name == named_.end()) return std::nullopt;
  const auto content = synced_.find(name->second);
  return content == synced_.end() ? std::string() : content->second;
}

// The C library's own `name`, behind this executable's stand-in.
template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

// Tells the disk, if there is one, of a call that ended with `result`.
int Record(const char* call, int result, int synced_fd = -1) {
  static thread_local bool recording = false;
  PowerCutDisk* disk = power_cut_disk;
  if (disk == nullptr || recording) return result;
  const int saved_errno = errno;
  recording = true;
  if (synced_fd >= 0 && result == 0) disk->Synced(synced_fd);
  disk->After(call);
  recording = false;
  errno = saved_errno;
  return result;
}

}  // namespace

// The stand-ins: this executable's definitions come before the C library's.
extern "C" {
int fsync(int fd) {
  static const auto real = Real<int (*)(int)>("fsync");
  return Record("fsync", real(fd), fd);
}
int fdatasync(int fd) {
  static const auto real = Real<int (*)(int)>("fdatasync");
  return Record("fdatasync", real(fd), fd);
}
int close(int fd) {
  static const auto real = Real<int (*)(int)>("close");
  return Record("close", real(fd));
}
int rename(const char* from, const char* to) noexcept {
  static const auto real = Real<int (*)(const char*, const char*)>("rename");
  return Record("rename", real(from, to));
}
ssize_t write(int fd, const void* data, size_t size) {
  static const auto real = Real<ssize_t (*)(int, const void*, size_t)>("write");
  const ssize_t written = real(fd, data, size);
  Record("write", 0);
  return written;
}
}

namespace {

// A configuration of some size, so that a save takes more than one write.
std::string BigConfiguration() {
  std::string text = "[General]\nDebugMode=0\nKeepInHistory=20\n";
  for (int i = 0; i < 20; ++i) text += "Recent" + std::to_string(i) + "=\n";
  for (int site = 1; site <= 60; ++site) {
    text += "\n[Site" + std::to_string(site) + "]\nName=Site number " + std::to_string(site) + "\n";
    for (int step = 1; step <= 5; ++step) {
      text += "Step" + std::to_string(step) + "Get=<a href=\"([^\"]+)\" class=\"" +
              std::string(200, 'x') + "\">\n";
      text += "Step" + std::to_string(step) + "Go=http://example.org/$_1_$\n";
    }
  }
  return text;
}

// Every complete file the saves can produce has the same sections and keys,
// with "Recent19" naming the newest URL; a torn file would not parse so.
bool IsCompleteVersion(const std::string& bytes, const std::string& reference) {
  IniDocument loaded, expected;
  loaded.Parse(FromTextMode(bytes));
  expected.Parse(FromTextMode(reference));
  if (loaded.sections().size() != expected.sections().size()) return false;
  for (size_t i = 0; i < loaded.sections().size(); ++i) {
    const IniSection& a = loaded.sections()[i];
    const IniSection& b = expected.sections()[i];
    if (a.name != b.name || a.entries.size() != b.entries.size()) return false;
    for (size_t j = 0; j < a.entries.size(); ++j) {
      if (a.entries[j].key != b.entries[j].key) return false;
      if (a.entries[j].key.rfind("Recent", 0) != 0 && a.entries[j].value != b.entries[j].value)
        return false;
    }
  }
  const std::string newest = loaded.GetValue("General", "Recent19");
  return newest.empty() || newest.rfind("http://pictures.example/", 0) == 0;
}

TEST(SaveDurabilityTest, KilledDuringHistorySavesLeavesAWholeFile) {
  ScopedTempDir dir;
  const std::string path = dir.Join("Sites.ini");
  const std::string original = ToTextMode(BigConfiguration());
  WriteFileBytes(path, original);

  std::mt19937 random(20261208);
  const int kTrials = 40;
  int most_left = 0;
  for (int trial = 0; trial < kTrials; ++trial) {
    int first_save[2];
    ASSERT_EQ(0, ::pipe(first_save));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // The child records pictures as fast as it can until it is killed.
      IniDocument ini;
      ini.SetFileName(path);
      ini.Load();
      History history(ini, 20);
      for (int i = 0;; ++i) {
        (void)history.Add("http://pictures.example/" + std::to_string(trial) + "-" +
                          std::to_string(i) + ".jpg");
        if (i == 0) (void)!::write(first_save[1], "s", 1);
      }
    }
    // Killed at some moment after its first save, however busy the machine.
    ::close(first_save[1]);
    char byte;
    ASSERT_EQ(1, ::read(first_save[0], &byte, 1));
    ::close(first_save[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 30000));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    most_left = std::max(most_left, EntriesIn(dir.path()));
    EXPECT_TRUE(IsCompleteVersion(ReadFileBytes(path), original)) << "trial " << trial;
  }
  // The history did move on, so the saves really were interrupted mid-way.
  IniDocument last;
  last.Parse(FromTextMode(ReadFileBytes(path)));
  EXPECT_NE("", last.GetValue("General", "Recent19"));
  // Each save removes what killed ones left: at most the last kill's
  // temporary is there, and the next save takes it away.
  EXPECT_LE(most_left, 2);
  last.SetFileName(path);
  ASSERT_TRUE(last.Save().ok());
  EXPECT_EQ(1, EntriesIn(dir.path()));
}

TEST(SaveDurabilityTest, APowerCutLeavesTheOldOrTheNewFileNeverAnUnsyncedOne) {
  ScopedTempDir dir;
  const std::string old_bytes = ToTextMode(BigConfiguration());
  WriteFileBytes(dir.Join("Sites.ini"), old_bytes);
  IniDocument ini;
  ini.SetFileName(dir.Join("Sites.ini"));
  ASSERT_TRUE(ini.Load());
  ini.SetValue("General", "Recent19", "http://pictures.example/new.jpg", true);

  std::vector<std::pair<std::string, std::optional<std::string>>> crashes;
  {
    PowerCutDisk disk(dir.path(), "Sites.ini");
    ASSERT_TRUE(ini.Save().ok());
    crashes = disk.crashes;
  }
  const std::string new_bytes = ReadFileBytes(dir.Join("Sites.ini"));
  ASSERT_NE(old_bytes, new_bytes);
  ASSERT_FALSE(crashes.empty());
  for (size_t i = 0; i < crashes.size(); ++i) {
    const std::optional<std::string>& left = crashes[i].second;
    // Once the save has returned, only the new file survives a power cut.
    const bool whole = left == new_bytes || (i + 1 < crashes.size() && left == old_bytes);
    EXPECT_TRUE(whole) << "power cut after call " << i << " (" << crashes[i].first << ") leaves "
                       << (!left               ? "no file"
                           : left == old_bytes ? "the old file"
                                               : std::to_string(left->size()) + " bytes");
  }
}

// Sites.ini stays as the user keeps it: a link stays a link and its target is
// what changes, the mode and the owner stay, and only temporaries that saves
// of this very file left are removed.
TEST(SaveDurabilityTest, SaveKeepsTheFileAsTheUserKeepsIt) {
  ScopedTempDir dir;
  ASSERT_EQ(0, ::mkdir(dir.Join("real").c_str(), 0755));
  const std::string target = dir.Join("real/Sites.ini");
  WriteFileBytes(target, "[General]\r\nA=1\r\n\r\n");
  ASSERT_EQ(0, ::chmod(target.c_str(), 0600));
  // Sites.ini -> kept.ini -> real/Sites.ini, relative links both.
  ASSERT_EQ(0, ::symlink("real/Sites.ini", dir.Join("kept.ini").c_str()));
  ASSERT_EQ(0, ::symlink("kept.ini", dir.Join("Sites.ini").c_str()));
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(0, ::chown(target.c_str(), 65534, 65534));
  }

  // What a killed save left, and what only looks like it.
  const std::string stray = dir.Join("real/Sites.ini.wallpaper-fetcher-Ab12Cd.tmp");
  const std::vector<std::string> kept = {
      "real/Sites.ini.backup",
      "real/Sites.ini.tmp",
      "real/Sites.ini.wallpaper-fetcher-old.tmp",
      "real/Sites.ini.wallpaper-fetcher-Ab12Cd.tmp.orig",
      "real/Other.ini.wallpaper-fetcher-Ab12Cd.tmp",
      "real/Sites.ini.wallpaper-fetcher-Zz99Yy.tmp"};  // still being written: locked
  WriteFileBytes(stray, "[Gen");
  for (const std::string& name : kept) WriteFileBytes(dir.Join(name), "mine");
  const int writing = ::open(dir.Join(kept.back()).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(0, ::flock(writing, LOCK_EX));
  // A link with a temporary's name is not followed.
  ASSERT_EQ(0, ::symlink("Sites.ini.backup",
                         dir.Join("real/Sites.ini.wallpaper-fetcher-Link00.tmp").c_str()));
  std::string foreign;
  if (root) {
    foreign = dir.Join("real/Sites.ini.wallpaper-fetcher-Nobody.tmp");
    WriteFileBytes(foreign, "theirs");
    ASSERT_EQ(0, ::chown(foreign.c_str(), 65534, 65534));
  }

  IniDocument ini;
  ini.SetFileName(dir.Join("Sites.ini"));
  ASSERT_TRUE(ini.Load());
  ini.SetValue("General", "A", "2", true);
  EXPECT_TRUE(ini.Save().ok());
  ::close(writing);

  struct stat st;
  ASSERT_EQ(0, ::lstat(dir.Join("Sites.ini").c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(0, ::lstat(dir.Join("kept.ini").c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ("[General]\r\nA=2\r\n\r\n", ReadFileBytes(target));
  ASSERT_EQ(0, ::lstat(target.c_str(), &st));
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(0600u, st.st_mode & 07777);
  if (root) {
    EXPECT_EQ(65534u, st.st_uid);
    EXPECT_EQ(65534u, st.st_gid);
  } else {
    std::printf("not root: the kept owner not tried\n");
  }
  EXPECT_FALSE(Exists(stray));
  for (const std::string& name : kept) EXPECT_EQ("mine", ReadFileBytes(dir.Join(name))) << name;
  EXPECT_EQ("mine", ReadFileBytes(dir.Join("real/Sites.ini.wallpaper-fetcher-Link00.tmp")));
  if (root) {
    EXPECT_EQ("theirs", ReadFileBytes(foreign));
  }
  // Nothing else came or went: the links and, beside the target, what was
  // there (the save's own temporary is gone).
  EXPECT_EQ(3, EntriesIn(dir.path()));
  EXPECT_EQ(1 + static_cast<int>(kept.size()) + 1 + (root ? 1 : 0), EntriesIn(dir.Join("real")));
}

}  // namespace
