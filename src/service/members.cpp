#include "service/members.h"

#include "accounts/users.h"
#include "log/log_queue.h"

namespace vantrel {

Members::Members(Users& users, LogQueue& log, std::string data_directory)
    : users_(users), log_(log), data_directory_(std::move(data_directory)) {}

MemberChange Members::Add(const AccountFields& fields) {
  std::lock_guard lock(mutex_);
  if (!users_.AddAccount(fields))
    return Refused("- Failed to add new account " + fields.user);
  return Saved("- New account added " + fields.user);
}

MemberChange Members::Update(const std::string& name, const AccountFields& fields) {
  std::lock_guard lock(mutex_);
  const bool name_taken = fields.user != name && users_.GetAccountByName(fields.user);
  if (name_taken || !users_.UpdateAccountByName(name, fields))
    return Refused("- Failed to modify account " + fields.user);
  return Saved("- Account modified " + fields.user);
}

MemberChange Members::Remove(const std::string& name) {
  std::lock_guard lock(mutex_);
  if (!users_.DeleteAccountByName(name))
    return Refused("- Failed to delete account " + name);
  return Saved("- Account deleted " + name);
}

bool Members::Reload() {
  std::lock_guard lock(mutex_);
  users_.ClearAccounts();
  return users_.LoadAccounts(data_directory_);
}

bool Members::Reread() {
  std::lock_guard lock(mutex_);
  return users_.LoadAccounts(data_directory_);
}

MemberChange Members::Saved(const std::string& line) {
  log_.LogLine(line);
  MemberChange change{true, {}};
  try {
    users_.SaveAccounts(data_directory_);
  } catch (const std::exception& failure) {
    change.save_failure = failure.what();
    log_.LogLine("- " + change.save_failure);
  }
  return change;
}

MemberChange Members::Refused(const std::string& line) {
  log_.LogLine(line);
  return MemberChange{};
}

}  // namespace vantrel
