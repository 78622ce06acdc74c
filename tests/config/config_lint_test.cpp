// The warnings --check prints before the sites: what a run would get wrong
// without a word.
#include "config/config_lint.h"

#include <gtest/gtest.h>

#include "config/ini_document.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> WarningsFor(const std::string& text, std::vector<int> sites) {
  IniDocument ini;
  ini.Parse(text);
  return ConfigurationWarnings(ini, sites);
}

std::vector<std::string> FailuresFor(const std::string& text, const std::string& program_dir) {
  IniDocument ini;
  ini.Parse(text);
  return ConfigurationFailures(ini, program_dir);
}

TEST(ConfigurationWarningsTest, KeysThatARunDoesNotReadAsWritten) {
  const std::vector<std::string> expected = {
      "[General] \"DebugMode \" is not read as DebugMode: blanks around a key's name are part of "
      "it",
      "[General] \"savepath\" is not read as SavePath: names are case-sensitive",
      "[General] \"TryNumbers\" is not a key a run reads",
      "[General] NumOfSites is given twice: a run reads only the first",
      "[General] KeepInHistory=many reads as 0",
      "[General] WallpaperStyle=zoom is not a style (fill, fit, stretch, center, tile, span): a "
      "run keeps the desktop's own",
      "[General] WallpaperBackground=red is not a colour #RRGGBB: a run uses black",
      "[Site1] \" Begin\" is not read as Begin: blanks around a key's name are part of it",
      "[Site1] \"step1get\" is not read as Step1Get: names are case-sensitive",
      "[Site1] has no Begin: a run fetches nothing",
  };
  EXPECT_EQ(expected,
            WarningsFor("[General]\nDebugMode =1\nsavepath=x/\nTryNumbers=2\nTryNumber=1\n"
                        "NumOfSites=1\nNumOfSites=2\nKeepInHistory=many\nRecent0=a\n"
                        "WallpaperStyle=zoom\nWallpaperBackground=red\n"
                        "[Site1]\n Begin=http://a/\nstep1get=x\n",
                        {1}));
  // Numbers read as written that a run cannot mean; the edges are fine.
  EXPECT_EQ(std::vector<std::string>(
                {"KeepInHistory=-5: no history is kept, and a run may take the same picture "
                 "again at once",
                 "[Site1] SecondsToDownload=-1: every fetch fails at once"}),
            WarningsFor("[General]\nTryNumber=1\nNumOfSites=1\nKeepInHistory=-5\n"
                        "[Site1]\nBegin=http://a/\nSecondsToDownload=-1\n",
                        {1}));
  EXPECT_EQ(std::vector<std::string>({"KeepInHistory=1000000000: a run keeps at most 10000, and "
                                      "writes all 10000 of them into Sites.ini"}),
            WarningsFor("[General]\nTryNumber=1\nNumOfSites=1\nKeepInHistory=1000000000\n"
                        "[Site1]\nBegin=http://a/\nSecondsToDownload=0\n",
                        {1}));
  EXPECT_EQ(std::vector<std::string>(),
            WarningsFor("[General]\nNumOfSites=1\nKeepInHistory=10000\n[Site1]\nBegin=a\n", {1}));
  // Site keys are looked at only for the sites checked.
  EXPECT_EQ(std::vector<std::string>(),
            WarningsFor("[General]\nTryNumber=1\nNumOfSites=2\nWallpaperStyle=Span\n"
                        "WallpaperBackground=#336699\n[Site1]\nBegin=http://a/\n"
                        "[Site2]\nBegin =http://b/\nBegin=http://b/\n",
                        {1}));
}

TEST(ConfigurationWarningsTest, SitesAndAttemptsAgainstTheSectionsPresent) {
  EXPECT_EQ(std::vector<std::string>(
                // A run reads [Site2] by that name: [Site02] is another section.
                {"[Site02] is not a section a run reads", "[Sites] is not a section a run reads",
                 "NumOfSites=3 but there is no [Site2]: a run that draws it fails",
                 "[Site4] is never drawn: NumOfSites=3", "[Site0] is never drawn: NumOfSites=3"}),
            WarningsFor("[General]\nNumOfSites=3\n[Site1]\nBegin=a\n[Site3]\nBegin=b\n[Site4]\n"
                        "Begin=c\n[Site0]\nBegin=d\n[Site02]\nBegin=e\n[Sites]\n",
                        {}));
  EXPECT_EQ(std::vector<std::string>({"NumOfSites=0: a run draws site 0 or 1"}),
            WarningsFor("[General]\nTryNumber=-1\nNumOfSites=0\n", {}));
  EXPECT_EQ(std::vector<std::string>({"NumOfSites=-2: a run draws site 1 to 32767"}),
            WarningsFor("[General]\nTryNumber=1\nNumOfSites=-2\n", {}));

  // A mistyped huge NumOfSites costs what the sections present cost: one
  // line for the numbers without a section, found without walking them all.
  const std::string huge = "[General]\nNumOfSites=2147483647\n[Site1]\nBegin=a\n[Site5]\nBegin=b\n";
  EXPECT_EQ(std::vector<std::string>({"NumOfSites=2147483647 but 2147483645 of the numbers 1 to "
                                      "2147483647 have no [SiteN] section: a run that draws one "
                                      "fails"}),
            WarningsFor(huge, {1, 5}));
  IniDocument ini;
  ini.Parse(huge);
  EXPECT_EQ(std::vector<int>({1, 5}), ExistingSites(ini, 2147483647));
  EXPECT_EQ(std::vector<int>({2, 3, 4, 6}), MissingSites(ini, 2147483647, 4));
}

