#pragma once

// Builds the session records: a member's at a login with the right password, the
// anonymous one from the settings, and a fresh one whenever the account table or the
// settings have moved on since a record was built. The rebuild goes by the account's name:
// an account deleted or renamed meanwhile leaves the session with no rights at all,
// never with another account's or the anonymous ones.

#include <memory>
#include <string_view>

#include "accounts/session_record.h"

namespace vantrel {

class Settings;
class Users;

// Owned by the service host; any connection thread may call it. It keeps no state of its
// own: the account table and the settings guard theirs.
class SessionRecords {
 public:
  SessionRecords(Users& users, const Settings& settings);

  // The member's record when `password` is the account's own (noting the login on the
  // account); null otherwise.
  std::shared_ptr<const SessionRecord> MemberLogin(std::string_view key, std::string_view user,
                                                   std::string_view password) const;
  // `password` is what the user gave, kept in the record (and its rebuilds).
  std::shared_ptr<const SessionRecord> Anonymous(std::string_view password = {}) const;
  // `record` itself while neither table moved since it was built, else its rebuild.
  std::shared_ptr<const SessionRecord> Current(
      const std::shared_ptr<const SessionRecord>& record) const;

 private:
  Users& users_;
  const Settings& settings_;
};

}  // namespace vantrel
