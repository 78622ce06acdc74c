#ifndef APP_SINGLE_INSTANCE_GUARD_H_
#define APP_SINGLE_INSTANCE_GUARD_H_

#include <string>

// Constructed first of all: when another instance of the same program file is
// running, brings it forward and ends this process with exit code 0 without
// reading Sites.ini or writing anything. The claim lasts as long as the
// process.
class SingleInstanceGuard {
 public:
  explicit SingleInstanceGuard(const std::string& unique_name = "");
  virtual ~SingleInstanceGuard() = default;

 private:
  int first_instance_ = 1;
};

// What went wrong with the guard's claim in this process, "" when nothing
// did. The guard runs before Sites.ini is read, so the run traces this once
// it knows whether it is in debug mode.
const std::string& SingleInstanceProblem();

#endif  // APP_SINGLE_INSTANCE_GUARD_H_
