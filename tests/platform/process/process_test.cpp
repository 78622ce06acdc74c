// Work run in forked children, and helper programs started and waited for.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/process/child_process_posix.h"
#include "platform/process/process_runner_posix.h"
#include "support/test_support.h"

namespace {

struct Report {
  int value = 0;
};

constexpr unsigned long long kBudget = 1ULL << 30;
constexpr int kTimeoutMs = 60000;

TEST(ChildProcessTest, ReportsWhatTheWorkReturnsAndFailsAChildWhoseWorkThrows) {
  ArmTestDeadline();
  Report report;
  ASSERT_TRUE(RunInChild([] { return Report{42}; }, kBudget, kTimeoutMs, &report));
  EXPECT_EQ(42, report.value);

  // Were the exception to leave the child's work, it would unwind into this
  // test in the child too, which then says so through the pipe and ends.
  int escaped[2];
  ASSERT_EQ(0, ::pipe2(escaped, O_CLOEXEC | O_NONBLOCK));
  const pid_t test_process = ::getpid();
  bool ran = true;
  try {
    ran = RunInChild([]() -> Report { throw std::runtime_error("work failed"); }, kBudget,
                     kTimeoutMs, &report);
  } catch (...) {
    if (::getpid() != test_process) {
      (void)!::write(escaped[1], "x", 1);
      ::_exit(0);
    }
    throw;
  }
  EXPECT_FALSE(ran);
  char byte;
  EXPECT_EQ(-1, ::read(escaped[0], &byte, 1)) << "the exception unwound in the child";
  ::close(escaped[0]);
  ::close(escaped[1]);
}

// Stand-in programs: shell scripts in directories of a temporary one.
class ProcessRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override { ArmTestDeadline(); }

  std::string Program(const std::string& path, const std::string& script, mode_t mode = 0755) {
    const std::string file = dir_.Join(path);
    ::mkdir(dir_.Join(path.substr(0, path.find('/'))).c_str(), 0755);
    std::ofstream(file) << "#!/bin/sh\n" << script << "\n";
    EXPECT_EQ(0, ::chmod(file.c_str(), mode));
    return file;
  }

  ScopedTempDir dir_;
};

TEST_F(ProcessRunnerTest, FindsOnPathRunsInTheEnvironmentGivenAndSaysHowItEnded) {
  // Only an executable file counts: not a directory, not a file without
  // the execute bit.
  ASSERT_EQ(0, ::mkdir(dir_.Join("a").c_str(), 0755));
  ASSERT_EQ(0, ::mkdir(dir_.Join("a/tool").c_str(), 0755));
  Program("b/tool", "exit 0", 0644);
  // Our descriptor that is not closed on exec, like the log's, must not
  // reach it; its standard streams are on /dev/null unless shared.
  const int ours = ::open(dir_.Join("log.log").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(ours, 3);
  const std::string tool =
      Program("c/tool",
              "printf '%s|%s|%s|%s' \"$GREETING\" \"$HOME\" \"$(/bin/readlink /proc/$$/fd/0)\" "
              "\"$(/bin/readlink /proc/$$/fd/2)\"; [ -e /proc/$$/fd/" +
                  std::to_string(ours) + " ] && printf ' inherited'; exit 0");
  ProcessRunner runner(
      {"PATH=" + dir_.Join("a") + ":" + dir_.Join("b") + ":" + dir_.Join("c"), "GREETING=hello"});
  EXPECT_EQ(tool, runner.Find("tool"));
  EXPECT_EQ("missing: not found", runner.Run({"missing"}).message());
  std::string output;
  EXPECT_EQ("", runner.Run({"tool"}, &output).message());
  EXPECT_EQ("hello||/dev/null|/dev/null", output);

  runner.set_share_standard_streams(true);
  output.clear();
  EXPECT_EQ("", runner.Run({"tool"}, &output).message());
  char ours_in[4096] = {}, ours_err[4096] = {};
  ASSERT_GT(::readlink("/proc/self/fd/0", ours_in, sizeof ours_in - 1), 0);
  ASSERT_GT(::readlink("/proc/self/fd/2", ours_err, sizeof ours_err - 1), 0);
  EXPECT_EQ("hello||" + std::string(ours_in) + "|" + ours_err, output);
  ::close(ours);

  Program("c/tool", "exit 3");
  EXPECT_EQ("tool: exit status 3", runner.Run({"tool"}).message());
  Program("c/tool", "kill -9 $$");
  EXPECT_EQ("tool: ended by signal 9", runner.Run({"tool"}).message());
}

TEST_F(ProcessRunnerTest, AProgramOutOfTimeIsKilledWithWhatItStarted) {
  const std::string child_id = dir_.Join("child.pid");
  Program("bin/hang", "/bin/sleep 60 & echo $! > '" + child_id + "'; wait");
  ProcessRunner runner({"PATH=" + dir_.Join("bin")});
  runner.set_timeout_ms(300);
  EXPECT_EQ("hang: killed after 300 ms", runner.Run({"hang"}).message());
  std::ifstream in(child_id);
  int pid = 0;
  ASSERT_TRUE(in >> pid);
  // Gone, or a zombie waiting for a reaper.
  std::string state;
  for (int i = 0; i < 500; ++i) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
      state = "gone";
      break;
    }
    state = line.substr(line.rfind(')') + 2, 1);
    if (state == "Z") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(state == "gone" || state == "Z") << state;
}

}  // namespace
