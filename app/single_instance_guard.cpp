#include "app/single_instance_guard.h"

#include "platform/instance_lock/instance_lock.h"

SingleInstanceGuard::SingleInstanceGuard(const std::string& program_path,
                                         const std::string& unique_name) {
  first_instance_ = ClaimSingleInstance(program_path, unique_name, &problem_, &running_);
}
