#pragma once

// The order an operator gives a list by clicking its column headers: each click sorts
// the rows stably by that column, so the ties of the last column clicked keep the order
// the earlier clicks gave them. A view keeps the clicks, not a sorted table, and sorts
// every fresh copy of the rows again: rows that came since find their place, and no view
// reorders the rows another view shows.

#include <algorithm>
#include <vector>

namespace vantrel {

// Owned by one view; not shared between threads.
class ColumnSort {
 public:
  // A column clicked again moves to the end: sorting by it once more over rows it already
  // ordered changes nothing, so earlier clicks of it need not be repeated.
  void Click(int column) {
    std::erase(clicks_, column);
    clicks_.push_back(column);
  }

  // `sort_by(rows, column)` sorts stably by one column, and leaves the rows alone for a
  // column it has no order for.
  template <typename Rows, typename SortBy>
  void Apply(Rows& rows, SortBy sort_by) const {
    for (const int column : clicks_)
      sort_by(rows, column);
  }

 private:
  std::vector<int> clicks_;
};

}  // namespace vantrel
