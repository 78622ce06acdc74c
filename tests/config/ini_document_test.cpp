#include "config/ini_document.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <iterator>
#include <utility>

#include "platform/filesystem/filesystem.h"
#include "platform/filesystem/text_file.h"
#include "support/test_support.h"

namespace {

IniDocument Parsed(const std::string& text) {
  IniDocument ini;
  ini.Parse(text);
  return ini;
}

TEST(IniDocumentTest, SectionsAndKeysAreLiteralAndCaseSensitive) {
  IniDocument ini = Parsed("[General]\nDebugMode=1\nKey =v\n= \n=\nk=\n[ general]\n");
  EXPECT_EQ(1, ini.GetIntValue("General", "DebugMode"));
  EXPECT_EQ("", ini.GetValue("general", "DebugMode"));
  EXPECT_FALSE(ini.KeyExists("General", "Key"));
  EXPECT_TRUE(ini.KeyExists("General", "Key "));
  EXPECT_EQ("v", ini.GetValue("General", "Key "));
  EXPECT_EQ(" ", ini.GetValue("General", ""));  // first of two empty keys
  EXPECT_TRUE(ini.KeyExists("General", "k"));
  EXPECT_EQ("", ini.GetValue("General", "k"));
  EXPECT_TRUE(ini.SectionExists(" general"));
  EXPECT_FALSE(ini.SectionExists("general"));
}

TEST(IniDocumentTest, ValueKeepsLaterEqualsSignsAndBlanks) {
  IniDocument ini = Parsed("[Site2]\nStep1Go=http://h/images?as_q=$_1_$&svnum=25&as_epq=&x= y \n");
  EXPECT_EQ("http://h/images?as_q=$_1_$&svnum=25&as_epq=&x= y ", ini.GetValue("Site2", "Step1Go"));
}

TEST(IniDocumentTest, EntriesOutsideNamedSectionsAndNonHeadersAreDropped) {
  // An entry before any header, a nameless section, a header with a blank
  // after "]" (not a header, no "=", dropped), a semicolon line with "=".
  IniDocument ini =
      Parsed("Orphan=1\n[General]\nA=1\n[Site1] \nB=2\n;comment\n;c=3\n[]\nLost=4\n[Site2]\n");
  ASSERT_EQ(2u, ini.sections().size());
  EXPECT_EQ("General", ini.sections()[0].name);
  EXPECT_EQ("2", ini.GetValue("General", "B"));  // went to the section before
  EXPECT_EQ("3", ini.GetValue("General", ";c"));
  EXPECT_FALSE(ini.KeyExists("General", "Orphan"));
  EXPECT_FALSE(ini.SectionExists(""));
  EXPECT_EQ("", ini.GetValue("Site2", "Lost"));
  EXPECT_TRUE(ini.SectionExists("Site2"));

  IniDocument only_entry = Parsed("TryNumber=3");
  EXPECT_TRUE(only_entry.sections().empty());
  EXPECT_FALSE(only_entry.SectionExists("General"));
}

TEST(IniDocumentTest, DuplicatesAreKeptButOnlyTheFirstIsUsed) {
  IniDocument ini = Parsed("[Site1]\nA=1\nA=2\n[Site1]\nA=3\nB=4\n");
  EXPECT_EQ("1", ini.GetValue("Site1", "A"));
  EXPECT_EQ("", ini.GetValue("Site1", "B"));  // later sections are never searched
  EXPECT_FALSE(ini.KeyExists("Site1", "B"));
  ASSERT_TRUE(ini.SetValue("Site1", "A", "x", false));
  EXPECT_EQ("[Site1]\nA=x\nA=2\n\n[Site1]\nA=3\nB=4\n\n", ini.Serialize());
}

TEST(IniDocumentTest, SetValueCreatesOnlyWhenAsked) {
  IniDocument ini = Parsed("[Site1]\nA=1\n");
  EXPECT_FALSE(ini.SetValue("General", "Recent0", "u", false));
  EXPECT_FALSE(ini.SetValue("Site1", "B", "u", false));
  EXPECT_EQ("[Site1]\nA=1\n\n", ini.Serialize());
  EXPECT_TRUE(ini.SetValue("Site1", "B", "2", true));
  EXPECT_TRUE(ini.SetValue("General", "Recent0", "u", true));
  EXPECT_EQ("[Site1]\nA=1\nB=2\n\n[General]\nRecent0=u\n\n", ini.Serialize());
}

TEST(IniDocumentTest, IntegersReadLikeAtoiAndSaturate) {
  IniDocument ini = Parsed(
      "[N]\na=\nb= 7\nc=12abc\nd=abc\ne=0x10\nf=-3\ng=+5\nh=99999999999\ni=-99999999999\n"
      "j=2147483647\nk=-2147483648\nl=\t 42\n");
  const std::pair<const char*, int> cases[] = {
      {"a", 0},       {"b", 7},  {"c", 12},         {"d", 0},       {"e", 0},
      {"f", -3},      {"g", 5},  {"h", 2147483647}, {"i", INT_MIN}, {"j", 2147483647},
      {"k", INT_MIN}, {"l", 42}, {"missing", 0}};
  for (const auto& [key, value] : cases) EXPECT_EQ(value, ini.GetIntValue("N", key)) << key;
  EXPECT_EQ(0, ini.GetIntValue("Missing", "a"));
}

TEST(IniDocumentTest, TextModeLineEnds) {
  EXPECT_EQ("a\r\nb\r\n", ToTextMode("a\nb\n"));
  EXPECT_EQ("a\nb\rc\n", FromTextMode("a\r\nb\rc\r\n"));
  EXPECT_EQ("a\n", FromTextMode("a\r\n\x1a"
                                "b=2\r\n"));
  EXPECT_EQ("a\r", FromTextMode("a\r"));

  // CR LF and LF files load alike; lone-CR files are one line; 0x1A ends.
  IniDocument crlf = Parsed(FromTextMode("[General]\r\nA=1\r\n"));
  IniDocument lf = Parsed(FromTextMode("[General]\nA=1\n"));
  EXPECT_EQ(crlf.Serialize(), lf.Serialize());
  EXPECT_FALSE(Parsed(FromTextMode("[General]\rA=1\r")).SectionExists("General"));
  IniDocument cut = Parsed(FromTextMode("[General]\r\nA=1\r\n\x1a[Site1]\r\nB=2\r\n"));
  EXPECT_FALSE(cut.SectionExists("Site1"));
}

TEST(IniDocumentTest, LoadAndSaveOnDisk) {
  ScopedTempDir dir;
  const std::string path = dir.Join("Sites.ini");
  WriteFileBytes(path, "junk line\r\n[General]\r\nTryNumber=3\r\n\r\n\r\n[Site1]\n");
  IniDocument ini;
  ini.SetFileName(path);
  ASSERT_TRUE(ini.Load());
  ASSERT_TRUE(ini.Save().ok());
  EXPECT_EQ("[General]\r\nTryNumber=3\r\n\r\n[Site1]\r\n\r\n", ReadFileBytes(path));

  // A byte-order mark (what many editors write) is not part of the first
  // line, and is written back.
  WriteFileBytes(path, "\xEF\xBB\xBF[General]\r\nTryNumber=4\r\n");
  ASSERT_TRUE(ini.Load());
  EXPECT_EQ(4, ini.GetIntValue("General", "TryNumber"));
  ASSERT_TRUE(ini.Save().ok());
  EXPECT_EQ("\xEF\xBB\xBF[General]\r\nTryNumber=4\r\n\r\n", ReadFileBytes(path));

  // Other bytes are kept as they are, whatever encoding they were written in.
  const std::string latin1 =
      "[General]\r\nSavePath=/home/me/Fonds d'\xE9"
      "cran/\r\n\r\n";
  WriteFileBytes(path, latin1);
  ASSERT_TRUE(ini.Load());
  ASSERT_TRUE(ini.Save().ok());
  EXPECT_EQ(latin1, ReadFileBytes(path));

  // A missing file keeps the earlier content.
  ini.SetFileName(dir.Join("missing.ini"));
  EXPECT_FALSE(ini.Load());
  EXPECT_TRUE(ini.SectionExists("General"));

  // Saving an empty document leaves an empty file; no temporary file stays.
  IniDocument empty;
  empty.SetFileName(path);
  ASSERT_TRUE(empty.Save().ok());
  EXPECT_EQ("", ReadFileBytes(path));
  EXPECT_FALSE(Exists(dir.Join("missing.ini")));
}

TEST(IniDocumentTest, FailedSaveLeavesTheOldFileWhole) {
  ScopedTempDir dir;
  const std::string path = dir.Join("Sites.ini");
  WriteFileBytes(path, "[General]\r\nA=1\r\n\r\n");
  IniDocument ini;
  ini.SetFileName(path);
  ASSERT_TRUE(ini.Load());
  ini.SetValue("General", "A", "2", true);

  // A directory in the way: nothing written, nothing thrown.
  IniDocument into_dir = ini;
  into_dir.SetFileName(dir.path());
  EXPECT_FALSE(into_dir.Save().ok());

  ASSERT_EQ(0, ::chmod(path.c_str(), 0444));
  EXPECT_FALSE(ini.Save().ok());
  EXPECT_EQ("[General]\r\nA=1\r\n\r\n", ReadFileBytes(path));
  ASSERT_EQ(0, ::chmod(path.c_str(), 0644));

  // A read-only directory: the file stays, and no temporary file appears.
  ASSERT_EQ(0, ::chmod(dir.path().c_str(), 0555));
  (void)ini.Save();  // root may write there all the same
  ASSERT_EQ(0, ::chmod(dir.path().c_str(), 0755));
  EXPECT_EQ("[General]\r\nA=1\r\n\r\n", ReadFileBytes(path));
  const auto entries = [&] {
    return std::distance(std::filesystem::directory_iterator(dir.path()),
                         std::filesystem::directory_iterator());
  };
  EXPECT_EQ(1, entries());

  // Content whose writing fails half-way: likewise.
  EXPECT_FALSE(
      ReplaceFileWhole(path, [](int fd) { return WriteAllBytes(fd, "[Gen", 4) && false; }).ok());
  EXPECT_EQ("[General]\r\nA=1\r\n\r\n", ReadFileBytes(path));
  EXPECT_EQ(1, entries());

  EXPECT_TRUE(ini.Save().ok());
  EXPECT_EQ("[General]\r\nA=2\r\n\r\n", ReadFileBytes(path));
}

}  // namespace
