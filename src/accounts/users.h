#pragma once

// The member accounts. A login is checked here once and leaves its address and time on the
// account; what the session may do afterwards is carried by its SessionRecord, which is
// rebuilt by name when the table's generation has moved, so the table answers no question
// per command and needs no re-entrant lock. Everything handed out is a copy, so no caller
// keeps a pointer into the table after the lock is released.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/ftp_user_data.h"
#include "accounts/user_rows.h"
#include "common/clock.h"
#include "config/load_state.h"

namespace vantrel {

// Owned by the service host; every method may be called from any thread (connection
// threads, the main window, the web pages).
class Users {
 public:
  static constexpr const char* kFileName = "ftpmembers.lst";
  // A corrupt count must not make loading allocate without bound.
  static constexpr int kMaxAccounts = 100000;

  explicit Users(const Clock& clock = DefaultClock());

  void ClearAccounts();
  // Reads `directory` + kFileName. False, table unchanged, when the file does not exist
  // or cannot be read (LoadFailure then says why).
  bool LoadAccounts(const std::string& directory);
  // Why the last load could not read an existing file; empty when it could or none was.
  std::string LoadFailure() const;
  // Writes every account; sections of a larger earlier count stay in the file, inert.
  // Throws Error("Unable to write to ...") and leaves the previous file intact; refuses
  // so while the last load could not read the file.
  void SaveAccounts(const std::string& directory) const;
  int AccountCount() const;
  // Index of the first account with exactly that name, or -1.
  int FindAccount(std::string_view name) const;
  std::optional<AccountFields> GetAccount(int index) const;
  // Leaves the address and last time alone. False when the index is out of range.
  bool UpdateAccount(int index, const AccountFields& fields);
  // False, nothing added, when an account of that name exists.
  bool AddAccount(const AccountFields& fields);
  bool DeleteAccount(int index);
  // The same, for the account of that name, looked up and changed in one locked step so
  // that another editor cannot shift the indexes in between.
  std::optional<AccountFields> GetAccountByName(std::string_view name) const;
  bool UpdateAccountByName(std::string_view name, const AccountFields& fields);
  bool DeleteAccountByName(std::string_view name);
  // A copy of the table, in its order.
  std::vector<AccountRow> AccountRows() const;

  // A member's login: the account when the password is its own, after noting `key` as
  // its address and now as its last time; nothing otherwise.
  std::optional<AccountFields> Login(std::string_view key, std::string_view user,
                                     std::string_view pass);
  // Moves on with every change to what the accounts grant (adding, updating, deleting,
  // loading, clearing), never with a login; a session whose record carries an older
  // figure rebuilds it, and a view holding an older copy of the rows knows it is stale.
  std::uint64_t Generation() const { return generation_.load(); }

 private:
  void ChangedLocked() { generation_.fetch_add(1); }

  const Clock& clock_;
  mutable std::mutex mutex_;
  std::vector<FtpUserData> accounts_;  // guarded by mutex_
  LoadState load_state_;               // guarded by mutex_
  // Written under mutex_; read without it by sessions checking their record.
  std::atomic<std::uint64_t> generation_{1};
};

}  // namespace vantrel
