#include "web/http_session.h"

#include <openssl/rand.h>

#include <algorithm>

#include "common/text.h"
#include "web/http_error.h"

namespace vantrel {
namespace {

constexpr double kMillisecondsPerDay = kSecondsPerDay * 1000.0;

// Bytes at or above this would favour the first letters of the alphabet; they are drawn
// again, so every character is equally likely.
constexpr unsigned kUnbiasedLimit = 256 - 256 % kSessionIdAlphabet.size();

}  // namespace

std::string NewSessionId() {
  std::string id;
  unsigned char random[32];
  while (id.size() < kSessionIdLength) {
    if (RAND_bytes(random, sizeof random) != 1)
      throw HttpError("The secure random source failed; no session can be created");
    for (const unsigned char byte : random) {
      if (byte < kUnbiasedLimit && id.size() < kSessionIdLength)
        id += kSessionIdAlphabet[byte % kSessionIdAlphabet.size()];
    }
  }
  return id;
}

HttpSessionList::HttpSessionList(const Clock& clock) : clock_(clock) {
  // Most servers see a handful of browsers; this only spares early reallocation.
  sessions_.reserve(128);
}

std::chrono::milliseconds HttpSessionList::SessionTimeout() const {
  std::lock_guard lock(mutex_);
  return timeout_;
}

void HttpSessionList::SetSessionTimeout(std::chrono::milliseconds timeout) {
  std::lock_guard lock(mutex_);
  timeout_ = timeout;
}

std::shared_ptr<HttpSession> HttpSessionList::GetSession(std::string_view id,
                                                         std::string_view remote_host) {
  std::lock_guard lock(mutex_);
  for (auto& entry : sessions_) {
    if (EqualsIgnoreCase(entry.session->SessionID(), id) &&
        (remote_host.empty() || EqualsIgnoreCase(entry.session->RemoteHost(), remote_host))) {
      entry.last_time_stamp = clock_.Now();
      return entry.session;
    }
  }
  return nullptr;
}

bool HttpSessionList::IdTakenLocked(std::string_view id, std::string_view remote_host) const {
  return std::any_of(sessions_.begin(), sessions_.end(), [&](const Entry& entry) {
    return EqualsIgnoreCase(entry.session->SessionID(), id) &&
           EqualsIgnoreCase(entry.session->RemoteHost(), remote_host);
  });
}

std::shared_ptr<HttpSession> HttpSessionList::CreateSession(std::string_view remote_host) {
  std::string id = NewSessionId();
  std::lock_guard lock(mutex_);
  while (IdTakenLocked(id, remote_host))
    id = NewSessionId();
  auto session = std::make_shared<HttpSession>(std::move(id), std::string(remote_host));
  sessions_.push_back(Entry{session, clock_.Now()});
  return session;
}

void HttpSessionList::PurgeStaleSessions() {
  std::vector<std::shared_ptr<HttpSession>> ended;
  {
    std::lock_guard lock(mutex_);
    const DateTime now = clock_.Now();
    const double limit = static_cast<double>(timeout_.count());
    // From the end, so the sessions that end are reported newest first.
    for (auto it = sessions_.end(); it != sessions_.begin();) {
      --it;
      if ((now - it->last_time_stamp) * kMillisecondsPerDay > limit) {
        ended.push_back(std::move(it->session));
        it = sessions_.erase(it);
      }
    }
  }
  if (OnSessionEnd) {
    for (const auto& session : ended)
      OnSessionEnd(*session);
  }
}

void HttpSessionList::Clear() {
  std::vector<Entry> all;
  {
    std::lock_guard lock(mutex_);
    all.swap(sessions_);
  }
}

int HttpSessionList::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(sessions_.size());
}

SessionCleaner::SessionCleaner(HttpSessionList& sessions, std::chrono::milliseconds period)
    : sessions_(sessions), period_(period), thread_([this] { Run(); }) {}

SessionCleaner::~SessionCleaner() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void SessionCleaner::Run() {
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, period_, [this] { return stopping_; })) {
    lock.unlock();
    try {
      sessions_.PurgeStaleSessions();
    } catch (...) {
      // A failing end-of-session handler must not stop the purging of the others.
    }
    lock.lock();
  }
}

}  // namespace vantrel
