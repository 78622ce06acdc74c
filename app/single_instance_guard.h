#ifndef APP_SINGLE_INSTANCE_GUARD_H_
#define APP_SINGLE_INSTANCE_GUARD_H_

#include <string>

#include "platform/instance_lock/instance_lock.h"

// Constructed first of all, from the program's path as started: claims the
// right to run for this program file, for as long as the process lasts. When
// another instance is running, the claim brings it forward and the process
// is to end at once with exit code 0 (first_instance() is false), without
// reading Sites.ini or writing anything.
class SingleInstanceGuard {
 public:
  explicit SingleInstanceGuard(const std::string& program_path,
                               const std::string& unique_name = "");
  virtual ~SingleInstanceGuard() = default;

  bool first_instance() const { return first_instance_; }
  // What went wrong with the claim, "" when nothing did. The guard runs
  // before Sites.ini is read, so the run traces this once it knows whether
  // it is in debug mode.
  const std::string& problem() const { return problem_; }
  // In a later instance: the copy that runs (what is known of it).
  const RunningCopy& running_copy() const { return running_; }

 private:
  bool first_instance_ = true;
  std::string problem_;
  RunningCopy running_;
};

#endif  // APP_SINGLE_INSTANCE_GUARD_H_
