#pragma once

// The connections the process can afford at once, FTP and web together. Each connection
// thread may hold its own socket, a data connection and an open file; past the
// descriptor limit the next accept, data connection or file open fails, and a server
// that lets idle clients take the last descriptors fails the logged-in clients' LIST and
// RETR instead of refusing the newcomers. So the ceiling is derived from the limit, with
// a reserve for the process's own descriptors (listeners, log file, settings saves, the
// desktop program's display connection), and an engine takes a place before it starts a
// session and refuses the client when none is left.

#include <mutex>

namespace vantrel {

// Owned by the service host and shared by its engines, which must be stopped before it
// goes; any thread may take and give back places.
class ConnectionBudget {
 public:
  static constexpr int kDescriptorsPerConnection = 3;
  static constexpr int kReservedDescriptors = 128;

  // The ceiling for a process that may hold `open_file_limit` descriptors (at least one).
  static int CeilingFor(int open_file_limit);

  explicit ConnectionBudget(int ceiling);
  ConnectionBudget(const ConnectionBudget&) = delete;
  ConnectionBudget& operator=(const ConnectionBudget&) = delete;

  int Ceiling() const { return ceiling_; }
  int InUse() const;
  // Takes one place; false when every place is taken.
  bool TryTake();
  // Gives back a place taken with TryTake.
  void Give();

 private:
  const int ceiling_;
  mutable std::mutex mutex_;
  int in_use_ = 0;  // guarded by mutex_
};

}  // namespace vantrel
