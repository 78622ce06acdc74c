#include "app/single_instance_guard.h"

#include <cstdlib>

#include "config/paths.h"
#include "platform/instance_lock/instance_lock.h"

namespace {

std::string& Problem() {
  static std::string problem;
  return problem;
}

}  // namespace

SingleInstanceGuard::SingleInstanceGuard(const std::string& unique_name) {
  const std::vector<std::string>& words = GetCommandLine();
  const std::string program = words.empty() ? std::string() : words[0];
  if (!ClaimSingleInstance(program, unique_name, &Problem())) {
    first_instance_ = 0;
    std::_Exit(0);  // like ExitProcess: no static destructors, nothing written
  }
}

const std::string& SingleInstanceProblem() { return Problem(); }
