#pragma once

// The one way to change a member account, whichever front end asks: the window's buttons
// and the web site's forms both come here. A change names its account, never a row
// index, so an edit from one front end cannot land on the account another has just moved
// into that row. The change, the save of the accounts file and the log line happen under
// one lock: saves follow the changes in their order, and a rename's check that the new
// name is free still holds when the rename is made.

#include <mutex>
#include <string>

namespace vantrel {

class LogQueue;
class Users;
struct AccountFields;

// What a member operation did, for the front end to show.
struct MemberChange {
  bool changed = false;      // false: nothing changed (a name taken, or no such account)
  std::string save_failure;  // set: changed in memory, but the accounts file is behind
};

// Owned by the service host; any thread (the main thread, the web site's connection
// threads).
class Members {
 public:
  Members(Users& users, LogQueue& log, std::string data_directory);

  // Refused when an account of that name exists.
  MemberChange Add(const AccountFields& fields);
  // Replaces every field of the account named `name`, which may be renamed; the address
  // and time of its last login stay. Refused when there is no such account, or when the
  // new name belongs to another account: two accounts of one name would leave the second
  // beyond every by-name edit and every login.
  MemberChange Update(const std::string& name, const AccountFields& fields);
  MemberChange Remove(const std::string& name);
  // Replaces the table with the accounts file's: false, table empty, when it cannot be
  // read (see Users::LoadFailure).
  bool Reload();
  // The same, but a file that is missing or cannot be read leaves the table as it is:
  // a running server keeps serving the accounts it has.
  bool Reread();

 private:
  MemberChange Saved(const std::string& line);
  MemberChange Refused(const std::string& line);

  Users& users_;
  LogQueue& log_;
  const std::string data_directory_;
  std::mutex mutex_;  // orders the changes and their saves
};

}  // namespace vantrel
