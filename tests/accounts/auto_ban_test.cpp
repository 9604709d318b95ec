#include "accounts/auto_ban.h"

#include <gtest/gtest.h>

#include "common/connection_key.h"
#include "config/settings.h"
#include "log/log_queue.h"

namespace vantrel {
namespace {

class AutoBanTest : public ::testing::Test {
 protected:
  AutoBanTest() {
    settings_.Update([](SettingsData& s) {
      s.autoban = true;
      s.autoban_logins = 10;
      s.autoban_downloads = 10;
      s.autoban_mkdir = 5;
      s.autoban_minutes = 2;
    });
  }
  std::string Banned() const { return settings_.Get(&SettingsData::bannedlist); }
  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    std::string text;
    DateTime time;
    while (log_.PopLogLine(text, time))
      lines.push_back(text);
    return lines;
  }
  // Fails `count` times from the address, each time from a new peer port.
  int FailFromNewPorts(BanRule rule, const char* address, int count) {
    int bans = 0;
    for (int i = 0; i < count; ++i) {
      bans += ban_.RecordFailure(rule, ConnectionKey(address, 4000 + next_port_++), "bob") ? 1 : 0;
    }
    return bans;
  }

  ManualClock clock_;
  Settings settings_;
  LogQueue log_{clock_};
  AutoBan ban_{settings_, log_, clock_};
  int next_port_ = 0;
};

TEST_F(AutoBanTest, EachRuleBansOnePastItsThresholdAcrossConnections) {
  const struct {
    BanRule rule;
    int threshold;
    const char* entry;
    const char* log_text;  // "" for none
  } kRules[] = {
      {BanRule::kLogin, 10, "10.0.0.5=autoban (login);", "> AutoBan (login)"},
      {BanRule::kDownload, 10, "10.0.0.5=autoban (get);", ""},
      {BanRule::kMakeDirectory, 5, "10.0.0.5=autoban (mkdir);", "> AutoBan (mk/chg dir)"},
      {BanRule::kChangeDirectory, 5, "10.0.0.5=autoban (mk/chg dir);", "> AutoBan (mk/chg dir)"},
  };
  for (const auto& r : kRules) {
    settings_.Update([](SettingsData& s) { s.bannedlist.clear(); });
    ban_.ResetAutoBan();
    LogLines();
    EXPECT_EQ(FailFromNewPorts(r.rule, "10.0.0.5", r.threshold), 0) << r.entry;
    EXPECT_EQ(FailFromNewPorts(r.rule, "10.0.0.6", 1), 0) << r.entry;
    EXPECT_EQ(Banned(), "") << r.entry;
    EXPECT_EQ(FailFromNewPorts(r.rule, "10.0.0.5", 1), 1) << r.entry;
    EXPECT_EQ(Banned(), r.entry);
    const auto lines = LogLines();
    if (*r.log_text == '\0') {
      EXPECT_TRUE(lines.empty()) << r.entry;
    } else {
      ASSERT_EQ(lines.size(), 1u) << r.entry;
      EXPECT_EQ(lines[0], ConnectionKey("10.0.0.5", 4000 + next_port_ - 1) + ", bob" + r.log_text);
    }
    // Further failures of a banned address add no second entry.
    EXPECT_EQ(FailFromNewPorts(r.rule, "10.0.0.5", 3), 0) << r.entry;
    EXPECT_EQ(Banned(), r.entry);
  }
}

TEST_F(AutoBanTest, SwitchAndThresholdsDisable) {
  settings_.Update([](SettingsData& s) { s.autoban_mkdir = 0; });
  FailFromNewPorts(BanRule::kMakeDirectory, "10.0.0.5", 20);
  FailFromNewPorts(BanRule::kChangeDirectory, "10.0.0.5", 20);
  EXPECT_EQ(ban_.CountDirectoryFailures("10.0.0.5:1", 0), 0);
  EXPECT_EQ(FailFromNewPorts(BanRule::kLogin, "10.0.0.5", 11), 1);

  settings_.Update([](SettingsData& s) { s.autoban = false; });
  FailFromNewPorts(BanRule::kDownload, "10.0.0.7", 20);
  EXPECT_EQ(ban_.CountDownloadFailures("10.0.0.7:1", 0), 0);
  EXPECT_EQ(Banned(), "10.0.0.5=autoban (login);");
}

TEST_F(AutoBanTest, FailuresSpreadWiderThanTheWindowNeverBan) {
  settings_.Update([](SettingsData& s) { s.autoban_logins = 2; });
  for (int i = 0; i < 10; ++i) {
    EXPECT_FALSE(ban_.RecordFailure(BanRule::kLogin, "10.0.0.5:1", "bob")) << i;
    clock_.AdvanceSeconds(61);
  }
  EXPECT_EQ(ban_.CountLoginFailures("10.0.0.5:1", 2), 1);   // 61 s old; the one before 122 s
  EXPECT_EQ(ban_.CountLoginFailures("10.0.0.5:1", 0), 10);  // window 0 counts all
  clock_.AdvanceSeconds(-60);
  EXPECT_TRUE(ban_.RecordFailure(BanRule::kLogin, "10.0.0.5:2", "bob"));
}

TEST_F(AutoBanTest, PurgeDropsOnlyOldRecordsOfEveryTable) {
  ban_.AddLoginFailure("10.0.0.5:1");
  ban_.AddDownloadFailure("10.0.0.5:1");
  ban_.AddDirectoryFailure("10.0.0.5:1");
  clock_.AdvanceSeconds(100);
  ban_.AddLoginFailure("10.0.0.5:2");
  clock_.AdvanceSeconds(30);  // first records 130 s old, the last one 30 s
  ban_.PurgeAutoBan(2);
  EXPECT_EQ(ban_.CountLoginFailures("10.0.0.5:9", 0), 1);
  EXPECT_EQ(ban_.CountDownloadFailures("10.0.0.5:9", 0), 0);
  EXPECT_EQ(ban_.CountDirectoryFailures("10.0.0.5:9", 0), 0);
}

TEST_F(AutoBanTest, ForgiveRemovesOneRecordOfTheAddress) {
  ban_.AddLoginFailure("10.0.0.5:1");
  ban_.AddLoginFailure("10.0.0.6:1");
  ban_.AddLoginFailure("10.0.0.5:2");
  EXPECT_TRUE(ban_.ForgiveLoginFailure("10.0.0.5:3"));
  EXPECT_EQ(ban_.CountLoginFailures("10.0.0.5:3", 0), 1);
  EXPECT_EQ(ban_.CountLoginFailures("10.0.0.6:3", 0), 1);
  EXPECT_TRUE(ban_.ForgiveLoginFailure("10.0.0.5:3"));
  EXPECT_FALSE(ban_.ForgiveLoginFailure("10.0.0.5:3"));
  EXPECT_FALSE(ban_.ForgiveDownloadFailure("10.0.0.6:1"));
  EXPECT_FALSE(ban_.ForgiveDirectoryFailure("10.0.0.6:1"));

  ban_.AddDirectoryFailure("::1:5000");
  ban_.AddDirectoryFailure("::1:5001");
  EXPECT_EQ(ban_.CountDirectoryFailures("::1:6000", 0), 2);
  EXPECT_TRUE(ban_.ForgiveDirectoryFailure("::1:7"));
  EXPECT_EQ(ban_.CountDirectoryFailures("::1:6000", 0), 1);
}

TEST(TimeBetween, AbsoluteDifferenceInEachUnit) {
  const DateTime a = 46000.25, b = a + 1.5 / 24;
  EXPECT_DOUBLE_EQ(MinutesBetween(b, a), 90);
  EXPECT_DOUBLE_EQ(HoursBetween(a, b), 1.5);
  EXPECT_NEAR(SecondsBetween(a, b), 5400, 1e-6);
}

}  // namespace
}  // namespace vantrel
