#include "config/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "common/error.h"
#include "config/list_file.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() { settings_.SetDataDirectory(dir_.path()); }
  void WriteFile(const std::string& body) {
    std::ofstream(dir_.File(Settings::kFileName)) << "[ftpsettings]\n" << body;
  }
  TempDir dir_;
  Settings settings_;
};

TEST_F(SettingsTest, FreshInstallationDefaults) {
  settings_.LoadSettings();
  const SettingsData s = settings_.Snapshot();
  EXPECT_EQ(s.data_directory, dir_.path() + "/");
  EXPECT_EQ(s.serverport, 21);
  EXPECT_EQ(s.dataport, 20);
  EXPECT_EQ(s.pasvrangestart, 16384);
  EXPECT_EQ(s.pasvrangesize, 5);
  EXPECT_EQ(s.maxclientcount, 0);
  EXPECT_EQ(s.maxclientsperaddress, 50);
  EXPECT_FALSE(s.allowanonymous);
  EXPECT_FALSE(s.webinterfaceenabled);
  EXPECT_FALSE(s.autoban);
  EXPECT_EQ(s.anonymoushome, dir_.path() + "/Ftp");
  EXPECT_EQ(s.logfile, dir_.path() + "/FTPLog.txt");
  EXPECT_EQ(s.tlsmode, 0) << "encryption stays off until the operator turns it on";
  EXPECT_EQ(s.tlsimplicitport, 0);
  EXPECT_EQ(s.tlscertfile + s.tlskeyfile, "");
  EXPECT_FALSE(s.tlsrequireprotp);
  EXPECT_TRUE(s.tlssessionreuse) << "data connections must resume the control session";
  EXPECT_FALSE(s.webinterfacehttps);
  EXPECT_FALSE(s.metricsenabled);
  EXPECT_EQ(s.metricsallowed, "127.0.0.1;::1;") << "metrics for this machine alone";
  EXPECT_EQ(s.xferlog, "") << "no transfer log unless asked for";
  EXPECT_FALSE(s.proxyprotocol) << "no PROXY headers unless a balancer is named";
  EXPECT_EQ(s.proxytrusted, "");
  EXPECT_EQ(settings_.GetGreetingLines(), std::vector<std::string>{"Wellcome to Vantrel!"});
  EXPECT_EQ(settings_.GetMaxClientCountReplyLines(),
            std::vector<std::string>{"Server busy. Try again later."});
}

TEST_F(SettingsTest, SaveAndLoadReproduceEveryValue) {
  settings_.Update([](SettingsData& s) {
    s.serverport = 2121;
    s.maxclientsperaddress = 0;
    s.greetingtext = "Hello=there;second line;";
    s.bannedlist = "10.0.0.5=autoban (login);";
    s.webinterfaceusers = "admin=p=w;";
    s.logfile = "/var/log/x=y.txt";
    s.anonymous_allowdownload = false;
    s.showtrayicon = false;
    s.anonymous_download = 1048576;
    s.servertitle = "  padded  ";
    s.tlsmode = 3;
    s.tlsimplicitport = 990;
    s.tlscertfile = "/etc/ssl/ftp=chain.pem";
    s.tlskeyfile = "/etc/ssl/private/ftp.key";
    s.tlsrequireprotp = true;
    s.tlssessionreuse = false;
    s.webinterfacehttps = true;
    s.metricsenabled = true;
    s.metricsallowed = "10.0.0.0-255;";
    s.xferlog = "/var/log/vantrel x.log";
    s.proxyprotocol = true;
    s.proxytrusted = "10.0.0.1;10.0.1.0-255;";
  });
  settings_.SaveSettings();

  Settings loaded;
  loaded.SetDataDirectory(dir_.path());
  loaded.LoadSettings();
  const SettingsData s = loaded.Snapshot();
  EXPECT_EQ(s.serverport, 2121);
  EXPECT_EQ(s.maxclientsperaddress, 0);
  EXPECT_EQ(loaded.GetGreetingLines(), (std::vector<std::string>{"Hello=there", "second line"}));
  EXPECT_EQ(s.bannedlist, "10.0.0.5=autoban (login);");
  EXPECT_TRUE(loaded.IsWebUser("admin", "p=w"));
  EXPECT_EQ(s.logfile, "/var/log/x=y.txt");
  EXPECT_FALSE(s.anonymous_allowdownload);
  EXPECT_FALSE(s.showtrayicon);
  EXPECT_EQ(s.anonymous_download, 1048576);
  EXPECT_EQ(s.servertitle, "padded");  // blanks around values do not survive the file
  EXPECT_EQ(s.tlsmode, 3);
  EXPECT_EQ(s.tlsimplicitport, 990);
  EXPECT_EQ(s.tlscertfile, "/etc/ssl/ftp=chain.pem");
  EXPECT_EQ(s.tlskeyfile, "/etc/ssl/private/ftp.key");
  EXPECT_TRUE(s.tlsrequireprotp);
  EXPECT_FALSE(s.tlssessionreuse);
  EXPECT_TRUE(s.webinterfacehttps);
  EXPECT_TRUE(s.metricsenabled);
  EXPECT_EQ(s.metricsallowed, "10.0.0.0-255;");
  EXPECT_EQ(s.xferlog, "/var/log/vantrel x.log");
  EXPECT_TRUE(s.proxyprotocol);
  EXPECT_EQ(s.proxytrusted, "10.0.0.1;10.0.1.0-255;");
}