TEST(ConfigurationWarningsTest, SavePathAndTryNumberThatARunCannotUse) {
  ScopedTempDir dir;
  WriteFileBytes(dir.Join("Sites.ini"), "");
  const std::string general = "[General]\nTryNumber=1\nNumOfSites=0\n";
  const std::string sites = "NumOfSites=0: a run draws site 0 or 1";
  EXPECT_EQ(std::vector<std::string>({sites,
                                      "SavePath=pics has no trailing /: files would be named "
                                      "picsWalp.bmp beside it"}),
            WarningsFor(general + "SavePath=pics\n", {}));

  // What ends a run with 101 or makes it try nothing fails the check.
  const std::vector<std::string> none;
  EXPECT_EQ(none, FailuresFor(general + "SavePath=\n", dir.path()));
  EXPECT_EQ(none, FailuresFor(general + "SavePath=" + dir.path() + "\n", dir.path()));
  EXPECT_EQ(std::vector<std::string>({"SavePath=pics/: " + dir.Join("pics/") +
                                      " does not exist: a run ends with exit code 101"}),
            FailuresFor(general + "SavePath=pics/\n", dir.path()));
  EXPECT_EQ(std::vector<std::string>({"TryNumber=0: a run makes no attempt",
                                      "SavePath=" + dir.Join("a/b") + ": " + dir.Join("a/") +
                                          " does not exist: a run ends with exit code 101"}),
            FailuresFor("[General]\nSavePath=" + dir.Join("a/b") + "\n", dir.path()));
  // Not writable, even for root: no file can be made in /proc.
  const std::vector<std::string> proc = FailuresFor(general + "SavePath=/proc/\n", dir.path());
  ASSERT_EQ(1u, proc.size());
  EXPECT_EQ(0u, proc[0].find("SavePath=/proc/: /proc/ cannot be written ("));
  EXPECT_NE(std::string::npos, proc[0].find("): a run ends with exit code 101"));
  // The probe leaves nothing behind.
  EXPECT_EQ(1, EntriesIn(dir.path()));
}

TEST(ConfigurationWarningsTest, StepsThatEndTheChainOrLeavePlaceholders) {
  const std::string general = "[General]\nTryNumber=1\nNumOfSites=1\n[Site1]\nBegin=http://a/\n";
  // A Get without its Go fails the site there.
  EXPECT_EQ(std::vector<std::string>({"[Site1] Step2Get has no Step2Go: the site fails at step 2"}),
            WarningsFor(general + "Step1Get=(a)\nStep1Go=$_1_$\nStep2Get=b\n", {1}));
  // A gap ends the chain: the later keys, a lone Go among them, are never used.
  EXPECT_EQ(std::vector<std::string>({"[Site1] has no Step2Get: the chain ends after step 1, and "
                                      "the keys of step 2 and later are never used"}),
            WarningsFor(general + "Step1Get=(a)\nStep1Go=$_1_$\nStep2Go=x\nStep3Get=c\nStep3Go=y\n",
                        {1}));
  EXPECT_EQ(std::vector<std::string>({"[Site1] has no Step1Get: the start page is the picture, and "
                                      "the keys of step 2 are never used"}),
            WarningsFor(general + "Step2Get=c\n", {1}));
  // Placeholders: counted groups (not "(?:" nor escaped brackets); $_0_$
  // and numbers past the groups stay as written, each said once.
  EXPECT_EQ(std::vector<std::string>(
                {"[Site1] Step1Go has $_3_$ but Step1Get has 2 groups: it stays in the link as "
                 "written",
                 "[Site1] Step1Go has $_0_$ but Step1Get has 2 groups: it stays in the link as "
                 "written",
                 "[Site1] Step2Go has $_1_$ but Step2Get has 0 groups: it stays in the link as "
                 "written"}),
            WarningsFor(general + "Step1Get=(a)(?:b)\\((c)\nStep1Go=$_1_$$_2_$$_3_$$_3_$$_0_$\n"
                                  "Step2Get=[(]x[)]\nStep2Go=$_1_$\n",
                        {1}));
  // A malformed expression is left to the check of the site.
  EXPECT_EQ(std::vector<std::string>(), WarningsFor(general + "Step1Get=(a\nStep1Go=$_2_$\n", {1}));
}

}  // namespace
