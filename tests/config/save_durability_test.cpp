// Sites.ini holds the user's whole configuration: whatever moment the process
// dies at while saving the history, the file on disk is a complete old or a
// complete new version.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <set>
#include <thread>

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

TEST(SaveDurabilityTest, KilledDuringHistorySavesLeavesAWholeFile) {
  ScopedTempDir dir;
  const std::string path = dir.Join("Sites.ini");
  const std::string original = ToTextMode(BigConfiguration());
  WriteFileBytes(path, original);

  std::mt19937 random(20261208);
  const int kTrials = 40;
  int survived = 0;
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
    const std::string bytes = ReadFileBytes(path);
    EXPECT_TRUE(IsCompleteVersion(bytes, original)) << "trial " << trial;
    survived += IsCompleteVersion(bytes, original);
  }
  EXPECT_EQ(kTrials, survived);
  // The history did move on, so the saves really were interrupted mid-way.
  IniDocument last;
  last.Parse(FromTextMode(ReadFileBytes(path)));
  EXPECT_NE("", last.GetValue("General", "Recent19"));
  std::printf("SIGKILL save trials survived: %d of %d\n", survived, kTrials);
}

}  // namespace
