// Starts of the same program file while one runs, with the real binary. The
// running instance is held inside its fatal error box: a stand-in dialog
// program on PATH that records its call and sleeps.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <thread>
#include <utility>

#include "support/end_to_end.h"
#include "support/test_support.h"

namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, ::mkdir(dir_.Join("bin").c_str(), 0755));
    program_ = CopyFetcherInto(dir_.path());
    const std::string zenity = dir_.Join("bin/zenity");
    // The box stays up HOLD_SECONDS or until the test makes the file
    // "release"; the log line starts with the showing program's process id.
    WriteFileBytes(zenity, "#!/bin/sh\necho $$ >> '" + dir_.Join("box.pids") +
                               "'\necho \"$PPID $*\" >> '" + dir_.Join("boxes.log") +
                               "'\nn=$(( ${HOLD_SECONDS:-2} * 20 ))\n"
                               "while [ $n -gt 0 ] && [ ! -e '" +
                               dir_.Join("release") + "' ]; do sleep 0.05; n=$((n - 1)); done\n");
    ASSERT_EQ(0, ::chmod(zenity.c_str(), 0755));
    // No [General]: every instance that runs ends in the error box.
    WriteFileBytes(dir_.Join("Sites.ini"), "[Site1]\r\n");
    // A start with this file that runs traces, makes no attempt and ends
    // with 0; one that gives way writes nothing.
    WriteFileBytes(dir_.Join("debug.ini"), "[General]\r\nDebugMode=1\r\nTryNumber=0\r\n");
    ASSERT_EQ(0, ::mkdir(dir_.Join("locks").c_str(), 0755));
    env_ = {{"PATH", dir_.Join("bin") + ":" + std::getenv("PATH")},
            // A display that no X server serves: boxes go to the stand-in,
            // and the search for the first instance's window finds nothing.
            {"DISPLAY", ":97"},
            {"WAYLAND_DISPLAY", "\x01unset"},
            {kTestLockParentVariable, dir_.Join("locks")}};
  }

  // The per-user directory of claims under `parent`.
  static std::string ClaimDir(const std::string& parent) {
    return parent + "wallpaper-fetcher-" + std::to_string(static_cast<long>(::geteuid()));
  }

  // The lock file in `claim_dir` that holds `pid`; "" when none does.
  static std::string LockFileOf(const std::string& claim_dir, pid_t pid) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(claim_dir, ignored)) {
      if (entry.path().extension() == ".lock" &&
          ReadFileBytes(entry.path()) == std::to_string(pid) + "\n")
        return entry.path();
    }
    return "";
  }

  int BoxCount() {
    const std::string log = ReadFileBytes(dir_.Join("boxes.log"));
    int count = 0;
    for (char c : log) count += c == '\n';
    return count;
  }

  void WaitForBoxes(int count) {
    for (int i = 0; i < 2400 && BoxCount() < count; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }

  void ReleaseBoxes() { WriteFileBytes(dir_.Join("release"), ""); }

  // Started all at once: waits for every start but the one held in its box
  // (none may wait for it), then releases that one. Counts the starts that
  // ran (exit 101 after the box) and those that gave way (0, no output).
  void WaitForAll(std::vector<std::unique_ptr<ChildProcess>>& children, int* ran, int* gave_way) {
    WaitForBoxes(1);
    const pid_t held = static_cast<pid_t>(std::atol(ReadFileBytes(dir_.Join("boxes.log")).c_str()));
    for (int pass = 0; pass < 2; ++pass) {
      if (pass == 1) ReleaseBoxes();
      for (auto& child : children) {
        if ((child->pid() == held) != (pass == 1) || child->pid() < 0) continue;
        const ProgramResult result = child->Wait(60000);
        *ran += result.exit_code == 101;
        *gave_way += result.exit_code == 0 && result.out.empty() && result.err.empty();
      }
    }
  }

  ScopedTempDir dir_;
  std::string program_;
  std::map<std::string, std::string> env_;
};

