#include "config/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/test_support.h"

namespace {

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
  const std::string program_dir = GetDirOfPath(dir.Join("prog/wallpaper-fetcher"));

  EXPECT_EQ(GetCurrentDir(), dir.Join("cwd/"));
  EXPECT_EQ(dir.Join("cwd/Sites.ini"), FindFile("Sites.ini", program_dir));
  EXPECT_EQ(dir.Join("prog/only-here.ini"), FindFile("only-here.ini", program_dir));
  EXPECT_EQ("", FindFile("nowhere.ini", program_dir));
  EXPECT_EQ(dir.Join("prog/Sites.ini"), FindFile(dir.Join("prog/Sites.ini"), program_dir));
  EXPECT_EQ("", FindFile(dir.Join("prog/nowhere.ini"), program_dir));
  EXPECT_TRUE(FileExists(dir.Join("prog")));  // a directory exists too

  ASSERT_EQ(0, ::chdir("/"));
  EXPECT_EQ("/", GetCurrentDir());
  ASSERT_EQ(0, ::chdir(old_cwd));
}

}  // namespace
