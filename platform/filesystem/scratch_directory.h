#ifndef PLATFORM_FILESYSTEM_SCRATCH_DIRECTORY_H_
#define PLATFORM_FILESYSTEM_SCRATCH_DIRECTORY_H_

#include <string>

#include "platform/outcome.h"

// A private directory for files that must not outlive the process (the
// downloads of a check): created empty under the system's temporary
// directory, for its owner only, and removed with the files in it when the
// object goes, when the process exits, and when it is interrupted (POSIX:
// SIGINT, SIGTERM, SIGHUP; Windows: Ctrl-C, Ctrl-Break, closing the
// console), after which the interruption takes its usual course. One at a
// time per process; the directory holds files only.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // The directory with a trailing separator; "" when it could not be made.
  const std::string& path() const { return path_; }
  // Ok when it was made, else why not.
  const Outcome& outcome() const { return outcome_; }

 private:
  std::string path_;
  Outcome outcome_;
};

#endif  // PLATFORM_FILESYSTEM_SCRATCH_DIRECTORY_H_
