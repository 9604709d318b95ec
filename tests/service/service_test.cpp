#include "service/service.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "accounts/online_clients.h"
#include "accounts/users.h"
#include "config/settings.h"
#include "ftp/ftp_test_client.h"
#include "log/log_queue.h"
#include "log/statistics.h"
#include "net/tls_certificate.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/socket_error.h"
#include "platform/tcp_listener.h"
#include "support/temp_dir.h"
#include "web/web_test_client.h"

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
    EXPECT_EQ(service_.online_clients().Count(), 2);
    const auto rows = service_.online_clients().Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].user, "alice");
  }
  EXPECT_TRUE(Eventually([this] { return service_.online_clients().Count() == 0; }));
  EXPECT_EQ(service_.statistics().GetConnections(), 2);
  EXPECT_EQ(service_.statistics().GetSessions(), 1) << "failed logins do not count";
}

TEST_F(ServiceTest, BannedConnectionIsNotCountedOrListed) {
  service_.settings().AddBanned("127.0.0.1", "test");
  service_.StartServer();
  FtpTestClient banned(Port());
  EXPECT_EQ(banned.ReadUntilClosed(), "");
  EXPECT_EQ(service_.statistics().GetConnections(), 0);
  EXPECT_EQ(service_.online_clients().Count(), 0);
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

std::vector<std::string> TlsLines(const std::vector<std::string>& lines) {
  std::vector<std::string> found;
  std::copy_if(lines.begin(), lines.end(), std::back_inserter(found),
               [](const std::string& line) { return line.find("TLS") != std::string::npos; });
  return found;
}

std::string SubjectName(const std::string& cert_path) {
  const std::string pem = platform::ReadExistingFile(cert_path);
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  char name[256] = "";
  if (certificate != nullptr)
    X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, name,
                              sizeof name);
  X509_free(certificate);
  return name;
}

TEST_F(ServiceTest, TlsCertificateIsCreatedOnFirstUseAndKept) {
  namespace fs = std::filesystem;
  const std::string cert = dir_.File("vantrel.crt"), key = dir_.File("vantrel.key");
  const auto set_wants = [this](int mode, int implicit_port, bool https) {
    service_.settings().Update([=](SettingsData& s) {
      s.tlsmode = mode;
      s.tlsimplicitport = implicit_port;
      s.webinterfacehttps = https;
    });
  };
  service_.StartServer();
  EXPECT_EQ(service_.CurrentTlsContext(), nullptr) << "encryption is off by default";
  EXPECT_FALSE(fs::exists(cert) || fs::exists(key));
  EXPECT_EQ(TlsLines(DrainLog()), std::vector<std::string>());
  service_.StopServer();

  set_wants(1, 0, false);
  service_.StartServer();
  EXPECT_NE(service_.CurrentTlsContext(), nullptr) << "made at start";
  ASSERT_TRUE(fs::exists(cert));
  const std::string fingerprint = Sha256Fingerprint(cert);
  EXPECT_EQ(TlsLines(DrainLog()), std::vector<std::string>{"- TLS certificate created (SHA-256 "
                                                           "fingerprint " +
                                                           fingerprint + ")"});
  EXPECT_EQ(fs::status(key).permissions(), fs::perms(0600));
  EXPECT_EQ(SubjectName(cert), platform::HostName());
  service_.StopServer();

  // Either of the other settings that put a port under TLS wants it too, and gets the
  // same pair: clients that pinned its fingerprint keep trusting the server.
  for (const auto& [implicit_port, https] : {std::pair(990, false), std::pair(0, true)}) {
    set_wants(0, implicit_port, https);
    service_.ApplyTlsSettings();
    EXPECT_NE(service_.CurrentTlsContext(), nullptr) << implicit_port;
    EXPECT_EQ(Sha256Fingerprint(cert), fingerprint) << implicit_port;
    EXPECT_EQ(TlsLines(DrainLog()), std::vector<std::string>()) << implicit_port;
  }
  set_wants(0, 0, false);
  service_.ApplyTlsSettings();
  EXPECT_EQ(service_.CurrentTlsContext(), nullptr);
}

