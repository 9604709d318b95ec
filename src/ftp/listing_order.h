#pragma once

// The order listings show names in, and the way a host keeps to it for a directory too
// large to hold: "." and ".." first, then names without regard to (ASCII) case, names
// that differ only in case in byte order.
//
// ListingNameBatches hands out a directory's names in that order a bounded batch at a
// time. Each batch takes one pass over the names, keeping only the smallest of those after
// the last batch; names beyond the budget are dropped and found again by the next pass.
// A directory whose names fit the budget takes the one pass that sorting it whole takes;
// a larger one takes a pass per budget's worth of names, so the memory a listing holds
// stays the same however large the directory. The rejected alternative, holding every
// name sorted while the client reads, costs megabytes per listing of a large directory
// for as long as a client cares to stall. A name that appears while the passes go on may
// or may not be listed, as with any listing that reads a changing directory, but no name
// is listed twice.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

bool ListingNameLess(std::string_view a, std::string_view b);

// Used by the one thread that lists; names must be distinct within a pass.
class ListingNameBatches {
 public:
  static constexpr std::size_t kDefaultBudget = 512 * 1024;

  // `budget`: the bytes of names (and their bookkeeping) a batch may hold.
  explicit ListingNameBatches(std::size_t budget = kDefaultBudget);

  // Starts the pass that finds the next batch.
  void BeginPass();
  // Each name of the directory once per pass, in any order.
  void Offer(std::string_view name);
  // The batch in listing order, valid until the next BeginPass; empty when every name
  // has been handed out.
  const std::vector<std::string_view>& EndPass();
  // Whether another pass may find names: false once a pass kept every name it was offered.
  bool MoreToCome() const { return more_; }

 private:
  struct Slot {
    std::uint32_t offset;
    std::uint32_t size;
  };
  static constexpr std::size_t kSlotCost = sizeof(Slot);

  std::string_view NameOf(const Slot& slot) const {
    return {arena_.data() + slot.offset, slot.size};
  }
  void SortSlots();
  // How many of the sorted slots fit the budget (at least one).
  std::size_t FittingCount() const;
  // Keeps the names that fit the budget; the rest and any name after them are dropped.
  void Trim();

  std::size_t budget_;
  std::string arena_;  // the names of this pass, end to end
  std::vector<Slot> slots_;
  std::vector<std::string_view> batch_;
  std::string after_;  // the last name handed out; only later names are taken
  bool started_ = false;
  std::string bound_;  // this pass takes only names before it
  bool bounded_ = false;
  bool more_ = true;
};

}  // namespace vantrel
