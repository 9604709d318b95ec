#include "accounts/online_clients.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vantrel {
namespace {

// Rounded to the millisecond first: a moment stored as a day fraction is a hair off whole
// seconds, and plain truncation would show 45 s as 44 s.
std::int64_t ElapsedSeconds(DateTime from, DateTime now) {
  const auto milliseconds = std::llround(std::fabs(now - from) * kSecondsPerDay * 1000.0);
  return milliseconds / 1000;
}

}  // namespace

OnlineClients::OnlineClients(const Clock& clock) : clock_(clock) {}

std::optional<OnlineClients::Row> OnlineClients::FindRowLocked(std::string_view key,
                                                               std::string_view clientid) {
  if (!clientid.empty()) {
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
      if (it->clientid == clientid)
        return it;
    }
    return std::nullopt;
  }
  const auto found = by_key_.find(key);
  if (found == by_key_.end())
    return std::nullopt;
  return found->second.back();
}

OnlineClient* OnlineClients::FindLocked(std::string_view key, std::string_view clientid) {
  const std::optional<Row> row = FindRowLocked(key, clientid);
  return row ? &**row : nullptr;
}

void OnlineClients::Add(std::string_view key, std::string_view clientid) {
  OnlineClient client{.key = std::string(key),
                      .clientid = std::string(clientid),
                      .user = {},
                      .current_directory = "/",
                      .action = "-",
                      .connected = clock_.Now()};
  std::lock_guard lock(mutex_);
  clients_.push_back(std::move(client));
  by_key_[clients_.back().key].push_back(std::prev(clients_.end()));
}

bool OnlineClients::SetUser(std::string_view key, std::string_view user,
                            std::string_view clientid) {
  std::lock_guard lock(mutex_);
  OnlineClient* client = FindLocked(key, clientid);
  if (client == nullptr)
    return false;
  client->user = std::string(user);
  return true;
}

bool OnlineClients::SetEncrypted(std::string_view key) {
  std::lock_guard lock(mutex_);
  OnlineClient* client = FindLocked(key, {});
  if (client == nullptr)
    return false;
  client->encrypted = true;
  return true;
}

bool OnlineClients::SetAction(std::string_view key, std::string_view action,
                              std::string_view clientid) {
  std::lock_guard lock(mutex_);
  OnlineClient* client = FindLocked(key, clientid);
  if (client == nullptr)
    return false;
  client->action = std::string(action);
  return true;
}

bool OnlineClients::SetActionPath(std::string_view key, std::string_view action,
                                  std::string_view path, std::string_view clientid) {
  std::lock_guard lock(mutex_);
  OnlineClient* client = FindLocked(key, clientid);
  if (client == nullptr)
    return false;
  client->action = std::string(action);
  client->current_directory = std::string(path);
  return true;
}

bool OnlineClients::Remove(std::string_view key, std::string_view clientid) {
  std::lock_guard lock(mutex_);
  const std::optional<Row> row = FindRowLocked(key, clientid);
  if (!row)
    return false;
  const auto indexed = by_key_.find((*row)->key);
  std::vector<Row>& rows = indexed->second;
  rows.erase(std::find(rows.begin(), rows.end(), *row));
  if (rows.empty())
    by_key_.erase(indexed);
  clients_.erase(*row);
  return true;
}

int OnlineClients::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(clients_.size());
}

int OnlineClients::EncryptedCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::ranges::count(clients_, true, &OnlineClient::encrypted));
}

void OnlineClients::Clear() {
  std::lock_guard lock(mutex_);
  by_key_.clear();
  clients_.clear();
}

std::vector<OnlineClientRow> OnlineClients::Rows() const {
  const DateTime now = clock_.Now();
  std::lock_guard lock(mutex_);
  std::vector<OnlineClientRow> rows;
  rows.reserve(clients_.size());
  for (const auto& c : clients_) {
    rows.push_back(OnlineClientRow{c.key, c.user, c.current_directory, c.action,
                                   ElapsedSeconds(c.connected, now), c.encrypted});
  }
  return rows;
}

}  // namespace vantrel
