// Sessions: IDs, binding to the creating address, expiry on a hand-moved clock, and the
// cleaner thread's period and prompt stop.

#include "web/http_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <set>
#include <thread>

namespace vantrel {
namespace {

using namespace std::chrono_literals;

TEST(SessionIdTest, FifteenCharactersOfTheAlphabetAndNoRepeats) {
  std::set<std::string> seen;
  std::set<char> used;
  for (int i = 0; i < 2000; ++i) {
    const std::string id = NewSessionId();
    ASSERT_EQ(id.size(), kSessionIdLength);
    for (const char c : id) {
      ASSERT_NE(kSessionIdAlphabet.find(c), std::string_view::npos) << id;
      used.insert(c);
    }
    EXPECT_TRUE(seen.insert(id).second) << "repeated ID " << id;
  }
  // 30000 draws leave no letter of a uniform source unused.
  EXPECT_EQ(used.size(), kSessionIdAlphabet.size());
}

class SessionListTest : public ::testing::Test {
 protected:
  SessionListTest() { list_.SetSessionTimeout(60000ms); }

  ManualClock clock_;
  HttpSessionList list_{clock_};
};

TEST_F(SessionListTest, BoundToTheCreatingAddressIdIgnoresCase) {
  const auto session = list_.CreateSession("127.0.0.1");
  const std::string id = session->SessionID();
  std::string other_case = id;
  for (char& c : other_case)
    c = static_cast<char>(std::islower(static_cast<unsigned char>(c)) ? std::toupper(c)
                                                                      : std::tolower(c));
  EXPECT_EQ(list_.GetSession(id, "127.0.0.1"), session);
  EXPECT_EQ(list_.GetSession(other_case, "127.0.0.1"), session);
  EXPECT_EQ(list_.GetSession(id, "127.0.0.2"), nullptr);
  EXPECT_EQ(list_.GetSession("nonexistent12345", "127.0.0.1"), nullptr);
  EXPECT_EQ(session->RemoteHost(), "127.0.0.1");
}

TEST_F(SessionListTest, StaleOnlyAfterTheTimeOutAndUseRefreshes) {
  std::vector<std::string> ended;
  list_.OnSessionEnd = [&ended](HttpSession& s) { ended.push_back(s.SessionID()); };
  const auto used = list_.CreateSession("10.0.0.1");
  const auto idle = list_.CreateSession("10.0.0.1");

  clock_.AdvanceSeconds(50);
  ASSERT_TRUE(list_.GetSession(used->SessionID(), "10.0.0.1"));
  clock_.AdvanceSeconds(9.99);  // idle just under the time-out
  list_.PurgeStaleSessions();
  EXPECT_EQ(list_.Count(), 2);
  EXPECT_TRUE(ended.empty());

  clock_.AdvanceSeconds(0.02);
  list_.PurgeStaleSessions();
  EXPECT_EQ(ended, std::vector<std::string>{idle->SessionID()});
  EXPECT_EQ(list_.GetSession(idle->SessionID(), "10.0.0.1"), nullptr);
  EXPECT_NE(list_.GetSession(used->SessionID(), "10.0.0.1"), nullptr);
}

TEST_F(SessionListTest, PurgedSessionStaysUsableByItsHolder) {
  auto session = list_.CreateSession("10.0.0.1");
  session->WithContent([](NameValueList& content) { content.SetValue("username", "admin"); });
  clock_.AdvanceSeconds(61);
  list_.PurgeStaleSessions();
  EXPECT_EQ(list_.Count(), 0);
  EXPECT_EQ(session->WithContent([](NameValueList& content) { return content.Value("username"); }),
            "admin");
}

TEST_F(SessionListTest, ClearRaisesNoEvents) {
  int ended = 0;
  list_.OnSessionEnd = [&ended](HttpSession&) { ++ended; };
  list_.CreateSession("10.0.0.1");
  list_.Clear();
  EXPECT_EQ(list_.Count(), 0);
  EXPECT_EQ(ended, 0);
}

TEST(SessionCleanerTest, PurgesEachPeriodAndStopsAtOnce) {
  HttpSessionList list;
  list.SetSessionTimeout(1ms);
  std::atomic<int> ended{0};
  list.OnSessionEnd = [&ended](HttpSession&) { ++ended; };
  list.CreateSession("10.0.0.1");
  {
    SessionCleaner cleaner(list, 20ms);
    for (int i = 0; i < 200 && ended.load() == 0; ++i)
      std::this_thread::sleep_for(10ms);
    EXPECT_EQ(ended.load(), 1);
  }
  // The default period is a second; stopping must not wait for it.
  const auto start = std::chrono::steady_clock::now();
  { SessionCleaner cleaner(list); }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
}

}  // namespace
}  // namespace vantrel
