#pragma once

// The descriptors the process can afford at once, FTP and web together. Past the
// descriptor limit the next accept, data connection or file open fails; a server that
// let idle clients take the last descriptors would fail the logged-in clients' LIST and
// RETR instead of refusing the newcomers, and one that set aside a data connection and a
// file for every connection would turn clients away with two thirds of its descriptors
// unused. So every descriptor a session opens is taken from this budget first, for as
// long as it is open: a connection's own socket for the whole session, a data
// connection, a passive listener, a file or a directory only while a command needs it.
//
// The budget is the limit less a reserve for the process's own descriptors (listeners,
// log and state files, TLS set-up, the desktop program's display connection). New
// connections may not take the last part of it, the headroom, which stays for the
// transfers of the sessions already admitted; transfers may take everything left.
// Places come back through DescriptorGrant, so an error path cannot leak one.

#include <mutex>
#include <optional>

namespace vantrel {

class ConnectionBudget;

// Descriptors taken from a budget, given back when the grant goes. A grant from no budget
// (default-made) stands for descriptors nobody counts. Owned by whoever holds the
// descriptors; used by one thread at a time.
class DescriptorGrant {
 public:
  DescriptorGrant() = default;
  DescriptorGrant(DescriptorGrant&& other) noexcept;
  DescriptorGrant& operator=(DescriptorGrant&& other) noexcept;
  ~DescriptorGrant();

  int Count() const { return count_; }
  // Moves `count` of this grant's descriptors (at most all) into a grant of their own,
  // for a descriptor that goes elsewhere.
  DescriptorGrant Split(int count);

 private:
  friend class ConnectionBudget;
  DescriptorGrant(ConnectionBudget* budget, int count) : budget_(budget), count_(count) {}
  void GiveBack();

  ConnectionBudget* budget_ = nullptr;
  int count_ = 0;
};

// Owned by the service host and shared by its engines, which must be stopped (and every
// grant gone) before it goes; any thread may take and give back places.
class ConnectionBudget {
 public:
  static constexpr int kReservedDescriptors = 128;
  // The share of the budget that new connections leave for transfers: a sixteenth, and
  // at least what one transfer holds (a passive listener, its connection and a file).
  static constexpr int kHeadroomShare = 16;
  static constexpr int kLeastHeadroom = 3;

  // The descriptors a process that may hold `open_file_limit` can hand out to sessions.
  static int CapacityFor(int open_file_limit);

  explicit ConnectionBudget(int capacity);
  ConnectionBudget(const ConnectionBudget&) = delete;
  ConnectionBudget& operator=(const ConnectionBudget&) = delete;

  int Capacity() const { return capacity_; }
  // The most connections at once while no transfer holds a descriptor.
  int Ceiling() const { return capacity_ - headroom_; }
  int InUse() const;
  // A connection's own descriptor, unless it would eat into the headroom.
  std::optional<DescriptorGrant> TryTakeConnection();
  // `count` descriptors for a running command, as long as any are left.
  std::optional<DescriptorGrant> TryTake(int count);

 private:
  friend class DescriptorGrant;
  std::optional<DescriptorGrant> TakeWithin(int count, int limit);
  void Give(int count);

  const int capacity_;
  const int headroom_;
  mutable std::mutex mutex_;
  int in_use_ = 0;  // guarded by mutex_
};

}  // namespace vantrel
