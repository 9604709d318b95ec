#include "service/service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "accounts/users.h"
#include "config/settings.h"
#include "ftp/ftp_test_client.h"
#include "log/log_queue.h"
#include "log/statistics.h"
#include "service/refusal_log.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

using testing::FtpTestClient;

// Waits until `condition` holds, for events that land on connection threads.
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 200; ++i) {
    if (condition())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() {
    std::ofstream(dir_.File("ftpsettings.lst")) << "[ftpsettings]\nserverport=0\n";
    std::ofstream(dir_.File("ftpmembers.lst"))
        << "[ftpmembers]\nftpmembers=1\n[ftpmember0]\nuser=alice\npass=pw\nhome=" << dir_.path()
        << "\n";
    service_.Load();
  }
  ~ServiceTest() override { service_.Shutdown(); }

  int Port() const { return service_.FtpAddresses().at(0).port; }

  std::vector<std::string> DrainLog() {
    std::vector<std::string> lines;
    service_.LogTick([&lines](DateTime, const std::string& line) { lines.push_back(line); });
    return lines;
  }

  TempDir dir_;
  Service service_{dir_.path() + "/"};
};

TEST_F(ServiceTest, CountersAndOnlineTableFollowSessions) {
  service_.StartServer();
  ASSERT_TRUE(service_.IsRunning());
  EXPECT_GT(service_.ServerStartTime(), 0);
  {
    FtpTestClient member(Port());
    member.ReadReply();
    member.Ask("USER alice");
    EXPECT_EQ(member.Ask("PASS pw").substr(0, 3), "230");
    FtpTestClient failed(Port());
    failed.ReadReply();
    failed.Ask("USER alice");
    EXPECT_EQ(failed.Ask("PASS nope").substr(0, 3), "530");
    EXPECT_EQ(service_.users().OnlineCount(), 2);
    const auto lines = service_.users().RenderOnlineLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("||alice||"), std::string::npos) << lines[0];
  }
  EXPECT_TRUE(Eventually([this] { return service_.users().OnlineCount() == 0; }));
  EXPECT_EQ(service_.statistics().GetConnections(), 2);
  EXPECT_EQ(service_.statistics().GetSessions(), 1) << "failed logins do not count";
}

TEST_F(ServiceTest, BannedConnectionIsNotCountedOrListed) {
  service_.settings().AddBanned("127.0.0.1", "test");
  service_.StartServer();
  FtpTestClient banned(Port());
  EXPECT_EQ(banned.ReadUntilClosed(), "");
  EXPECT_EQ(service_.statistics().GetConnections(), 0);
  EXPECT_EQ(service_.users().OnlineCount(), 0);
}

TEST_F(ServiceTest, StopDropsClientsAndTotalsSurviveARestart) {
  service_.StartServer();
  FtpTestClient client(Port());
  client.ReadReply();
  service_.StopServer();
  EXPECT_FALSE(service_.IsRunning());
  EXPECT_EQ(service_.ServerStartTime(), 0);
  EXPECT_EQ(client.ReadUntilClosed(), "");
  service_.StartServer();
  EXPECT_EQ(service_.statistics().GetConnections(), 1);
  const auto lines = DrainLog();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "- Server stopped"), 1);
}

TEST_F(ServiceTest, LogTickWritesTheFileOnlyWhenAsked) {
  service_.settings().Update([this](SettingsData& s) {
    s.logtofile = true;
    s.logfile = dir_.File("ftp.log");
  });
  service_.ApplyLogFileSettings();
  service_.log().LogLine("- first");
  const auto shown = DrainLog();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), "- first");
  std::ifstream log(dir_.File("ftp.log"));
  std::string line;
  std::getline(log, line);
  EXPECT_NE(line.find("> - Running From ["), std::string::npos) << line;
}

TEST(RefusalLogTest, OneLinePerAddressPerMinuteWithinABoundedTable) {
  ManualClock clock;
  LogQueue log(clock, 2 * RefusalLog::kMaxAddresses);
  const auto drain = [&log] {
    std::vector<std::string> lines;
    std::string text;
    DateTime time = 0;
    while (log.PopLogLine(text, time))
      lines.push_back(text);
    return lines;
  };
  RefusalLog refusals(log, clock);
  for (const char* n : {"0", "1", "2"}) {
    refusals.Refused("10.0.0.1", std::string("a") + n);
    refusals.Refused("10.0.0.2", std::string("b") + n);
  }
  clock.AdvanceSeconds(59);
  refusals.Refused("10.0.0.1", "a late");
  EXPECT_EQ(drain(), (std::vector<std::string>{"a0", "b0"}));
  clock.AdvanceSeconds(1.5);
  refusals.Refused("10.0.0.1", "a next minute");
  EXPECT_EQ(drain(), std::vector<std::string>{"a next minute"});

  // A flood from more addresses than the table holds logs the first ones; once their
  // minute is over the table makes room again.
  RefusalLog flooded(log, clock);
  for (std::size_t i = 0; i < RefusalLog::kMaxAddresses + 10; ++i)
    flooded.Refused("10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256), "x");
  EXPECT_EQ(drain().size(), RefusalLog::kMaxAddresses);
  clock.AdvanceSeconds(61);
  flooded.Refused("10.9.9.9", "room again");
  EXPECT_EQ(drain(), std::vector<std::string>{"room again"});
}

}  // namespace
}  // namespace vantrel
