#include "ftp/listing_order.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vantrel {
namespace {

constexpr std::array<unsigned char, 256> kFolded = [] {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return table;
}();

int Rank(std::string_view name) {
  return name == "." ? 0 : name == ".." ? 1 : 2;
}

}  // namespace

bool ListingNameLess(std::string_view a, std::string_view b) {
  const int rank_a = Rank(a);
  const int rank_b = Rank(b);
  if (rank_a != rank_b)
    return rank_a < rank_b;
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0;; ++i) {
    // Bytes that are equal as they stand are equal folded: skip them a word at a time,
    // since the names of one directory often share long beginnings.
    for (std::uint64_t x, y; i + 8 <= common; i += 8) {
      std::memcpy(&x, a.data() + i, 8);
      std::memcpy(&y, b.data() + i, 8);
      if (x != y)
        break;
    }
    while (i < common && a[i] == b[i])
      ++i;
    if (i == common)
      break;
    const unsigned char x = kFolded[static_cast<unsigned char>(a[i])];
    const unsigned char y = kFolded[static_cast<unsigned char>(b[i])];
    if (x != y)
      return x < y;
  }
  if (a.size() != b.size())
    return a.size() < b.size();
  return a < b;
}

ListingNameBatches::ListingNameBatches(std::size_t budget) : budget_(budget) {
  // Once, so that the names never move to a larger copy: the arena stays within bounds.
  arena_.reserve(Limit() + kLongestName);
}

void ListingNameBatches::BeginPass() {
  if (kept_ > 0) {
    after_.assign(Name(kept_ - 1));
    started_ = true;
  }
  kept_ = 0;
  arena_.clear();
  slots_.clear();
  bounded_ = false;
}

void ListingNameBatches::Offer(std::string_view name) {
  if (started_ && !ListingNameLess(after_, name))
    return;
  if (bounded_ && !ListingNameLess(name, bound_))
    return;
  slots_.push_back(
      {static_cast<std::uint32_t>(arena_.size()), static_cast<std::uint32_t>(name.size())});
  arena_.append(name);
  // Half a budget of slack, so that trimming happens once per half a budget of names.
  if (arena_.size() + slots_.size() * kSlotCost > budget_ + budget_ / 2)
    Trim();
}

std::size_t ListingNameBatches::EndPass() {
  SortSlots();
  kept_ = slots_.empty() ? 0 : FittingCount();
  more_ = bounded_ || kept_ < slots_.size();
  return kept_;
}

void ListingNameBatches::SortSlots() {
  std::sort(slots_.begin(), slots_.end(),
            [this](const Slot& a, const Slot& b) { return ListingNameLess(NameOf(a), NameOf(b)); });
}

std::size_t ListingNameBatches::FittingCount() const {
  std::size_t used = 0;
  std::size_t count = 0;
  for (const Slot& slot : slots_) {
    used += slot.size + kSlotCost;
    if (used > budget_ && count > 0)
      break;
    ++count;
  }
  return count;
}

void ListingNameBatches::Trim() {
  // About the budget's worth of the smallest names, found without sorting them all; the
  // end of the pass sorts what is left and keeps exactly what fits.
  const std::size_t used = arena_.size() + slots_.size() * kSlotCost;
  const std::size_t kept = std::max<std::size_t>(1, slots_.size() * budget_ / used);
  if (kept >= slots_.size())
    return;  // one name beyond the budget: a batch has at least one
  std::nth_element(
      slots_.begin(), slots_.begin() + static_cast<std::ptrdiff_t>(kept), slots_.end(),
      [this](const Slot& a, const Slot& b) { return ListingNameLess(NameOf(a), NameOf(b)); });
  bound_.assign(NameOf(slots_[kept]));
  bounded_ = true;
  // Packed where they are, front to back: nothing is allocated pass after pass.
  slots_.resize(kept);
  std::sort(slots_.begin(), slots_.end(),
            [](const Slot& a, const Slot& b) { return a.offset < b.offset; });
  std::uint32_t end = 0;
  for (Slot& slot : slots_) {
    std::memmove(arena_.data() + end, arena_.data() + slot.offset, slot.size);
    slot.offset = end;
    end += slot.size;
  }
  arena_.resize(end);
}

}  // namespace vantrel
