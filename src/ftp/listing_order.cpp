#include "ftp/listing_order.h"

#include <algorithm>
#include <array>

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
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char x = kFolded[static_cast<unsigned char>(a[i])];
    const unsigned char y = kFolded[static_cast<unsigned char>(b[i])];
    if (x != y)
      return x < y;
  }
  if (a.size() != b.size())
    return a.size() < b.size();
  return a < b;
}

ListingNameBatches::ListingNameBatches(std::size_t budget) : budget_(budget) {}

void ListingNameBatches::BeginPass() {
  if (!batch_.empty()) {
    after_.assign(batch_.back());
    started_ = true;
  }
  batch_.clear();
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

const std::vector<std::string_view>& ListingNameBatches::EndPass() {
  SortSlots();
  const std::size_t kept = slots_.empty() ? 0 : FittingCount();
  more_ = bounded_ || kept < slots_.size();
  batch_.clear();
  for (std::size_t i = 0; i < kept; ++i)
    batch_.push_back(NameOf(slots_[i]));
  return batch_;
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
  SortSlots();
  const std::size_t kept = FittingCount();
  if (kept == slots_.size())
    return;
  bound_.assign(NameOf(slots_[kept]));
  bounded_ = true;
  std::string compact;
  compact.reserve(arena_.capacity());
  for (std::size_t i = 0; i < kept; ++i) {
    const std::string_view name = NameOf(slots_[i]);
    slots_[i].offset = static_cast<std::uint32_t>(compact.size());
    compact.append(name);
  }
  slots_.resize(kept);
  arena_.swap(compact);
}

}  // namespace vantrel
