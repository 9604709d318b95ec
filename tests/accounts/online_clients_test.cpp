#include "accounts/online_clients.h"

#include <gtest/gtest.h>

#include "common/clock.h"

namespace vantrel {
namespace {

// Each client as the clients list shows it, its cells joined by "||".
std::vector<std::string> Shown(const OnlineClients& online) {
  std::vector<std::string> lines;
  for (const OnlineClientRow& row : online.Rows()) {
    std::string line;
    for (const std::string& cell : OnlineClientCells(row))
      line += cell + "||";
    lines.push_back(line);
  }
  return lines;
}

class OnlineClientsTest : public ::testing::Test {
 protected:
  ManualClock clock_;
  OnlineClients online_{clock_};
};

TEST_F(OnlineClientsTest, ElapsedTimeText) {
  const struct {
    double seconds;
    const char* text;
  } kCases[] = {{0, "0 s"},       {45, "45 s"},       {120, "120 s"},
                {121, "2.0 min"}, {3599, "60.0 min"}, {3600, "60.0 min"},
                {3601, "1.0 h"},  {5400, "1.5 h"},    {86400 * 3, "72.0 h"}};
  for (const auto& c : kCases) {
    OnlineClients online(clock_);
    online.Add("10.0.0.1:1000");
    clock_.AdvanceSeconds(c.seconds);
    EXPECT_EQ(Shown(online)[0], std::string("10.0.0.1:1000||||/||-||") + c.text + "||")
        << c.seconds;
  }
}

TEST_F(OnlineClientsTest, LifeOfOneConnection) {
  online_.Add("10.0.0.1:1000");
  ASSERT_TRUE(online_.SetAction("10.0.0.1:1000", "CONNECT"));
  EXPECT_EQ(Shown(online_)[0], "10.0.0.1:1000||||/||CONNECT||0 s||");
  ASSERT_TRUE(online_.SetUser("10.0.0.1:1000", "bob"));
  ASSERT_TRUE(online_.SetActionPath("10.0.0.1:1000", "GET", "/pub/a.txt"));
  EXPECT_EQ(Shown(online_)[0], "10.0.0.1:1000||bob||/pub/a.txt||GET||0 s||");
  // After AUTH TLS the address says so; the key itself stays what lookups use.
  ASSERT_TRUE(online_.SetEncrypted("10.0.0.1:1000"));
  EXPECT_EQ(Shown(online_)[0], "10.0.0.1:1000 TLS||bob||/pub/a.txt||GET||0 s||");
  ASSERT_TRUE(online_.SetAction("10.0.0.1:1000", "LIST"));

  EXPECT_TRUE(online_.Remove("10.0.0.1:1000"));
  EXPECT_FALSE(online_.Remove("10.0.0.1:1000"));
  EXPECT_EQ(online_.Count(), 0);
  EXPECT_FALSE(online_.SetAction("10.0.0.1:1000", "DISCONN"));
  EXPECT_FALSE(online_.SetUser("10.0.0.1:1000", "x"));
  EXPECT_FALSE(online_.SetActionPath("10.0.0.1:1000", "x", "/"));
  EXPECT_FALSE(online_.SetEncrypted("10.0.0.1:1000"));
}

TEST_F(OnlineClientsTest, SharedKeyFindsNewestAndClientIdWins) {
  online_.Add("10.0.0.1:1000");
  online_.Add("10.0.0.2:2000");
  online_.Add("10.0.0.1:1000");
  online_.Add("10.0.0.1:1000", "id-7");
  ASSERT_TRUE(online_.SetAction("10.0.0.1:1000", "LIST"));
  ASSERT_TRUE(online_.SetAction("ignored", "MKDIR", "id-7"));
  const auto lines = Shown(online_);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "10.0.0.1:1000||||/||-||0 s||");
  EXPECT_EQ(lines[2], "10.0.0.1:1000||||/||-||0 s||");
  // The newest entry of the key is the one with the client id; lookups by key still find it.
  EXPECT_EQ(lines[3], "10.0.0.1:1000||||/||MKDIR||0 s||");

  ASSERT_TRUE(online_.Remove("", "id-7"));
  ASSERT_TRUE(online_.SetAction("10.0.0.1:1000", "RMDIR"));
  EXPECT_EQ(Shown(online_)[2], "10.0.0.1:1000||||/||RMDIR||0 s||");
  EXPECT_FALSE(online_.Remove("10.0.0.1:1000", "unknown-id"));
  online_.Clear();
  EXPECT_EQ(online_.Count(), 0);
  EXPECT_TRUE(Shown(online_).empty());
}

}  // namespace
}  // namespace vantrel
