#include "platform/child_process_posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>

namespace {

long long AddressSpaceInUse() {
  const Owned<std::FILE, std::fclose> statm(std::fopen("/proc/self/statm", "r"));
  if (!statm) return -1;
  unsigned long long pages = 0;
  const bool ok = std::fscanf(statm.get(), "%llu", &pages) == 1;
  return ok ? static_cast<long long>(pages *
                                     static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE)))
            : -1;
}

}  // namespace

void PrepareChild(unsigned long long memory_budget) {
  const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null_fd >= 0) {
    ::dup2(null_fd, STDIN_FILENO);
    ::dup2(null_fd, STDOUT_FILENO);
    ::dup2(null_fd, STDERR_FILENO);
  }
  struct rlimit no_core = {0, 0};
  ::setrlimit(RLIMIT_CORE, &no_core);
  const long long in_use = AddressSpaceInUse();
  struct rlimit current;
  if (in_use > 0 && ::getrlimit(RLIMIT_AS, &current) == 0) {
    const rlim_t wanted = static_cast<rlim_t>(in_use) + memory_budget;
    if (current.rlim_cur == RLIM_INFINITY || current.rlim_cur > wanted) {
      struct rlimit bounded = {wanted, current.rlim_max};
      ::setrlimit(RLIMIT_AS, &bounded);
    }
  }
}

bool ReceiveChildReport(OwnedFd fd, pid_t pid, void* report, size_t size, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  char* bytes = static_cast<char*>(report);
  size_t got = 0;
  bool ended = false;
  while (got < size && !ended) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    struct pollfd poll_fd = {fd.get(), POLLIN, 0};
    const int ready = ::poll(&poll_fd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const ssize_t n = ::read(fd.get(), bytes + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ended = true;
    else
      got += static_cast<size_t>(n);
  }
  fd.Close();
  const bool complete = got == size;
  if (!complete) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return complete;
}
