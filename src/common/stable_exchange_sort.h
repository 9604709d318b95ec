#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace vantrel {

// The lists the operator sorts by clicking a column are sorted with adjacent exchanges
// that never swap equal entries, so a second click on another column keeps the earlier
// order among ties. std::stable_sort gives the same result; this form makes the
// "swap only when out of order" contract explicit for the column predicates.
template <typename T, typename OutOfOrder>
void StableExchangeSort(std::vector<T>& items, OutOfOrder out_of_order) {
  if (items.size() < 2)
    return;
  for (std::size_t pass = 0; pass + 1 < items.size(); ++pass) {
    bool swapped = false;
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
      if (out_of_order(items[i], items[i + 1])) {
        std::swap(items[i], items[i + 1]);
        swapped = true;
      }
    }
    if (!swapped)
      return;
  }
}

}  // namespace vantrel
