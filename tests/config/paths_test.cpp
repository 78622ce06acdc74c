#include "config/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/test_support.h"

namespace {

void SetProgram(const std::string& argv0) {
  const char* argv[] = {argv0.c_str()};
  SetCommandLine(1, argv);
}

TEST(PathsTest, DirectoryPartsAndAbsolutePaths) {
  EXPECT_EQ("/usr/bin/", GetDirOfPath("/usr/bin/wallpaper-fetcher"));
  EXPECT_EQ("./", GetDirOfPath("./wallpaper-fetcher"));
  EXPECT_EQ("", GetDirOfPath("wallpaper-fetcher"));
  EXPECT_EQ("pics/", GetDirOfPath("pics/"));
  EXPECT_EQ("a//", GetDirOfPath("a//b"));
  EXPECT_EQ("/", GetDirOfPath("/x"));

  EXPECT_TRUE(IsAbsolutePath("/etc/Sites.ini"));
  EXPECT_FALSE(IsAbsolutePath("etc/Sites.ini"));
  EXPECT_FALSE(IsAbsolutePath(""));

  SetProgram("/opt/wf/wallpaper-fetcher");
  EXPECT_EQ("/opt/wf/", GetProgramDir());
  SetProgram("build/wallpaper-fetcher");
  EXPECT_EQ("build/", GetProgramDir());
  SetProgram("wallpaper-fetcher");  // a bare name: relative to the current dir
  EXPECT_EQ("", GetProgramDir());
}

TEST(PathsTest, MakeFullPathJoinsWithoutASeparator) {
  EXPECT_EQ("/opt/wf/log.log", MakeFullPath("log.log", "/opt/wf/", false));
  EXPECT_EQ("/abs/log.log", MakeFullPath("/abs/log.log", "/opt/wf/", false));
  EXPECT_EQ("/opt/wfpicsWalp.bmp", MakeFullPath("picsWalp.bmp", "/opt/wf", false));
  EXPECT_EQ("log.log", MakeFullPath("log.log", "", false));
  EXPECT_EQ("", MakeFullPath("surely-missing.file", "/tmp/", true));
  EXPECT_EQ("/tmp/", MakeFullPath("", "/tmp/", true));
}

TEST(PathsTest, FindFileSearchesCurrentThenProgramDirectory) {
  ScopedTempDir dir;
  ASSERT_EQ(0, ::mkdir(dir.Join("cwd").c_str(), 0755));
  ASSERT_EQ(0, ::mkdir(dir.Join("prog").c_str(), 0755));
  WriteFileBytes(dir.Join("prog/Sites.ini"), "p");
  WriteFileBytes(dir.Join("prog/only-here.ini"), "p");
  WriteFileBytes(dir.Join("cwd/Sites.ini"), "c");
  char old_cwd[4096];
  ASSERT_NE(nullptr, ::getcwd(old_cwd, sizeof old_cwd));
  ASSERT_EQ(0, ::chdir(dir.Join("cwd").c_str()));
  SetProgram(dir.Join("prog/wallpaper-fetcher"));

  EXPECT_EQ(GetCurrentDir(), dir.Join("cwd/"));
  EXPECT_EQ(dir.Join("cwd/Sites.ini"), FindFile("Sites.ini"));
  EXPECT_EQ(dir.Join("prog/only-here.ini"), FindFile("only-here.ini"));
  EXPECT_EQ("", FindFile("nowhere.ini"));
  EXPECT_EQ(dir.Join("prog/Sites.ini"), FindFile(dir.Join("prog/Sites.ini")));
  EXPECT_EQ("", FindFile(dir.Join("prog/nowhere.ini")));
  EXPECT_TRUE(FileExists(dir.Join("prog")));  // a directory exists too

  ASSERT_EQ(0, ::chdir("/"));
  EXPECT_EQ("/", GetCurrentDir());
  ASSERT_EQ(0, ::chdir(old_cwd));
}

}  // namespace
