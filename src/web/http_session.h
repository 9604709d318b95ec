#pragma once

// Server-side sessions of the web engine, named by a random ID that the browser returns in
// the "HTTPSESSIONID" cookie and bound to the address that created them.
//
// The list hands out shared pointers: a request that is still running when the cleaner
// purges its session keeps a live object, so a purge can never free a session under a
// connection thread's feet. Once purged, a session is simply no longer found.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/clock.h"
#include "web/name_value_list.h"

namespace vantrel {

// 15 characters of kSessionIdAlphabet from the system's secure random source; throws
// HttpError when that source fails (a predictable ID would hand out logins).
std::string NewSessionId();
inline constexpr std::string_view kSessionIdAlphabet =
    "qwertzuiopasdfghjklyxcvbnmQWERTZUIOPASDFGHJKLYXCVBNM1234567890";
inline constexpr std::size_t kSessionIdLength = 15;

// Created by the list; any connection thread of its browser may use it. The ID and the
// remote host never change; the content is touched only inside WithContent.
class HttpSession {
 public:
  HttpSession(std::string id, std::string remote_host)
      : id_(std::move(id)), remote_host_(std::move(remote_host)) {}

  const std::string& SessionID() const { return id_; }
  const std::string& RemoteHost() const { return remote_host_; }

  // Runs `use` on the content under the session's own lock.
  template <typename Fn>
  auto WithContent(Fn&& use) {
    std::lock_guard lock(mutex_);
    return use(content_);
  }

 private:
  const std::string id_;
  const std::string remote_host_;
  std::mutex mutex_;
  NameValueList content_;  // guarded by mutex_
};

// Owned by the web engine; lookups and creation come from connection threads, purging from
// the cleaner thread, Clear from the controlling thread. The events run on the calling
// thread after the list's lock is released, so they may use the list.
class HttpSessionList {
 public:
  explicit HttpSessionList(const Clock& clock = DefaultClock());

  std::chrono::milliseconds SessionTimeout() const;
  void SetSessionTimeout(std::chrono::milliseconds timeout);

  // The session with that ID (ignoring case) created by `remote_host`, its time stamp
  // refreshed; null when there is none.
  std::shared_ptr<HttpSession> GetSession(std::string_view id, std::string_view remote_host);
  // A new session with a fresh ID for `remote_host`, already in the list.
  std::shared_ptr<HttpSession> CreateSession(std::string_view remote_host);
  // Removes every session idle for longer than the time-out, raising OnSessionEnd for each.
  void PurgeStaleSessions();
  // Removes every session without raising events (the engine is stopping).
  void Clear();
  int Count() const;

  std::function<void(HttpSession&)> OnSessionEnd;

 private:
  struct Entry {
    std::shared_ptr<HttpSession> session;
    DateTime last_time_stamp;
  };
  bool IdTakenLocked(std::string_view id, std::string_view remote_host) const;

  const Clock& clock_;
  mutable std::mutex mutex_;
  std::vector<Entry> sessions_;               // guarded by mutex_
  std::chrono::milliseconds timeout_{60000};  // guarded by mutex_
};

// Runs the list's purge once a period in a thread of its own, from construction until
// destruction. Owned by the engine while it is active; its stop wakes the thread at once.
class SessionCleaner {
 public:
  static constexpr std::chrono::milliseconds kPeriod{1000};

  explicit SessionCleaner(HttpSessionList& sessions, std::chrono::milliseconds period = kPeriod);
  ~SessionCleaner();
  SessionCleaner(const SessionCleaner&) = delete;
  SessionCleaner& operator=(const SessionCleaner&) = delete;

 private:
  void Run();

  HttpSessionList& sessions_;
  const std::chrono::milliseconds period_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace vantrel
