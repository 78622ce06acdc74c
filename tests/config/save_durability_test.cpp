// Sites.ini holds the user's whole configuration: whatever moment the process
// dies at while saving the history, the file on disk is a complete old or a
// complete new version.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/wallpaper_fetcher.h"
#include "config/paths.h"
#include "config/text_file.h"
#include "support/test_support.h"

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

long EntriesIn(const std::string& dir) {
  return std::distance(std::filesystem::directory_iterator(dir),
                       std::filesystem::directory_iterator());
}

TEST(SaveDurabilityTest, KilledDuringHistorySavesLeavesAWholeFile) {
  ScopedTempDir dir;
  const std::string path = dir.Join("Sites.ini");
  const std::string original = ToTextMode(BigConfiguration());
  WriteFileBytes(path, original);

  std::mt19937 random(20261208);
  const int kTrials = 40;
  int survived = 0, left_temporary = 0;
  long most_left = 0;
  for (int trial = 0; trial < kTrials; ++trial) {
    int first_save[2];
    ASSERT_EQ(0, ::pipe(first_save));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // The child records pictures as fast as it can until it is killed.
      WallpaperFetcher fetcher(SystemPlatform(), 1);
      fetcher.m_Ini.SetFileName(path);
      fetcher.m_Ini.Load();
      fetcher.m_iKeepInHistory = 20;
      for (int i = 0;; ++i) {
        fetcher.m_strLastUrl =
            "http://pictures.example/" + std::to_string(trial) + "-" + std::to_string(i) + ".jpg";
        fetcher.AddToHistory();
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
    const long entries = EntriesIn(dir.path());
    left_temporary += entries > 1;
    most_left = std::max(most_left, entries);
    const std::string bytes = ReadFileBytes(path);
    EXPECT_TRUE(IsCompleteVersion(bytes, original)) << "trial " << trial;
    survived += IsCompleteVersion(bytes, original);
  }
  EXPECT_EQ(kTrials, survived);
  // The history did move on, so the saves really were interrupted mid-way.
  IniDocument last;
  last.Parse(FromTextMode(ReadFileBytes(path)));
  EXPECT_NE("", last.GetValue("General", "Recent19"));
  // Each save removes what killed ones left: at most the last kill's
  // temporary is there, and the next save takes it away.
  EXPECT_LE(most_left, 2);
  last.SetFileName(path);
  last.Save();
  EXPECT_EQ(1, EntriesIn(dir.path()));
  std::printf("SIGKILL save trials survived: %d of %d; %d left a temporary\n", survived, kTrials,
              left_temporary);
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
  ini.Save();
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
  EXPECT_EQ(1 + static_cast<long>(kept.size()) + 1 + (root ? 1 : 0), EntriesIn(dir.Join("real")));
}

}  // namespace
