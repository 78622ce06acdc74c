#include "app/single_instance_guard.h"

#include <cstdlib>

#include "config/paths.h"
#include "platform/instance_lock.h"

SingleInstanceGuard::SingleInstanceGuard(const std::string& unique_name) {
  const std::vector<std::string>& words = GetCommandLine();
  const std::string program = words.empty() ? std::string() : words[0];
  if (!ClaimSingleInstance(program, unique_name)) {
    first_instance_ = 0;
    std::_Exit(0);  // like ExitProcess: no static destructors, nothing written
  }
}
