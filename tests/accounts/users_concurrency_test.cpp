#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "accounts/users.h"
#include "common/clock.h"

namespace vantrel {
namespace {

// Connection threads authenticate and ask permissions while the operator edits and copies
// the tables out; run under ThreadSanitizer this shows the one lock covers every path.
TEST(UsersConcurrency, HandlersAndEditorsInterleave) {
  ManualClock clock;
  Users users(clock);
  for (int i = 0; i < 4; ++i) {
    AccountFields account;
    account.user = "user" + std::to_string(i);
    account.pass = "pw";
    account.allow_download = true;
    users.AddAccount(account);
  }
  constexpr int kConnections = 4;
  constexpr int kRounds = 400;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kConnections; ++t) {
    threads.emplace_back([&, t] {
      const std::string key = "10.0.0." + std::to_string(t) + ":1000";
      const std::string user = "user" + std::to_string(t);
      users.AddOnlineClient("", "", key);
      for (int i = 0; i < kRounds; ++i) {
        if (!users.Authenticate(key, user, "pw") || !users.CanDownload(key, user, "pw"))
          ++failures;
        users.SetOnlineActionPath(key, "GET", "/file" + std::to_string(i));
        clock.AdvanceSeconds(1);
      }
      users.RemoveOnlineClient(key);
    });
  }
  threads.emplace_back([&] {
    for (int i = 0; i < kRounds; ++i) {
      const int index = users.FindAccount("user" + std::to_string(i % kConnections));
      auto fields = users.GetAccount(index);
      if (!fields) {
        ++failures;
        continue;
      }
      fields->upload = i;  // leaves name, password and flags as they are
      users.UpdateAccount(index, *fields);
      if (users.AccountRows().size() != kConnections)
        ++failures;
      users.OnlineClientRows();
    }
  });
  for (auto& thread : threads)
    thread.join();

  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(users.OnlineCount(), 0);
  for (int t = 0; t < kConnections; ++t) {
    const AccountRow row =
        users
            .AccountRows()[static_cast<std::size_t>(users.FindAccount("user" + std::to_string(t)))];
    EXPECT_EQ(row.addr, "10.0.0." + std::to_string(t) + ":1000");
  }
}

}  // namespace
}  // namespace vantrel
