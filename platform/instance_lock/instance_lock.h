#ifndef PLATFORM_INSTANCE_LOCK_INSTANCE_LOCK_H_
#define PLATFORM_INSTANCE_LOCK_INSTANCE_LOCK_H_

#include <ctime>
#include <string>

// The running copy that a later start found holding the claim.
struct RunningCopy {
  unsigned long pid = 0;    // its process id, 0 when unknown
  std::time_t started = 0;  // when it started, 0 when unknown
};

// Claims the right to run for this program file, held until the process ends
// however it ends (a crash or kill -9 must not leave a stale claim). One user
// has one claim per program file, whatever the session the start comes from;
// on Windows wallpaper-fetcher.com and the .exe beside it are one program.
// Returns true in the first instance. In a later instance it brings the first
// instance's window forward (if there is a display), lets go of what it took
// to check, and returns false: the caller ends the process.
// When the claim cannot be checked, it returns true as well (a run is better
// than every run skipped) and `*problem` says what happened, for the trace;
// otherwise `*problem` is empty, or names a lesser trouble the claim survived.
// `program_path` is the program's path as started; `unique_name`, when not
// empty, replaces the name derived from that path. In a later instance,
// `*running` (when given) says which copy holds the claim.
bool ClaimSingleInstance(const std::string& program_path, const std::string& unique_name,
                         std::string* problem, RunningCopy* running = nullptr);

#endif  // PLATFORM_INSTANCE_LOCK_INSTANCE_LOCK_H_