TEST_F(SettingsTest, KeysAreWrittenInTheirFixedOrder) {
  settings_.SaveSettings();
  std::ifstream in(dir_.File(Settings::kFileName));
  std::string first, second, last, line;
  std::getline(in, line);
  EXPECT_EQ(line, "[ftpsettings]");
  std::getline(in, first);
  std::getline(in, second);
  while (std::getline(in, line))
    last = line;
  EXPECT_EQ(first, "startonstartup=0");
  EXPECT_EQ(second, "greetingtext=Wellcome to Vantrel!;");
  EXPECT_EQ(last, "logfilelines=500");
}

TEST_F(SettingsTest, MalformedValuesKeepDefaults) {
  WriteFile(
      "serverport=abc\nallowanonymous=maybe\ndataport=0x15\ngreetingtext=no separator\n"
      "tlssessionreuse=no\n");
  settings_.LoadSettings();
  EXPECT_EQ(settings_.Get(&SettingsData::serverport), 21);
  EXPECT_FALSE(settings_.Get(&SettingsData::allowanonymous));
  EXPECT_EQ(settings_.Get(&SettingsData::dataport), 21);
  EXPECT_TRUE(settings_.GetGreetingLines().empty());
  EXPECT_TRUE(settings_.Get(&SettingsData::tlssessionreuse));

  // Numbers out of their range are malformed too; the bounds themselves are not.
  const struct {
    const char* line;
    int tlsmode, tlsimplicitport;
  } cases[] = {
      {"tlsmode=4\ntlsimplicitport=65536\n", 0, 0},
      {"tlsmode=-1\ntlsimplicitport=-990\n", 0, 0},
      {"tlsmode=3\ntlsimplicitport=65535\n", 3, 65535},
      {"tlsmode=0\ntlsimplicitport=1\n", 0, 1},
  };
  for (const auto& c : cases) {
    WriteFile(c.line);
    settings_.LoadSettings();
    EXPECT_EQ(settings_.Get(&SettingsData::tlsmode), c.tlsmode) << c.line;
    EXPECT_EQ(settings_.Get(&SettingsData::tlsimplicitport), c.tlsimplicitport) << c.line;
  }
}

TEST_F(SettingsTest, BanList) {
  WriteFile("bannedlist=10.0.0.5=manual;192.168.1.1-50=range;172.16.0.9;2001:db8::7=v6;\n");
  settings_.LoadSettings();
  EXPECT_TRUE(settings_.IsBanned("10.0.0.5"));
  EXPECT_FALSE(settings_.IsBanned("10.0.0.6"));
  EXPECT_TRUE(settings_.IsBanned("192.168.1.50"));
  EXPECT_FALSE(settings_.IsBanned("192.168.1.51"));
  EXPECT_FALSE(settings_.IsBanned("172.16.0.9")) << "an item without '=' bans nobody";
  EXPECT_TRUE(settings_.IsBanned("2001:DB8:0::7"));
  EXPECT_TRUE(settings_.IsBanned("::ffff:10.0.0.5"));

  settings_.AddBanned("172.16.0.9", "autoban (get)");
  EXPECT_TRUE(settings_.IsBanned("172.16.0.9"));
  EXPECT_EQ(settings_.Get(&SettingsData::bannedlist),
            "10.0.0.5=manual;192.168.1.1-50=range;172.16.0.9;2001:db8::7=v6;"
            "172.16.0.9=autoban (get);");

  // The dialog's edits replace the whole list, and the answers follow them.
  settings_.Update([](SettingsData& s) { s.bannedlist = "10.0.0.6=manual;dangling"; });
  EXPECT_FALSE(settings_.IsBanned("10.0.0.5"));
  EXPECT_TRUE(settings_.IsBanned("10.0.0.6"));
  // Text after the last ";" is no item, and adding a ban drops it.
  settings_.AddBanned("10.0.0.7", "x");
  EXPECT_EQ(settings_.Get(&SettingsData::bannedlist), "10.0.0.6=manual;10.0.0.7=x;");
  settings_.ResetSettings();
  EXPECT_FALSE(settings_.IsBanned("10.0.0.6"));
}

