#include "accounts/user_rows.h"

#include <algorithm>

#include "common/duration_text.h"

namespace vantrel {
namespace {

std::string DashIfEmpty(const std::string& text) {
  return text.empty() ? "-" : text;
}

template <typename Order>
bool StableSort(std::vector<AccountRow>& rows, Order order) {
  std::stable_sort(rows.begin(), rows.end(), order);
  return true;
}

bool ByText(std::vector<AccountRow>& rows, std::string AccountFields::*field) {
  return StableSort(rows, [field](const AccountRow& a, const AccountRow& b) {
    return a.fields.*field < b.fields.*field;
  });
}

}  // namespace

std::vector<std::string> AccountCells(const AccountRow& row) {
  const AccountFields& a = row.fields;
  return {a.user,
          a.pass,
          a.home,
          DashIfEmpty(row.addr),
          row.last_time == 0 ? "-" : FormatLocalDateTime(row.last_time),
          DashIfEmpty(a.virtualdir)};
}

bool SortAccountRows(std::vector<AccountRow>& rows, int column) {
  switch (column) {
    case 0:
      return ByText(rows, &AccountFields::user);
    case 1:
      return ByText(rows, &AccountFields::pass);
    case 2:
      return ByText(rows, &AccountFields::home);
    case 3:
      return StableSort(rows,
                        [](const AccountRow& a, const AccountRow& b) { return a.addr < b.addr; });
    case 4:
      return StableSort(
          rows, [](const AccountRow& a, const AccountRow& b) { return a.last_time > b.last_time; });
    case 5:
      return ByText(rows, &AccountFields::virtualdir);
    default:
      return false;
  }
}

std::vector<std::string> OnlineClientCells(const OnlineClientRow& row) {
  return {row.encrypted ? row.key + " TLS" : row.key, row.user, row.current_directory, row.action,
          FormatDuration(row.connected_seconds)};
}

}  // namespace vantrel
