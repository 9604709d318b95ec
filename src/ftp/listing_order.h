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
  // About 18,000 names of 20 characters take one pass; a directory of 200,000 such names
  // takes 12, which cost less than reading the facts of its entries once.
  static constexpr std::size_t kDefaultBudget = 512 * 1024;

  // `budget`: the bytes of names (and their bookkeeping) a batch may hold.
  explicit ListingNameBatches(std::size_t budget = kDefaultBudget);

  // Starts the pass that finds the next batch.
  void BeginPass();
  // Each name of the directory once per pass, in any order.
  void Offer(std::string_view name);
  // Ends the pass: how many names the batch holds, 0 when every name has been handed out.
  std::size_t EndPass();
  // The batch's names in listing order, valid until the next BeginPass.
  std::string_view Name(std::size_t index) const { return NameOf(slots_[index]); }
  // Whether another pass may find names: false once a pass kept every name it was offered.
  bool MoreToCome() const { return more_; }

 private:
  struct Slot {
    std::uint32_t offset;
    std::uint32_t size;
  };
  static constexpr std::size_t kSlotCost = sizeof(Slot);
  static constexpr std::size_t kLongestName = 4096;

  // What a pass may hold before it trims back to the budget: a quarter more, so that a
  // trim comes once per quarter budget of names.
  std::size_t Limit() const { return budget_ + budget_ / 4; }
  std::string_view NameOf(const Slot& slot) const {
    return {arena_.data() + slot.offset, slot.size};
  }
  void SortSlots();
  // How many of the sorted slots fit the budget (at least one).
  std::size_t FittingCount() const;
  // Keeps about the budget's worth of the smallest names; the rest and any name after
  // them are dropped from this pass.
  void Trim();

  std::size_t budget_;
  std::string arena_;        // the names of this pass, end to end
  std::vector<Slot> slots_;  // the batch is the first kept_
  std::size_t kept_ = 0;
  std::string after_;  // the last name handed out; only later names are taken
  bool started_ = false;
  std::string bound_;  // this pass takes only names before it
  bool bounded_ = false;
  bool more_ = true;
};

}  // namespace vantrel
