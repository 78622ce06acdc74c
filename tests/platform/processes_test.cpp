// Work run in forked children.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>

#include "platform/child_process_posix.h"

namespace {

struct Report {
  int value = 0;
};

constexpr unsigned long long kBudget = 1ULL << 30;
constexpr int kTimeoutMs = 60000;

TEST(ChildProcessTest, ReportsWhatTheWorkReturnsAndFailsAChildWhoseWorkThrows) {
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

}  // namespace