TEST_F(SettingsTest, ReplacingWithAFreshLoadKeepsOnlyTheBansTheFileNeverSaw) {
  WriteFile("serverport=2121\nbannedlist=10.0.0.1=manual;\n");
  settings_.LoadSettings();
  settings_.AddBanned("10.0.0.2", "autoban (login)");
  settings_.AddBanned("10.0.0.3", "autoban (get)");
  // Edited meanwhile: the manual ban is gone, and one of the new ones is listed already.
  WriteFile("serverport=2122\nbannedlist=10.0.0.3=autoban (get);\n");
  Settings fresh;
  fresh.SetDataDirectory(dir_.path());
  fresh.LoadSettings();
  settings_.Replace(fresh);
  EXPECT_EQ(settings_.Get(&SettingsData::serverport), 2122);
  EXPECT_EQ(settings_.Get(&SettingsData::bannedlist),
            "10.0.0.3=autoban (get);10.0.0.2=autoban (login);");
  EXPECT_FALSE(settings_.IsBanned("10.0.0.1"));
  EXPECT_TRUE(settings_.IsBanned("10.0.0.2"));

  // Once written, the bans are the file's: a later edit that drops them holds.
  settings_.SaveSettings();
  WriteFile("bannedlist=\n");
  fresh.LoadSettings();
  settings_.Replace(fresh);
  EXPECT_EQ(settings_.Get(&SettingsData::bannedlist), "");
}

TEST_F(SettingsTest, ReplacingAfterAFailedLoadAllowsSavingAgain) {
  std::filesystem::create_directory(dir_.File(Settings::kFileName));
  settings_.LoadSettings();
  EXPECT_THROW(settings_.SaveSettings(), Error) << "a file it could not read is kept";
  std::filesystem::remove(dir_.File(Settings::kFileName));
  WriteFile("serverport=2122\n");
  Settings fresh;
  fresh.SetDataDirectory(dir_.path());
  fresh.LoadSettings();
  settings_.Replace(fresh);
  EXPECT_NO_THROW(settings_.SaveSettings());
}

TEST_F(SettingsTest, LongBanListsAreBuiltAndAskedWithoutRescanning) {
  // Read or joined in full for every ban and every question, a list this long takes
  // minutes to build and ask; indexed, a blink.
  constexpr int kBans = 10000;
  const auto address = [](int i) {
    return "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
           std::to_string(i % 256);
  };
  for (int i = 0; i < kBans; ++i)
    settings_.AddBanned(address(i), "autoban (login)");
  settings_.AddBanned("192.168.0-255.1-9", "range");
  settings_.SaveSettings();
  Settings loaded;
  loaded.SetDataDirectory(dir_.path());
  loaded.LoadSettings();
  for (int i = 0; i < kBans; ++i)
    ASSERT_TRUE(loaded.IsBanned(address(i))) << address(i);
  for (int i = 0; i < kBans; ++i)
    ASSERT_FALSE(loaded.IsBanned("11.0.0." + std::to_string(i % 256)));
  EXPECT_TRUE(loaded.IsBanned("192.168.77.9"));
  EXPECT_FALSE(loaded.IsBanned("192.168.77.10"));
}

TEST_F(SettingsTest, WebUsersAndGeneration) {
  WriteFile("webinterfaceusers=Admin=secret;admin=other;\n");
  const auto generation = settings_.Generation();
  settings_.LoadSettings();
  EXPECT_TRUE(settings_.IsWebUser("Admin", "secret"));
  EXPECT_FALSE(settings_.IsWebUser("ADMIN", "secret"));
  EXPECT_FALSE(settings_.IsWebUser("Admin", "Secret"));
  EXPECT_TRUE(settings_.IsWebUser("admin", "other"));
  EXPECT_GT(settings_.Generation(), generation);
  const auto loaded = settings_.Generation();
  settings_.Update([](SettingsData& s) { s.anonymous_allowupload = true; });
  EXPECT_GT(settings_.Generation(), loaded);
}

TEST_F(SettingsTest, ConcurrentBansAreAllKept) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 50; ++i) {
        settings_.AddBanned("10." + std::to_string(t) + ".0." + std::to_string(i), "x");
        settings_.IsBanned("10.9.9.9");
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_TRUE(settings_.IsBanned("10.3.0.49"));
  EXPECT_TRUE(settings_.IsBanned("10.0.0.0"));
}

}  // namespace
}  // namespace vantrel
