#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "accounts/online_clients.h"
#include "accounts/session_records.h"
#include "accounts/users.h"
#include "common/clock.h"
#include "config/settings.h"

namespace vantrel {
namespace {

AccountFields Member(const std::string& name) {
  AccountFields account;
  account.user = name;
  account.pass = "pw";
  account.home = "/home/" + name;
  account.allow_download = true;
  return account;
}

// The window and the web site change members by name at the same time while sessions log
// in, bring their records up to date and note their actions; run under ThreadSanitizer
// this shows that the one lock covers every path and that no session ever holds a record
// of an account that is not its own.
TEST(UsersConcurrency, TwoFrontEndsAndSessionsInterleave) {
  ManualClock clock;
  Users users(clock);
  Settings settings;
  SessionRecords records(users, settings);
  OnlineClients online(clock);
  constexpr int kSessions = 4;
  constexpr int kRounds = 300;
  for (int i = 0; i < kSessions; ++i)
    users.AddAccount(Member("user" + std::to_string(i)));
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kSessions; ++t) {
    threads.emplace_back([&, t] {
      const std::string key = "10.0.0." + std::to_string(t) + ":1000";
      const std::string user = "user" + std::to_string(t);
      online.Add(key);
      auto record = records.MemberLogin(key, user, "pw");
      for (int i = 0; i < kRounds && record; ++i) {
        record = records.Current(record);
        if (record->kind == SessionRecord::Kind::kMember && record->name != user)
          ++failures;
        online.SetActionPath(key, "GET", "/file" + std::to_string(i));
        clock.AdvanceSeconds(1);
      }
      if (!record)
        ++failures;
      online.Remove(key);
    });
  }
  // Each front end edits its own members and one both share.
  for (const std::string front_end : {"window", "web"}) {
    threads.emplace_back([&, front_end] {
      for (int i = 0; i < kRounds; ++i) {
        const std::string own = front_end + std::to_string(i % 3);
        if (!users.AddAccount(Member(own)) && !users.DeleteAccountByName(own))
          ++failures;
        AccountFields shared = Member("user" + std::to_string(i % kSessions));
        shared.upload = i;
        if (!users.UpdateAccountByName(shared.user, shared))
          ++failures;
        if (users.AccountRows().size() < kSessions)
          ++failures;
        online.Rows();
      }
    });
  }
  for (auto& thread : threads)
    thread.join();

  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(online.Count(), 0);
  for (int t = 0; t < kSessions; ++t) {
    const AccountRow row =
        users
            .AccountRows()[static_cast<std::size_t>(users.FindAccount("user" + std::to_string(t)))];
    EXPECT_EQ(row.addr, "10.0.0." + std::to_string(t) + ":1000");
  }
}

}  // namespace
}  // namespace vantrel
