#ifndef PLATFORM_PROCESS_CHILD_PROCESS_POSIX_H_
#define PLATFORM_PROCESS_CHILD_PROCESS_POSIX_H_

// Work that may crash, hang or take all the memory (a picture decoder fed
// from the web, a connection to an X server that may go away) runs in a
// forked child: whatever happens there, the program itself goes on.
//
// What the child's work may do. The child is a copy of a process that may
// have other threads: the download worker is joined before any fork, but a
// cancelled transfer can leave libcurl's resolver thread behind, blocked in
// a name lookup, and a test runner has threads of its own. Strictly, only
// async-signal-safe calls are allowed after fork in such a process, since a
// lock another thread held at the fork stays held in the child for ever.
// The program relies on more, and on why it holds with glibc:
// - memory allocation: glibc's fork takes the allocator's locks and frees
//   them in the child (so do the sanitizers' allocators), so new and malloc
//   work there;
// - streams and files the child opens itself (fopen, open): no other thread
//   can hold their locks; the standard streams (on /dev/null in the child)
//   are written by the program's main thread only, so theirs are free too;
// - loading libraries (dlopen, the picture decoder's FreeImage): glibc's
//   fork resets the dynamic loader's lock in the child;
// - no name lookup, no libcurl and nothing else the resolver thread may hold
//   a lock of.
// Should that ever fail, a child stuck on a lock is a child out of time: it
// is killed at its deadline and counts as failed, like any other.
//
// The child never returns into the caller's code: it ends with _exit after
// its work, also when the work throws, so that no destructor, atexit handler
// or test runner of the parent runs in it twice.

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "platform/filesystem/filesystem.h"
#include "platform/owned_handle.h"

// In the child before the work: standard streams on /dev/null, no core
// file, and at most `memory_budget` bytes of address space added to what it
// inherited.
void PrepareChild(unsigned long long memory_budget);

// The parent's side: reads `size` bytes of report from `fd` for at most
// `timeout_ms`, kills the child if they do not come, and reaps it. True when
// the whole report arrived.
bool ReceiveChildReport(OwnedFd fd, pid_t pid, void* report, size_t size, int timeout_ms);

// A child that holds a conversation with its parent: fixed-size messages
// both ways over a socket, and descriptors the parent hands down with them.
// Each wait for the child is bounded; a child that does not answer in time,
// or whose socket fails, is killed. The destructor kills and reaps a child
// still running.
class ChildConversation {
 public:
  ChildConversation() = default;
  ~ChildConversation() { End(); }
  ChildConversation(const ChildConversation&) = delete;
  ChildConversation& operator=(const ChildConversation&) = delete;

  // Forks a child that runs `work(socket)` after PrepareChild and ends with
  // _exit (also when the work throws). False when no child could start.
  template <typename Work>
  bool Start(Work work, unsigned long long memory_budget);
  // Receives exactly `size` bytes within `timeout_ms`; false (and the child
  // ended) otherwise.
  bool Receive(void* message, size_t size, int timeout_ms);
  // Sends `size` bytes and, when `fd` >= 0, a copy of that descriptor.
  // False (and the child ended) when the child cannot take them.
  bool Send(const void* message, size_t size, int fd = -1);
  // Kills the child if it still runs and reaps it.
  void End();

 private:
  pid_t pid_ = -1;
  int socket_ = -1;
};

// The child's side of a ChildConversation: sends `size` bytes.
bool SendToParent(int socket, const void* message, size_t size);
// Receives exactly `size` bytes; a descriptor sent with them goes to `*fd`
// (none when none came). False when the parent went away.
bool ReceiveFromParent(int socket, void* message, size_t size, OwnedFd* fd);

template <typename Work>
bool ChildConversation::Start(Work work, unsigned long long memory_budget) {
  End();
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  if (pid == 0) {
    ::close(fds[0]);
    PrepareChild(memory_budget);
    try {
      work(fds[1]);
    } catch (...) {
      ::_exit(1);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  pid_ = pid;
  socket_ = fds[0];
  return true;
}

// Runs `work` (returning a `Report`, a plain struct) in a child process and
// waits at most `timeout_ms` for it. False when the child could not start,
// died, or ran out of time.
template <typename Report, typename Work>
bool RunInChild(Work work, unsigned long long memory_budget, int timeout_ms, Report* report) {
  static_assert(std::is_trivially_copyable<Report>::value, "a report crosses a pipe as bytes");
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  OwnedFd read_end(fds[0]);
  OwnedFd write_end(fds[1]);
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    read_end.Close();
    PrepareChild(memory_budget);
    Report result;
    try {
      result = work();
    } catch (...) {
      ::_exit(1);  // no report: a failed child
    }
    const bool sent =
        WriteAllBytes(write_end.get(), reinterpret_cast<const char*>(&result), sizeof(result));
    ::_exit(sent ? 0 : 1);
  }
  write_end.Close();
  return ReceiveChildReport(std::move(read_end), pid, report, sizeof(Report), timeout_ms);
}

#endif  // PLATFORM_PROCESS_CHILD_PROCESS_POSIX_H_
