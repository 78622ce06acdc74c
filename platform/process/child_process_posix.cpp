#include "platform/process/child_process_posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstring>

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

namespace {

// Reads exactly `size` bytes from `fd` until `deadline`; a descriptor that
// comes with them goes to `*passed` (closed when `passed` is null).
bool ReceiveBytes(int fd, void* message, size_t size, int* passed,
                  const std::chrono::steady_clock::time_point* deadline) {
  char* bytes = static_cast<char*>(message);
  size_t got = 0;
  while (got < size) {
    if (deadline != nullptr) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          *deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      struct pollfd poll_fd = {fd, POLLIN, 0};
      const int ready = ::poll(&poll_fd, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return false;
    }
    struct iovec part = {bytes + got, size - got};
    alignas(struct cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    struct msghdr header = {};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd, &header, MSG_CMSG_CLOEXEC);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    for (struct cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
      int received = -1;
      std::memcpy(&received, CMSG_DATA(c), sizeof received);
      if (passed != nullptr && *passed < 0) {
        *passed = received;
      } else {
        ::close(received);
      }
    }
    got += static_cast<size_t>(n);
  }
  return true;
}

bool SendBytes(int socket, const void* message, size_t size, int fd) {
  const char* bytes = static_cast<const char*>(message);
  size_t done = 0;
  while (done < size) {
    struct iovec part = {const_cast<char*>(bytes + done), size - done};
    alignas(struct cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    struct msghdr header = {};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    if (fd >= 0 && done == 0) {
      header.msg_control = control;
      header.msg_controllen = sizeof control;
      struct cmsghdr* c = CMSG_FIRSTHDR(&header);
      c->cmsg_level = SOL_SOCKET;
      c->cmsg_type = SCM_RIGHTS;
      c->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    }
    const ssize_t n = ::sendmsg(socket, &header, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool ChildConversation::Receive(void* message, size_t size, int timeout_ms) {
  if (pid_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  if (ReceiveBytes(socket_, message, size, nullptr, &deadline)) return true;
  End();
  return false;
}

bool ChildConversation::Send(const void* message, size_t size, int fd) {
  if (pid_ < 0) return false;
  if (SendBytes(socket_, message, size, fd)) return true;
  End();
  return false;
}

void ChildConversation::End() {
  if (pid_ < 0) return;
  ::close(socket_);
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  socket_ = -1;
}

bool SendToParent(int socket, const void* message, size_t size) {
  return SendBytes(socket, message, size, -1);
}

bool ReceiveFromParent(int socket, void* message, size_t size, OwnedFd* fd) {
  int received = -1;
  const bool ok = ReceiveBytes(socket, message, size, &received, nullptr);
  *fd = OwnedFd(received);
  return ok;
}