TEST_F(SingleInstanceTest, FiftyStartsAtOnceRunOneAndTheRestLeaveAtOnce) {
  env_["HOLD_SECONDS"] = "120";
  std::vector<std::unique_ptr<ChildProcess>> children;
  for (int i = 0; i < 50; ++i) {
    children.push_back(std::make_unique<ChildProcess>());
    ASSERT_TRUE(children.back()->Start({program_}, dir_.path(), env_));
  }
  // Every start but the running one ends while that one is still held in
  // its box: none waits for it.
  int ran = 0, gave_way = 0;
  WaitForAll(children, &ran, &gave_way);
  EXPECT_EQ(1, ran);
  EXPECT_EQ(49, gave_way);
  EXPECT_EQ(1, BoxCount());

  // Each start that gave way left its line, none lost to the others
  // writing at the same time, and so did the one that ran.
  const std::string runs = ReadFileBytes(TestHome() + "/.local/state/wallpaper-fetcher/runs.log");
  EXPECT_EQ(49u, Count(runs, "  gave way at once: another copy of " + program_ + " runs (process "))
      << runs;
  EXPECT_EQ(1u, Count(runs, ": nothing changed: Wrong ini file, no general section")) << runs;

  // Nothing is left behind that blocks a later run.
  ProgramResult later = RunProgram({program_}, dir_.path(), env_, 20000);
  EXPECT_EQ(101, later.exit_code);
  EXPECT_EQ(2, BoxCount());
}

