#pragma once

// The two tables of the account unit as the views get them: copies, one row a record,
// which each view (the window's lists, the web site's member list) formats and sorts on
// its own. Sorting a copy rather than the shared table is what keeps a column click in
// one view from reordering the rows another view is pointing at.

#include <cstdint>
#include <string>
#include <vector>

#include "accounts/ftp_user_data.h"
#include "common/date_time.h"

namespace vantrel {

struct AccountRow {
  AccountFields fields;
  std::string addr;        // connection key of the last login; empty: never
  DateTime last_time = 0;  // of the last login since the table was loaded; 0: none
};

struct OnlineClientRow {
  std::string key;  // the connection key, "address:port"
  std::string user;
  std::string current_directory;
  std::string action;
  std::int64_t connected_seconds = 0;
  bool encrypted = false;  // the control connection speaks TLS
};

// User, password, home, address, last time, virtual directories; an empty address, last
// time or virtual-directory list shows as "-".
std::vector<std::string> AccountCells(const AccountRow& row);

// Stable, so ties keep the order the rows had: columns 0 user, 1 password, 2 home,
// 3 address and 5 virtual directories ascending by byte value, 4 last time most recent
// first. False, rows untouched, for any other column.
bool SortAccountRows(std::vector<AccountRow>& rows, int column);

// Address, user, current directory, action, time connected ("45 s", "2.0 min").
std::vector<std::string> OnlineClientCells(const OnlineClientRow& row);

}  // namespace vantrel
