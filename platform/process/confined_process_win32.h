#ifndef PLATFORM_PROCESS_CONFINED_PROCESS_WIN32_H_
#define PLATFORM_PROCESS_CONFINED_PROCESS_WIN32_H_

// Work that may crash, hang or take all the memory (a picture decoder fed
// from the web) runs in a child: this same program, started with an
// internal option, confined as far as Windows lets a user's program confine
// another:
// - a restricted token (every privilege but the one to walk folders
//   removed, the Administrators group for denying only) at low integrity:
//   the child can write to no file, key or process of the user's, and
//   cannot send input to the user's windows;
// - inside a job object of its own: at most one process (it starts no
//   other), at most `memory_limit` bytes committed, no access to the
//   clipboard, the desktop's settings (the wallpaper!), other processes'
//   windows or global atoms, killed when it lets an exception through, and
//   killed when the parent's handle of the job goes: when the parent ends,
//   however it ends;
// - it inherits only the handles it is given, no standard handle and no
//   console window.
// The parent holds a conversation with it over two pipes: blocking sends
// and receives, each receive bounded in time. A watchdog thread also
// measures the child's committed memory (its peak), and kills it on a
// deadline or over the limit; the job's own limit makes the allocation
// fail first, the watchdog is for the systems that do not enforce it.
// A child killed, crashed or gone is a failed receive, never the parent's
// end.

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "platform/owned_handle.h"

class ConfinedProcess {
 public:
  ConfinedProcess() = default;
  ~ConfinedProcess();
  ConfinedProcess(const ConfinedProcess&) = delete;
  ConfinedProcess& operator=(const ConfinedProcess&) = delete;

  // Starts this program as `option` followed by `arguments`, then the
  // handles of its conversation and `handed` (inheritable handles of the
  // parent's, which the child receives as the same values): see
  // ConfinedChildHandles. False when the child or its confinement could
  // not be set up: then nothing runs.
  bool Start(const std::string& option, const std::vector<std::string>& arguments,
             const std::vector<HANDLE>& handed, unsigned long long memory_limit);

  // Sends `size` bytes to the child. False when it is gone.
  bool Send(const void* data, size_t size);
  // Receives exactly `size` bytes within `timeout_ms`. False when they do
  // not come in time, the child ends, or its memory went over the limit
  // (the child is then ended).
  bool Receive(void* data, size_t size, int timeout_ms);
  // Ends the child if it still runs. Also done by the destructor.
  void End();

  // True when the child was ended for its memory.
  bool exceeded_memory() const { return exceeded_memory_; }

 private:
  bool Confine(HANDLE process);
  void Watch();
  bool WithinMemoryLimit();
  void Kill();

  OwnedHandle job_;
  OwnedHandle process_;
  OwnedHandle to_child_;
  OwnedHandle from_child_;
  OwnedHandle stop_watching_;
  std::thread watchdog_;
  unsigned long long memory_limit_ = 0;
  std::atomic<unsigned long long> deadline_{0};  // GetTickCount64; 0: none
  std::atomic<bool> exceeded_memory_{false};
};

// The child's side: the handles after `option` on its command line.
struct ConfinedChildHandles {
  HANDLE from_parent = nullptr;
  HANDLE to_parent = nullptr;
  std::vector<HANDLE> handed;
  std::vector<std::string> arguments;
};

// True when `words` (the command line, the program first) start this
// program as a confined child for `option`, with `argument_count`
// arguments; then fills `handles`. The child also leaves the system's
// crash reporting: an exception it lets through ends it at once.
bool IsConfinedChild(const std::vector<std::string>& words, const std::string& option,
                     size_t argument_count, ConfinedChildHandles* handles);

// Blocking whole reads and writes of a pipe or file. False on its end or
// an error.
bool ReadWhole(HANDLE handle, void* data, size_t size);
bool WriteWhole(HANDLE handle, const void* data, size_t size);

#endif  // PLATFORM_PROCESS_CONFINED_PROCESS_WIN32_H_
