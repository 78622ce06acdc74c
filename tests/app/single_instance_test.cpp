// Starts of the same program file while one runs, with the real binary. The
// running instance is held inside its fatal error box: a stand-in dialog
// program on PATH that records its call and sleeps.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "support/test_support.h"

namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, ::mkdir(dir_.Join("bin").c_str(), 0755));
    program_ = CopyFetcherInto(dir_.path());
    const std::string zenity = dir_.Join("bin/zenity");
    WriteFileBytes(zenity, "#!/bin/sh\necho \"$*\" >> '" + dir_.Join("boxes.log") +
                               "'\nsleep \"${HOLD_SECONDS:-2}\"\n");
    ASSERT_EQ(0, ::chmod(zenity.c_str(), 0755));
    // No [General]: every instance that runs ends in the error box.
    WriteFileBytes(dir_.Join("Sites.ini"), "[Site1]\r\n");
    env_ = {{"PATH", dir_.Join("bin") + ":" + std::getenv("PATH")},
            // A display that no X server serves: boxes go to the stand-in,
            // and the search for the first instance's window finds nothing.
            {"DISPLAY", ":97"},
            {"WAYLAND_DISPLAY", "\x01unset"},
            {"XDG_RUNTIME_DIR", dir_.path()}};
  }

  int BoxCount() {
    const std::string log = ReadFileBytes(dir_.Join("boxes.log"));
    int count = 0;
    for (char c : log) count += c == '\n';
    return count;
  }

  void WaitForBoxes(int count) {
    for (int i = 0; i < 200 && BoxCount() < count; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }

  ScopedTempDir dir_;
  std::string program_;
  std::map<std::string, std::string> env_;
};

TEST_F(SingleInstanceTest, SecondStartGivesWayWhileTheFirstRuns) {
  ChildProcess first;
  ASSERT_TRUE(first.Start({program_}, dir_.path(), env_));
  WaitForBoxes(1);
  ASSERT_EQ(1, BoxCount());

  ProgramResult second = RunProgram({program_}, dir_.path(), env_, 20000);
  EXPECT_EQ(0, second.exit_code);
  EXPECT_EQ("", second.out);
  EXPECT_EQ("", second.err);
  EXPECT_EQ(1, BoxCount());  // the second one read nothing and showed nothing

  ProgramResult first_result = first.Wait(20000);
  EXPECT_EQ(101, first_result.exit_code);
  EXPECT_NE(std::string::npos,
            ReadFileBytes(dir_.Join("boxes.log")).find("Wrong ini file, no general section"));

  // After the first has ended, a new start runs normally.
  ProgramResult third = RunProgram({program_}, dir_.path(), env_, 20000);
  EXPECT_EQ(101, third.exit_code);
  EXPECT_EQ(2, BoxCount());
}

TEST_F(SingleInstanceTest, KilledInstanceLeavesNoStaleClaim) {
  ChildProcess first;
  env_["HOLD_SECONDS"] = "30";
  ASSERT_TRUE(first.Start({program_}, dir_.path(), env_));
  WaitForBoxes(1);
  ASSERT_EQ(1, BoxCount());
  first.Kill(SIGKILL);
  first.Wait(10000);

  env_["HOLD_SECONDS"] = "0";
  ProgramResult next = RunProgram({program_}, dir_.path(), env_, 20000);
  EXPECT_EQ(101, next.exit_code);
  EXPECT_EQ(2, BoxCount());
}

TEST_F(SingleInstanceTest, OfTenSimultaneousStartsExactlyOneRuns) {
  std::vector<std::unique_ptr<ChildProcess>> children;
  for (int i = 0; i < 10; ++i) {
    children.push_back(std::make_unique<ChildProcess>());
    ASSERT_TRUE(children.back()->Start({program_}, dir_.path(), env_));
  }
  int ran = 0, gave_way = 0;
  for (auto& child : children) {
    const ProgramResult result = child->Wait(30000);
    ran += result.exit_code == 101;
    gave_way += result.exit_code == 0;
  }
  EXPECT_EQ(1, ran);
  EXPECT_EQ(9, gave_way);
  EXPECT_EQ(1, BoxCount());
}

TEST_F(SingleInstanceTest, FiftyStartsAtOnceRunOneAndTheRestLeaveAtOnce) {
  env_["HOLD_SECONDS"] = "20";
  std::vector<std::unique_ptr<ChildProcess>> children;
  for (int i = 0; i < 50; ++i) {
    children.push_back(std::make_unique<ChildProcess>());
    ASSERT_TRUE(children.back()->Start({program_}, dir_.path(), env_));
  }
  WaitForBoxes(1);
  // Every start but the running one ends while that one is still held in
  // its box: none waits for it.
  int ran = 0, gave_way = 0;
  for (auto& child : children) {
    const ProgramResult result = child->Wait(15000);
    if (result.timed_out) {
      ++ran;  // held in the 20-second box: the one that runs
    } else {
      gave_way += result.exit_code == 0;
    }
  }
  EXPECT_EQ(1, ran);
  EXPECT_EQ(49, gave_way);
  EXPECT_EQ(1, BoxCount());

  // Nothing is left behind that blocks a later run.
  env_["HOLD_SECONDS"] = "0";
  ProgramResult later = RunProgram({program_}, dir_.path(), env_, 20000);
  EXPECT_EQ(101, later.exit_code);
  EXPECT_EQ(2, BoxCount());
  std::printf("simultaneous starts held: %d ran, %d gave way\n", ran, gave_way);
}

TEST_F(SingleInstanceTest, CopiesInOtherPlacesAreOtherPrograms) {
  ASSERT_EQ(0, ::mkdir(dir_.Join("other").c_str(), 0755));
  const std::string other = CopyFetcherInto(dir_.Join("other/"));
  WriteFileBytes(dir_.Join("other/Sites.ini"), "[Site1]\r\n");
  ChildProcess first;
  ASSERT_TRUE(first.Start({program_}, dir_.path(), env_));
  WaitForBoxes(1);
  ProgramResult result = RunProgram({other}, dir_.Join("other"), env_, 20000);
  EXPECT_EQ(101, result.exit_code);
  EXPECT_EQ(2, BoxCount());
  first.Wait(20000);
}

}  // namespace
