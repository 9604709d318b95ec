#include "net/connection_budget.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace vantrel {

DescriptorGrant::DescriptorGrant(DescriptorGrant&& other) noexcept
    : budget_(std::exchange(other.budget_, nullptr)), count_(std::exchange(other.count_, 0)) {}

DescriptorGrant& DescriptorGrant::operator=(DescriptorGrant&& other) noexcept {
  if (this != &other) {
    GiveBack();
    budget_ = std::exchange(other.budget_, nullptr);
    count_ = std::exchange(other.count_, 0);
  }
  return *this;
}

DescriptorGrant::~DescriptorGrant() {
  GiveBack();
}

DescriptorGrant DescriptorGrant::Split(int count) {
  count = std::clamp(count, 0, count_);
  count_ -= count;
  return DescriptorGrant(budget_, count);
}

void DescriptorGrant::GiveBack() {
  if (budget_ && count_ > 0)
    budget_->Give(count_);
  budget_ = nullptr;
  count_ = 0;
}

int ConnectionBudget::CapacityFor(int open_file_limit) {
  return std::max(1 + kLeastHeadroom, open_file_limit - kReservedDescriptors);
}

ConnectionBudget::ConnectionBudget(int capacity)
    : capacity_(capacity), headroom_(std::max(kLeastHeadroom, capacity / kHeadroomShare)) {
  if (capacity <= kLeastHeadroom)
    throw std::invalid_argument("a connection budget needs room for a connection and a transfer");
}

int ConnectionBudget::InUse() const {
  std::lock_guard lock(mutex_);
  return in_use_;
}

std::optional<DescriptorGrant> ConnectionBudget::TryTakeConnection() {
  return TakeWithin(1, Ceiling());
}

std::optional<DescriptorGrant> ConnectionBudget::TryTake(int count) {
  return TakeWithin(count, capacity_);
}

std::optional<DescriptorGrant> ConnectionBudget::TakeWithin(int count, int limit) {
  if (count < 0)
    throw std::invalid_argument("a negative number of descriptors");
  std::lock_guard lock(mutex_);
  if (in_use_ + count > limit)
    return std::nullopt;
  in_use_ += count;
  return DescriptorGrant(this, count);
}

void ConnectionBudget::Give(int count) {
  std::lock_guard lock(mutex_);
  if (count > in_use_)
    throw std::logic_error("more descriptors given back than were taken");
  in_use_ -= count;
}

}  // namespace vantrel