TEST_F(ServiceTest, UnusableTlsPairsAreLoggedAndTheServerStartsWithoutTls) {
  const std::string cert = dir_.File("vantrel.crt"), key = dir_.File("vantrel.key");
  const std::string missing = dir_.File("missing.pem");
  const auto keep = [](SettingsData&) {};
  const struct {
    const char* name;
    std::function<void()> damage;
    std::function<void(SettingsData&)> change;
    std::string line;  // "created" when a new pair is made
  } cases[] = {
      {"our certificate damaged",
       [&] { platform::ReplaceFile(cert, "-----BEGIN CERTIFICATE-----\nx\n"); }, keep,
       "- Failed to load TLS certificate (not a PEM certificate)"},
      {"our key left without its certificate by a crash", [&] { platform::RemoveFile(cert); }, keep,
       "created"},
      {"the operator's certificate missing", [] {},
       [&](SettingsData& s) {
         s.tlscertfile = missing;
         s.tlskeyfile = key;
       },
       "- Failed to load TLS certificate (cannot read " + missing + ": No such file or directory)"},
      {"only the operator's key named", [] {}, [&](SettingsData& s) { s.tlskeyfile = key; },
       "- Failed to load TLS certificate (tlskeyfile is set but tlscertfile is not)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::RemoveFile(cert);
    platform::RemoveFile(key);
    service_.settings().Update([](SettingsData& s) {
      s.tlsmode = 2;
      s.tlscertfile = s.tlskeyfile = "";
    });
    service_.ApplyTlsSettings();
    const std::string before = Sha256Fingerprint(cert);
    DrainLog();
    c.damage();
    service_.settings().Update(c.change);
    const std::string damaged = platform::ReadWholeFile(cert).value_or("(none)");
    service_.StartServer();
    EXPECT_TRUE(service_.IsRunning());
    if (c.line == "created") {
      ASSERT_NE(service_.CurrentTlsContext(), nullptr);
      const std::string after = Sha256Fingerprint(cert);
      EXPECT_NE(after, before);
      EXPECT_EQ(TlsLines(DrainLog()),
                std::vector<std::string>{"- TLS certificate created (SHA-256 fingerprint " + after +
                                         ")"});
    } else {
      EXPECT_EQ(service_.CurrentTlsContext(), nullptr);
      EXPECT_EQ(TlsLines(DrainLog()), std::vector<std::string>{c.line});
      EXPECT_EQ(platform::ReadWholeFile(cert).value_or("(none)"), damaged) << "never replaced";
    }
    service_.StopServer();
  }
}

// The daemon cannot be started on an unreadable settings file without its port; the
// service can, and the other state files are covered end to end.
TEST(ServiceStateFiles, UnreadableSettingsAreNeverSavedOver) {
  TempDir dir;
  const std::string path = dir.File("ftpsettings.lst");
  std::filesystem::create_directory(path);
  Service service(dir.path() + "/");
  service.Load();
  std::vector<std::string> lines;
  const auto collect = [&lines](DateTime, const std::string& line) { lines.push_back(line); };
  service.LogTick(collect);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "- Running From [" + dir.path() + "/]",
                       "- Failed to load settings (cannot read " + path + ": Is a directory)",
                       "- Failed to load account list", "- Monitored files list loaded"}));

  std::filesystem::remove(path);
  std::ofstream(path) << "[ftpsettings]\nserverport=2121\n";
  service.settings().AddBanned("10.0.0.1", "manual");
  lines.clear();
  service.Shutdown();
  service.LogTick(collect);
  EXPECT_EQ(lines, std::vector<std::string>{"- Unable to write to " + path +
                                            " (it could not be read at start-up)"});
  std::ifstream kept(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}),
            "[ftpsettings]\nserverport=2121\n");
  EXPECT_TRUE(std::filesystem::exists(dir.File("ftpmembers.lst"))) << "the others are saved";
  EXPECT_TRUE(std::filesystem::exists(dir.File("httpspecialfiles.lst")));
}

