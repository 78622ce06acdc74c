#ifndef PLATFORM_INSTANCE_LOCK_H_
#define PLATFORM_INSTANCE_LOCK_H_

#include <string>

// Claims the right to run for this program file, held until the process ends
// however it ends (a crash or kill -9 must not leave a stale claim).
// Returns true in the first instance. In a later instance it brings the first
// instance's window forward (if there is a display) and returns false; on
// Windows it ends the process there instead, with ExitProcess(0).
// `program_path` is the program's path as started; `unique_name`, when not
// empty, replaces the name derived from that path.
bool ClaimSingleInstance(const std::string& program_path, const std::string& unique_name);

#endif  // PLATFORM_INSTANCE_LOCK_H_
