#pragma once

// The member accounts and the table of connected clients. Both live under one re-entrant
// lock because the permission checks authenticate (which writes the account's address and
// last time) and then read the account again, and that pair must not be split by a
// concurrent edit. Everything handed out is a copy, so no caller keeps a pointer into a
// table after the lock is released.

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

  // --- account table ---
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
  // Moves with every change to the table's accounts (not with a login's address and time),
  // so a holder of an earlier copy can tell that it is stale.
  std::uint64_t Generation() const;

  // --- questions of the FTP handlers ---
  // On success notes `key` as the account's address and now as its last time.
  bool Authenticate(std::string_view key, std::string_view user, std::string_view pass);
  std::string GetHomeDirectory(std::string_view user) const;
  std::string GetVirtualDirectories(std::string_view user) const;
  int GetDownloadLimit(std::string_view user) const;
  int GetUploadLimit(std::string_view user) const;
  // Each authenticates first and is false when that fails.
  bool CanDownload(std::string_view key, std::string_view user, std::string_view pass);
  // Also false when the extension of the file's name occurs in the account's filecontrol
  // text, ignoring letter case (a substring test, so ".ex" is found inside ".exe;").
  bool CanUpload(std::string_view key, std::string_view user, std::string_view pass,
                 std::string_view file_name);
  bool CanRename(std::string_view key, std::string_view user, std::string_view pass);
  bool CanChangeDirectory(std::string_view key, std::string_view user, std::string_view pass);
  bool CanMakeDirectory(std::string_view key, std::string_view user, std::string_view pass);
  bool CanDeleteFile(std::string_view key, std::string_view user, std::string_view pass);
  bool CanRemoveDirectory(std::string_view key, std::string_view user, std::string_view pass);

  // --- online clients ---
  // A non-empty clientid names the client instead of its key; the FTP handlers pass none.
  bool AddOnlineClient(std::string_view user, std::string_view pass, std::string_view key,
                       std::string_view clientid = {});
  bool SetOnlineUser(std::string_view key, std::string_view user, std::string_view pass,
                     std::string_view clientid = {});
  bool SetOnlineAction(std::string_view key, std::string_view action,
                       std::string_view clientid = {});
  bool SetOnlineActionPath(std::string_view key, std::string_view action, std::string_view path,
                           std::string_view clientid = {});
  bool RemoveOnlineClient(std::string_view key, std::string_view clientid = {});
  int OnlineCount() const;
  void ClearOnlineClients();
  // A copy of the table, in arrival order.
  std::vector<OnlineClientRow> OnlineClientRows() const;

 private:
  const FtpUserData* FindAccountLocked(std::string_view name) const;
  FtpUserData* FindOnlineLocked(std::string_view key, std::string_view clientid);
  bool Check(std::string_view key, std::string_view user, std::string_view pass,
             bool FtpUserData::*flag);

  const Clock& clock_;
  mutable std::recursive_mutex mutex_;
  std::vector<FtpUserData> accounts_;  // guarded by mutex_
  std::vector<FtpUserData> online_;    // guarded by mutex_
  LoadState load_state_;               // guarded by mutex_
  std::uint64_t generation_ = 0;       // guarded by mutex_
};

}  // namespace vantrel