// The window deletes by name while the web site deletes and adds: every change lands on
// the account it names, whatever the other front end did to the table's rows meanwhile,
// and the file ends as the table does.
TEST(ServiceMembersTest, WindowAndWebSiteChangeMembersAtOnce) {
  constexpr int kEach = 12;
  TempDir dir;
  std::ofstream(dir.File("ftpsettings.lst"))
      << "[ftpsettings]\nserverport=0\nwebinterfaceenabled=1\nwebinterfaceport=0\n"
      << "webinterfaceusers=admin=pw;\n";
  std::ofstream members(dir.File("ftpmembers.lst"));
  members << "[ftpmembers]\nftpmembers=" << 2 * kEach + 1 << "\n[ftpmember0]\nuser=kept\n";
  for (int i = 0; i < 2 * kEach; ++i)
    members << "[ftpmember" << i + 1 << "]\nuser=" << (i % 2 ? "web" : "win") << i / 2 << "\n";
  members.close();
  Service service(dir.path() + "/");
  service.Load();
  service.StartServer();
  const auto web = service.WebAddresses();
  ASSERT_FALSE(web.empty());
  const std::uint64_t generation = service.users().Generation();

  std::thread site([port = web.at(0).port] {
    testing::WebTestClient client(port);
    client.Login("admin", "pw");
    for (int i = 0; i < kEach; ++i) {
      client.Post({{"deletemember", "web" + std::to_string(i)}});
      client.Post({{"addnewmember", "new" + std::to_string(i)}, {"pass", "x"}});
    }
  });
  for (int i = 0; i < kEach; ++i)
    EXPECT_TRUE(service.DeleteMember("win" + std::to_string(i)).changed) << i;
  site.join();

  std::set<std::string> expected = {"kept"};
  for (int i = 0; i < kEach; ++i)
    expected.insert("new" + std::to_string(i));
  const auto names = [](const Users& users) {
    std::set<std::string> found;
    for (const AccountRow& row : users.AccountRows())
      found.insert(row.fields.user);
    return found;
  };
  EXPECT_EQ(names(service.users()), expected);
  Users saved;
  ASSERT_TRUE(saved.LoadAccounts(dir.path() + "/"));
  EXPECT_EQ(names(saved), expected) << "every change was saved, the last one last";
  EXPECT_GT(service.users().Generation(), generation);

  // A rename onto a name another account has would leave one of the two unreachable.
  AccountFields renamed = *service.users().GetAccountByName("kept");
  renamed.user = "new0";
  EXPECT_FALSE(service.UpdateMember("kept", renamed).changed);
  EXPECT_EQ(names(service.users()), expected);
  service.Shutdown();
}

// Two consecutive ports, listened on here so that no passive listener can have them.
std::vector<std::unique_ptr<platform::TcpListener>> HeldPortPair() {
  for (int base = 42000; base < 60000; base += 2) {
    try {
      std::vector<std::unique_ptr<platform::TcpListener>> held;
      for (const int port : {base, base + 1}) {
        held.push_back(std::make_unique<platform::TcpListener>("127.0.0.1", port,
                                                               platform::IpVersion::kV4, false));
        held.back()->Listen(1);
      }
      return held;
    } catch (const platform::SocketError&) {
    }
  }
  throw std::runtime_error("no two free ports in a row");
}

TEST(ServicePassiveTest, PersistentPassiveTroublesAreLoggedOncePerMinute) {
  const auto held = HeldPortPair();
  const int base = held[0]->LocalAddress().port;
  TempDir dir;
  std::ofstream(dir.File("ftpsettings.lst"))
      << "[ftpsettings]\nserverport=0\npasvipaddr=no-such-host.invalid\npasvrangestart=" << base
      << "\npasvrangesize=1\n";
  std::ofstream(dir.File("ftpmembers.lst"))
      << "[ftpmembers]\nftpmembers=1\n[ftpmember0]\nuser=alice\npass=pw\nhome=" << dir.path()
      << "\n";
  ManualClock clock;
  Service service(dir.path() + "/", clock);
  service.Load();
  service.StartServer();
  FtpTestClient client(service.FtpAddresses().at(0).port);
  client.ReadReply();
  client.Ask("USER alice");
  ASSERT_EQ(client.Ask("PASS pw").substr(0, 3), "230");
  const auto troubles = [&service] {
    std::vector<std::string> lines;
    service.LogTick([&lines](DateTime, const std::string& line) {
      if (line.starts_with("- Passive port range exhausted, using port ") ||
          line ==
              "- Passive address no-such-host.invalid does not resolve, using the local address")
        lines.push_back(line.substr(0, 14));
    });
    return lines;
  };
  troubles();
  const std::vector<std::string> both = {"- Passive addr", "- Passive port"};
  for (const double seconds : {0.0, 61.0}) {
    clock.AdvanceSeconds(seconds);
    for (int i = 0; i < 3; ++i) {
      const std::string reply = client.Ask("PASV");
      EXPECT_TRUE(reply.starts_with("227 Entering Passive Mode (127,0,0,1,")) << reply;
    }
    auto lines = troubles();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, both) << "after " << seconds << " s";
  }
  service.Shutdown();
}

}  // namespace
}  // namespace vantrel
