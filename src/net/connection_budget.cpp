#include "net/connection_budget.h"

#include <algorithm>
#include <stdexcept>

namespace vantrel {

int ConnectionBudget::CeilingFor(int open_file_limit) {
  return std::max(1, (open_file_limit - kReservedDescriptors) / kDescriptorsPerConnection);
}

ConnectionBudget::ConnectionBudget(int ceiling) : ceiling_(ceiling) {
  if (ceiling < 1)
    throw std::invalid_argument("a connection budget needs at least one place");
}

int ConnectionBudget::InUse() const {
  std::lock_guard lock(mutex_);
  return in_use_;
}

bool ConnectionBudget::TryTake() {
  std::lock_guard lock(mutex_);
  if (in_use_ >= ceiling_)
    return false;
  ++in_use_;
  return true;
}

void ConnectionBudget::Give() {
  std::lock_guard lock(mutex_);
  if (in_use_ == 0)
    throw std::logic_error("a connection place was given back twice");
  --in_use_;
}

}  // namespace vantrel