// A start from cron (no XDG_RUNTIME_DIR) finds the claim of one from the
// desktop session (with it), in the place real users get. Killed, the first
// leaves no claim behind.
TEST_F(SingleInstanceTest, CronAndDesktopStartsSeeEachOtherAndAKilledOneLeavesNoClaim) {
  const std::string real_dir = ClaimDir("/tmp/");
  const bool existed = Exists(real_dir);
  env_["HOLD_SECONDS"] = "60";
  std::map<std::string, std::string> desktop = env_;
  desktop[kTestLockParentVariable] = "\x01unset";
  desktop["XDG_RUNTIME_DIR"] = dir_.path();
  std::map<std::string, std::string> cron = desktop;
  cron["XDG_RUNTIME_DIR"] = "\x01unset";
  const std::time_t before = std::time(nullptr);
  ChildProcess first;
  ASSERT_TRUE(first.Start({program_}, dir_.path(), desktop));
  WaitForBoxes(1);
  ASSERT_EQ(1, BoxCount());
  const ProgramResult second = RunProgram({program_, "debug.ini"}, dir_.path(), cron, 20000);
  EXPECT_EQ(0, second.exit_code);
  EXPECT_EQ("", second.out);
  // The start that gave way says so in the run record, with the running
  // copy's process and start time; the running one recorded its error
  // before its box.
  const std::string runs = ReadFileBytes(TestHome() + "/.local/state/wallpaper-fetcher/runs.log");
  EXPECT_NE(std::string::npos,
            runs.find(": nothing changed: Wrong ini file, no general section; shown in an error "
                      "box that closes by itself after 15 minutes\r\n"))
      << runs;
  const std::string gave_way = "  gave way at once: another copy of " + program_ +
                               " runs (process " + std::to_string(first.pid()) + "), started ";
  const size_t at = runs.find(gave_way);
  ASSERT_NE(std::string::npos, at) << runs;
  std::tm started = {};
  ASSERT_NE(nullptr, ::strptime(runs.c_str() + at + gave_way.size(), "%Y-%m-%d %H:%M:%S", &started))
      << runs;
  started.tm_isdst = -1;
  // Told from the kernel's clock ticks since boot: whole seconds, give or
  // take one.
  EXPECT_LE(before - 2, std::mktime(&started));
  EXPECT_GE(std::time(nullptr) + 2, std::mktime(&started));
  EXPECT_NE(std::string::npos, runs.find("; nothing was done\r\n", at));
  const std::string lock = LockFileOf(real_dir, first.pid());
  EXPECT_NE("", lock);

  first.Kill(SIGKILL);
  first.Wait(10000);
  // Its box went with it: the dialog stays in the run's process group,
  // whatever its time limit.
  const pid_t box = static_cast<pid_t>(std::atol(ReadFileBytes(dir_.Join("box.pids")).c_str()));
  ASSERT_GT(box, 0);
  bool box_gone = false;
  for (int i = 0; i < 400 && !box_gone; ++i) {
    const std::string stat = ReadFileBytes("/proc/" + std::to_string(box) + "/stat");
    const size_t name_end = stat.rfind(')');
    box_gone =
        stat.empty() || (name_end != std::string::npos && stat.compare(name_end, 4, ") Z ") == 0);
    if (!box_gone) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_TRUE(box_gone) << "the box of a killed run is still shown";
  const ProgramResult next = RunProgram({program_, "debug.ini"}, dir_.path(), cron, 20000);
  EXPECT_EQ(0, next.exit_code);
  EXPECT_NE(std::string::npos, next.out.find("m_yDebug = 1")) << "the job did not run";
  // Leave nothing behind in /tmp.
  if (!lock.empty()) {
    ::unlink(lock.c_str());
    ::unlink((lock.substr(0, lock.size() - 5) + ".mutex").c_str());
  }
  if (!existed) ::rmdir(real_dir.c_str());
}

// A claim in a place that is not ours alone is never trusted: the start runs
// the job and says why in the trace, rather than giving way to a lock another
// user may hold or following a link planted for it. So does a start whose
// claim cannot be made at all.
TEST_F(SingleInstanceTest, AClaimPlaceNotOursAloneRunsTheJobAndSaysWhy) {
  const std::string place = ClaimDir(dir_.Join("locks/"));
  env_["HOLD_SECONDS"] = "120";
  // Even under a umask that takes the owner's bits, the claim works.
  const mode_t old_umask = ::umask(0277);
  ChildProcess first;
  const bool started = first.Start({program_}, dir_.path(), env_);
  ::umask(old_umask);
  ASSERT_TRUE(started);
  WaitForBoxes(1);
  ASSERT_EQ(1, BoxCount());
  struct stat st;
  ASSERT_EQ(0, ::lstat(place.c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(0700u, st.st_mode & 07777);
  EXPECT_EQ(::geteuid(), st.st_uid);
  const std::string lock = LockFileOf(place, first.pid());
  ASSERT_NE("", lock);
  ASSERT_EQ(0, ::lstat(lock.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 07777);

  const auto expect_runs = [&](const std::string& why, const std::string& expected) {
    const ProgramResult run = RunProgram({program_, "debug.ini"}, dir_.path(), env_, 20000);
    EXPECT_EQ(0, run.exit_code) << why;
    EXPECT_NE(std::string::npos, run.out.find("m_yDebug = 1")) << why << ": the job did not run";
    EXPECT_NE(std::string::npos, run.out.find("Single instance: " + expected +
                                              "; running without a single-instance claim\n"))
        << why << ": " << run.out;
  };
  ASSERT_EQ(0, ::chmod(place.c_str(), 0755));
  expect_runs("open to others", place + " has mode 0755, not 0700");
  ASSERT_EQ(0, ::chmod(place.c_str(), 0700));

  ASSERT_EQ(0, ::rename(place.c_str(), (place + ".real").c_str()));
  ASSERT_EQ(0, ::symlink((place + ".real").c_str(), place.c_str()));
  expect_runs("directory linked", place + " is not a directory (a symbolic link or a file)");
  ASSERT_EQ(0, ::unlink(place.c_str()));
  ASSERT_EQ(0, ::rename((place + ".real").c_str(), place.c_str()));

  ASSERT_EQ(0, ::rename(lock.c_str(), (lock + ".real").c_str()));
  ASSERT_EQ(0, ::symlink((lock + ".real").c_str(), lock.c_str()));
  expect_runs("lock file linked", lock + " is a symbolic link");
  ASSERT_EQ(0, ::unlink(lock.c_str()));
  ASSERT_EQ(0, ::rename((lock + ".real").c_str(), lock.c_str()));

  if (::geteuid() == 0) {
    // Another user ("nobody") owns the directory, then the held lock file.
    ASSERT_EQ(0, ::chown(place.c_str(), 65534, static_cast<gid_t>(-1)));
    expect_runs("foreign directory", place + " belongs to user 65534");
    ASSERT_EQ(0, ::chown(place.c_str(), 0, static_cast<gid_t>(-1)));
    ASSERT_EQ(0, ::chown(lock.c_str(), 65534, static_cast<gid_t>(-1)));
    expect_runs("foreign lock file", lock + " belongs to user 65534");
    ASSERT_EQ(0, ::chown(lock.c_str(), 0, static_cast<gid_t>(-1)));
  } else {
    std::printf("not root: another user's directory and lock file not tried\n");
  }

  // No directory can be made where the claims go.
  const std::map<std::string, std::string> trusted = env_;
  env_[kTestLockParentVariable] = dir_.Join("Sites.ini");
  expect_runs("no place", dir_.Join("Sites.ini") + ": " + std::strerror(ENOTDIR));
  env_ = trusted;

  // Put back as it was, the place is trusted again and the start gives way.
  const ProgramResult again = RunProgram({program_, "debug.ini"}, dir_.path(), env_, 20000);
  EXPECT_EQ(0, again.exit_code);
  EXPECT_EQ("", again.out);
  EXPECT_EQ(1, BoxCount());
  first.Kill(SIGKILL);
  first.Wait(10000);
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
