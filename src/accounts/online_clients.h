#pragma once

// The table of connected clients the main window and the web site show: one row per
// connection, named by its key, with the user it logged in as, its last action and where
// that happened. Rows are looked up from the newest: a peer that reconnects from the same
// port before its old row is gone updates its new row.
//
// Every command of every session updates its row, so rows are found through an index by
// key rather than a walk over the table, which with ten thousand sessions would make each
// command (and each session's end) cost ten thousand comparisons under the one lock.

#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "accounts/user_rows.h"
#include "common/clock.h"

namespace vantrel {

struct OnlineClient {
  std::string key;                // the connection key
  std::string clientid;           // optional identifier that names the client instead
  std::string user;               // empty until a login
  std::string current_directory;  // FTP path written with the last action
  std::string action;             // last action word
  DateTime connected = 0;         // when the connection was accepted
  bool encrypted = false;         // the control connection speaks TLS
};

// Owned by the service host; every method may be called from any thread.
class OnlineClients {
 public:
  explicit OnlineClients(const Clock& clock = DefaultClock());

  // A non-empty clientid names the client instead of its key; the FTP handlers pass none.
  void Add(std::string_view key, std::string_view clientid = {});
  // Each is false when no row has that key (or clientid).
  bool SetUser(std::string_view key, std::string_view user, std::string_view clientid = {});
  bool SetAction(std::string_view key, std::string_view action, std::string_view clientid = {});
  bool SetActionPath(std::string_view key, std::string_view action, std::string_view path,
                     std::string_view clientid = {});
  bool SetEncrypted(std::string_view key);
  bool Remove(std::string_view key, std::string_view clientid = {});
  int Count() const;
  int EncryptedCount() const;
  void Clear();
  // A copy of the table, in arrival order.
  std::vector<OnlineClientRow> Rows() const;

 private:
  using Row = std::list<OnlineClient>::iterator;
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const {
      return std::hash<std::string_view>{}(key);
    }
  };
  // Null when no row has that key (or clientid).
  OnlineClient* FindLocked(std::string_view key, std::string_view clientid);
  std::optional<Row> FindRowLocked(std::string_view key, std::string_view clientid);

  const Clock& clock_;
  mutable std::mutex mutex_;
  std::list<OnlineClient> clients_;  // guarded by mutex_; in arrival order
  // The rows of each key, newest last.
  std::unordered_map<std::string, std::vector<Row>, KeyHash, std::equal_to<>>
      by_key_;  // guarded by mutex_
};

}  // namespace vantrel
