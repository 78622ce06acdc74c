#include "wallpaper/history.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "config/settings.h"
#include "diagnostics/format.h"
#include "support/test_support.h"

namespace {

const char kUrl1[] = "http://files.example.com/wallpapers/first_1280x1024.jpg";
const char kUrl2[] = "http://files.example.com/wallpapers/second_1280x1024.jpg";
const char kUrl3[] = "http://files.example.com/wallpapers/third_1280x1024.jpg";

// One run's view of Sites.ini: the document loaded and its settings read,
// as the crawl finds them when a picture has arrived.
struct RunView {
  IniDocument ini;
  GeneralSettings settings;
  History history() { return History(ini, settings.keep_in_history); }
};

class HistoryTest : public ::testing::Test {
 protected:
  std::string IniPath() const { return dir_.Join("Sites.ini"); }
  // Starts a new run over the file as it is on disk now.
  RunView& NewRun() {
    run_ = std::make_unique<RunView>();
    run_->ini.SetFileName(IniPath());
    EXPECT_TRUE(run_->ini.Load());
    run_->settings = ReadGeneralSettings(run_->ini);
    return *run_;
  }
  // Records `url` as the crawl does after a successful picture.
  void Store(const std::string& url) {
    History history = NewRun().history();
    ASSERT_FALSE(history.Contains(url)) << url;
    (void)history.Add(url);
  }
  bool IsNew(const std::string& url) { return !NewRun().history().Contains(url); }
  // The keys of [General] in file order, with their values.
  std::vector<std::string> GeneralEntries() {
    std::vector<std::string> entries;
    for (const IniSection& section : NewRun().ini.sections()) {
      if (section.name != "General") continue;
      for (const IniEntry& entry : section.entries)
        entries.push_back(entry.key + "=" + entry.value);
    }
    return entries;
  }

  ScopedTempDir dir_;
  std::unique_ptr<RunView> run_;
};

TEST_F(HistoryTest, KeepThreeAfterTwoPicturesAndMore) {
  WriteFileBytes(IniPath(),
                 "[General]\r\nDebugMode=0\r\nKeepInHistory=3\r\n\r\n"
                 "[Site1]\r\nBegin=http://example.com/\r\n\r\n");
  Store(kUrl1);
  EXPECT_EQ(std::string("[General]\r\nDebugMode=0\r\nKeepInHistory=3\r\n"
                        "Recent0=\r\nRecent1=\r\nRecent2=") +
                kUrl1 + "\r\n\r\n[Site1]\r\nBegin=http://example.com/\r\n\r\n",
            ReadFileBytes(IniPath()));
  EXPECT_FALSE(IsNew(kUrl1));
  Store(kUrl2);
  EXPECT_EQ(std::string("[General]\r\nDebugMode=0\r\nKeepInHistory=3\r\n"
                        "Recent0=\r\nRecent1=") +
                kUrl1 + "\r\nRecent2=" + kUrl2 +
                "\r\n\r\n[Site1]\r\nBegin=http://example.com/\r\n\r\n",
            ReadFileBytes(IniPath()));
  EXPECT_FALSE(IsNew(kUrl1));
  EXPECT_FALSE(IsNew(kUrl2));
  EXPECT_TRUE(IsNew(kUrl3));
  // The third picture fills the history; the fourth pushes the first out.
  Store(kUrl3);
  EXPECT_FALSE(IsNew(kUrl1));
  Store("http://files.example.com/4.jpg");
  EXPECT_TRUE(IsNew(kUrl1));
  EXPECT_EQ((std::vector<std::string>{
                "DebugMode=0", "KeepInHistory=3", std::string("Recent0=") + kUrl2,
                std::string("Recent1=") + kUrl3, "Recent2=http://files.example.com/4.jpg"}),
            GeneralEntries());
}

TEST_F(HistoryTest, TwentyIntoAFileWithoutKeysAppendsThemInOrder) {
  WriteFileBytes(IniPath(),
                 "[General]\r\nDebugMode=0\r\nKeepInHistory=20\r\nSavePath=pics/\r\n\r\n"
                 "[Site1]\r\nName=x\r\n\r\n");
  Store(kUrl1);
  std::vector<std::string> expected = {"DebugMode=0", "KeepInHistory=20", "SavePath=pics/"};
  for (int i = 0; i < 19; ++i) expected.push_back(Format("Recent%d=", i));
  expected.push_back(std::string("Recent19=") + kUrl1);
  EXPECT_EQ(expected, GeneralEntries());
  // The other sections are untouched and [General] keeps its place.
  const std::string bytes = ReadFileBytes(IniPath());
  EXPECT_EQ(0u, bytes.find("[General]\r\nDebugMode=0\r\n"));
  EXPECT_NE(std::string::npos,
            bytes.find(std::string("Recent19=") + kUrl1 + "\r\n\r\n[Site1]\r\nName=x\r\n\r\n"));
  // Keys present somewhere in the middle keep their places; the missing
  // ones are appended.
  WriteFileBytes(IniPath(),
                 "[General]\r\nRecent2=b\r\nKeepInHistory=4\r\nRecent3=c\r\nRecent0=old\r\n\r\n");
  Store("d");
  EXPECT_EQ((std::vector<std::string>{"Recent2=c", "KeepInHistory=4", "Recent3=d",
                                      "Recent0=", "Recent1=b"}),
            GeneralEntries());
}

TEST_F(HistoryTest, KeepOneOverwritesTheSingleKey) {
  WriteFileBytes(IniPath(), "[General]\r\nKeepInHistory=1\r\n\r\n");
  Store(kUrl1);
  EXPECT_EQ(std::string("[General]\r\nKeepInHistory=1\r\nRecent0=") + kUrl1 + "\r\n\r\n",
            ReadFileBytes(IniPath()));
  EXPECT_FALSE(IsNew(kUrl1));
  Store(kUrl2);
  EXPECT_EQ(std::string("[General]\r\nKeepInHistory=1\r\nRecent0=") + kUrl2 + "\r\n\r\n",
            ReadFileBytes(IniPath()));
  EXPECT_TRUE(IsNew(kUrl1));
  EXPECT_FALSE(IsNew(kUrl2));
}

TEST_F(HistoryTest, ZeroOrNegativeLengthRefusesNothingAndNeverWrites) {
  for (const char* keep : {"0", "-1", "-2147483648", ""}) {
    SCOPED_TRACE(keep);
    // Old entries, also under the key a negative length would form.
    const std::string original = std::string("[General]\r\nKeepInHistory=") + keep +
                                 "\r\nRecent0=" + kUrl1 + "\r\nRecent-2=" + kUrl2 + "\r\n\r\n";
    WriteFileBytes(IniPath(), original);
    // An old time stamp, so that any rewrite would show.
    struct utimbuf old_times = {1000000000, 1000000000};
    ASSERT_EQ(0, utime(IniPath().c_str(), &old_times));
    struct stat before;
    ASSERT_EQ(0, stat(IniPath().c_str(), &before));

    EXPECT_TRUE(IsNew(kUrl1));
    EXPECT_TRUE(IsNew(kUrl2));
    Store(kUrl1);
    Store(kUrl3);

    struct stat after;
    ASSERT_EQ(0, stat(IniPath().c_str(), &after));
    EXPECT_EQ(original, ReadFileBytes(IniPath()));
    EXPECT_EQ(before.st_mtime, after.st_mtime);
    EXPECT_EQ(before.st_ino, after.st_ino);
    // Nothing was added in memory either.
    EXPECT_EQ((std::vector<std::string>{std::string("KeepInHistory=") + keep,
                                        std::string("Recent0=") + kUrl1,
                                        std::string("Recent-2=") + kUrl2}),
              GeneralEntries());
  }
}

TEST_F(HistoryTest, OnlyAnExactMatchWithinTheLengthIsRefused) {
  WriteFileBytes(
      IniPath(),
      "[General]\r\nKeepInHistory=3\r\nRecent0=http://Example.com/Pics/a.jpg\r\n"
      "Recent1=http://example.com/dir/\r\nRecent2=\r\nRecent3=http://example.com/old.jpg\r\n"
      "Recent5=http://example.com/older.jpg\r\n\r\n");
  EXPECT_FALSE(IsNew("http://Example.com/Pics/a.jpg"));
  EXPECT_FALSE(IsNew("http://example.com/dir/"));
  // Letter case and a trailing slash make a different URL.
  EXPECT_TRUE(IsNew("http://example.com/pics/a.jpg"));
  EXPECT_TRUE(IsNew("http://EXAMPLE.COM/Pics/a.jpg"));
  EXPECT_TRUE(IsNew("http://Example.com/Pics/a.jpg/"));
  EXPECT_TRUE(IsNew("http://example.com/dir"));
  EXPECT_TRUE(IsNew("http://Example.com/Pics/a.jpg "));
  // Entries beyond the length are neither compared nor moved.
  EXPECT_TRUE(IsNew("http://example.com/old.jpg"));
  EXPECT_TRUE(IsNew("http://example.com/older.jpg"));
  Store("http://example.com/new.jpg");
  EXPECT_EQ((std::vector<std::string>{"KeepInHistory=3", "Recent0=http://example.com/dir/",
                                      "Recent1=", "Recent2=http://example.com/new.jpg",
                                      "Recent3=http://example.com/old.jpg",
                                      "Recent5=http://example.com/older.jpg"}),
            GeneralEntries());
  // A longer history brings the old entries back into play.
  WriteFileBytes(IniPath(),
                 "[General]\r\nKeepInHistory=6\r\nRecent5=http://example.com/older.jpg\r\n\r\n");
  EXPECT_FALSE(IsNew("http://example.com/older.jpg"));
}

TEST_F(HistoryTest, DeleteLastRemovesThePictureOnlyWhenSet) {
  WriteFileBytes(IniPath(), "[General]\r\nDeleteLast=0\r\n\r\n");
  const std::string picture = dir_.Join("first_1280x1024.jpg");
  WriteFileBytes(picture, "JPEG bytes");

  DeleteLastDownload(NewRun().settings.delete_last, picture);
  EXPECT_EQ("JPEG bytes", ReadFileBytes(picture));

  WriteFileBytes(IniPath(), "[General]\r\nDeleteLast=1\r\n\r\n");
  const bool delete_last = NewRun().settings.delete_last;
  DeleteLastDownload(delete_last, picture);
  EXPECT_FALSE(Exists(picture));
  // A picture that is already gone, or a directory under that name: no harm.
  DeleteLastDownload(delete_last, picture);
  const std::string sub = dir_.Join("sub");
  ASSERT_EQ(0, mkdir(sub.c_str(), 0755));
  DeleteLastDownload(delete_last, sub);
  EXPECT_TRUE(Exists(sub));
  // Other files are never touched.
  EXPECT_TRUE(Exists(IniPath()));
}

TEST_F(HistoryTest, ReadOnlySitesIniStaysUnchanged) {
  const std::string original = "[General]\r\nKeepInHistory=2\r\nRecent0=\r\nRecent1=x\r\n\r\n";
  WriteFileBytes(IniPath(), original);
  ASSERT_EQ(0, chmod(IniPath().c_str(), 0444));
  RunView& run = NewRun();
  History history = run.history();
  ASSERT_FALSE(history.Contains(kUrl1));
  EXPECT_FALSE(history.Add(kUrl1).ok());  // the reason reaches --status
  EXPECT_EQ(original, ReadFileBytes(IniPath()));
  // The run itself remembers the picture; no temporary file is left behind.
  EXPECT_TRUE(history.Contains(kUrl1));
  EXPECT_EQ(std::string("x"), run.ini.GetValue("General", "Recent0"));
  struct stat st;
  ASSERT_EQ(0, stat(IniPath().c_str(), &st));
  EXPECT_EQ(0444u, st.st_mode & 07777u);
  EXPECT_EQ(1, EntriesIn(dir_.path()));
}

TEST_F(HistoryTest, AMistypedHugeLengthIsTakenAsTenThousand) {
  WriteFileBytes(IniPath(), "[General]\r\nKeepInHistory=2147483647\r\nRecent20000=" +
                                std::string(kUrl2) + "\r\n\r\n");
  Store(kUrl1);
  EXPECT_TRUE(IsNew(kUrl2));  // beyond the length: not compared
  EXPECT_FALSE(IsNew(kUrl1));
  const std::vector<std::string> entries = GeneralEntries();
  ASSERT_EQ(2u + 10000u, entries.size());
  EXPECT_EQ("Recent0=", entries[2]);
  EXPECT_EQ("Recent9999=" + std::string(kUrl1), entries.back());
}

}  // namespace
