// The administration site through real HTTP on loopback: login, the pages' fixed
// fragments, the account actions and their precedence, escaping, saving, auto-ban.

#include "service/web_pages.h"

#include <gtest/gtest.h>

#include <thread>

#include "accounts/auto_ban.h"
#include "accounts/users.h"
#include "config/settings.h"
#include "log/log_queue.h"
#include "log/statistics.h"
#include "service/members.h"
#include "service/web_interface.h"
#include "support/temp_dir.h"
#include "web/web_test_client.h"

namespace vantrel {
namespace {

using testing::WebReply;
using testing::WebTestClient;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const std::string kPageStart = "<html><body bgcolor=#ffffff><b>Vantrel</b><br>\r\n<hr>\r\n";
const std::string kMainMark = "<font color=#0000ff>Server Statistics:</font><br>";
const std::string kLoginMark = "<font color=#0000ff>Login</font><br>";
const std::string kBack = "<br><a href=\"/\">Back</a><br>\r\n";

AccountFields Account(std::string user, std::string pass = "pw") {
  AccountFields a;
  a.user = std::move(user);
  a.pass = std::move(pass);
  a.home = "/srv/ftp";
  a.allow_download = true;
  a.allow_changedirectory = true;
  a.download = 500;
  a.upload = 700;
  return a;
}

using Form = std::vector<std::pair<std::string, std::string>>;

class WebPagesTest : public ::testing::Test {
 protected:
  WebPagesTest() {
    settings_.SetDataDirectory(dir_.path() + "/");
    settings_.Update([](SettingsData& s) {
      s.webinterfaceenabled = true;
      s.webinterfaceport = 0;
      s.webinterfaceusers = "admin=pw;";
    });
  }
  ~WebPagesTest() override { web_.Stop(); }

  int Start() {
    web_.Start();
    for (const auto& address : web_.Addresses()) {
      if (address.version == platform::IpVersion::kV4)
        return address.port;
    }
    ADD_FAILURE() << "no IPv4 listener";
    return 0;
  }

  WebTestClient LoggedIn(int port) {
    WebTestClient client(port);
    EXPECT_TRUE(Has(client.Login("admin", "pw").body, kMainMark));
    return client;
  }

  std::vector<std::string> Log() {
    std::vector<std::string> lines;
    std::string text;
    DateTime time = 0;
    while (log_.PopLogLine(text, time))
      lines.push_back(text);
    return lines;
  }

  TempDir dir_;
  ManualClock clock_;
  LogQueue log_{clock_};
  Settings settings_;
  Users users_{clock_};
  AutoBan auto_ban_{settings_, log_, clock_};
  Statistics statistics_;
  Members members_{users_, log_, dir_.path() + "/"};
  WebInterface web_{ServiceUnits{settings_, users_, auto_ban_, statistics_, log_}, members_,
                    clock_};
};

TEST_F(WebPagesTest, FirstRequestGetsTheLoginPageAndACookie) {
  const int port = Start();
  WebTestClient client(port);
  const WebReply reply = client.Get("/favicon.ico");
  EXPECT_EQ(reply.status, "HTTP/1.1 200 OK");
  EXPECT_TRUE(Has(reply.head, "Content-Type: text/html\r\n"));
  EXPECT_TRUE(Has(reply.head, "Connection: close\r\n"));
  EXPECT_TRUE(Has(reply.head, "Server: Vantrel\r\n"));
  EXPECT_FALSE(client.cookie().empty());
  EXPECT_EQ(reply.body.rfind(kPageStart + kLoginMark + "\r\n", 0), 0u) << reply.body;
  EXPECT_TRUE(Has(reply.body,
                  "<tr><td bgcolor=#dddddd width=20%><font size=2 color=#000000>Username</td>"
                  "<td bgcolor=#dddddd><input type=\"edit\" size=\"40\" name=\"username\">"
                  "</td></tr>\r\n"));
  EXPECT_TRUE(Has(reply.body, "<input type=\"password\" size=\"40\" name=\"password\">"));
  EXPECT_TRUE(Has(reply.body, "value=\"Try to login\""));
  EXPECT_TRUE(Has(reply.body, "</form>\r\n</table>\r\n</body></html>"));
  EXPECT_EQ(Log(), (std::vector<std::string>{"- Web interface started (port 0, timeout 60000)",
                                             "HTTP> 127.0.0.1> login"}));
}

TEST_F(WebPagesTest, WhoMayLogIn) {
  struct Case {
    const char* users;
    const char* user;
    const char* password;
    bool admitted;
  };
  const Case cases[] = {
      {"admin=pw;", "admin", "pw", true},
      {"admin=pw;", "admin", "PW", false},
      {"admin=pw;", "Admin", "pw", false},
      {"admin=pw;", "admin", "", false},
      {"guest=1;admin=a=b;", "admin", "a=b", true},
      {"admin=first;admin=second;", "admin", "second", false},
      {"admin=pw", "admin", "pw", false},  // no ";": not an entry
      {"nopass;", "nopass", "", false},
      {"", "admin", "pw", false},
  };
  const int port = Start();
  for (const auto& c : cases) {
    settings_.Update([&c](SettingsData& s) { s.webinterfaceusers = c.users; });
    WebTestClient client(port);
    EXPECT_EQ(Has(client.Login(c.user, c.password).body, kMainMark), c.admitted)
        << c.users << " " << c.user << "/" << c.password;
  }
}

TEST_F(WebPagesTest, EntryWithoutNameAdmitsNobody) {
  const int port = Start();
  for (const char* users : {"nopass;", "=;", "=pw;"}) {
    settings_.Update([users](SettingsData& s) { s.webinterfaceusers = users; });
    WebTestClient client(port);
    EXPECT_TRUE(Has(client.Get().body, kLoginMark)) << users;
    EXPECT_TRUE(Has(client.Get().body, kLoginMark)) << users;
    EXPECT_TRUE(Has(client.Login("", "pw").body, kLoginMark)) << users;
  }
}

TEST_F(WebPagesTest, LoginLastsForTheSessionAndAWrongAttemptEndsIt) {
  const int port = Start();
  WebTestClient client = LoggedIn(port);
  EXPECT_TRUE(Has(client.Get("/any/path").body, kMainMark));
  EXPECT_TRUE(Has(client.Login("admin", "wrong").body, kLoginMark));
  EXPECT_TRUE(Has(client.Get().body, kLoginMark));
  // Another browser has a session of its own.
  WebTestClient other(port);
  EXPECT_TRUE(Has(other.Get().body, kLoginMark));
}

TEST_F(WebPagesTest, MainPageShowsTotalsAndMembers) {
  statistics_.CountConnection();
  statistics_.CountConnection();
  statistics_.CountSession();
  statistics_.AddDownloaded(1536);
  users_.AddAccount(Account("alice"));
  const int port = Start();
  WebTestClient client = LoggedIn(port);
  Log();
  const std::string page = client.Get().body;
  const auto row = [](const std::string& label, const std::string& value) {
    return "<tr><td width=25%><font size=2 color=#000000>" + label +
           "</td><td bgcolor=#dddddd><font size=2 color=#0000ff>" + value + "</td></tr>\r\n";
  };
  EXPECT_TRUE(Has(page, kPageStart + kMainMark + "\r\n<table width=100%>\r\n" +
                            row("Connections", "2") + row("Sessions", "1") +
                            row("Downloaded", "1.50 KB") + row("Uploaded", "0 Byte(s)") +
                            "</table>\r\n<hr>\r\n"))
      << page;
  const std::string cell = "<td bgcolor=#dddddd><font size=2 color=#000000>";
  EXPECT_TRUE(Has(page, "<tr>" + cell +
                            "alice</td><td bgcolor=#dddddd><font size=2 "
                            "color=#dddddd>pw</td>" +
                            cell + "/srv/ftp</td>" + cell + "-</td>" + cell + "-</td>" + cell +
                            "-</td>" + cell + "-</td>"))
      << page;
  EXPECT_TRUE(Has(page, "<input type=\"hidden\" name=\"viewmember\" value=\"alice\">"));
  EXPECT_TRUE(Has(page, "<input type=\"hidden\" name=\"deletemember\" value=\"alice\">"));
  EXPECT_TRUE(Has(page,
                  "<tr bgcolor=#dddddd><td width=20%><font size=2 color=#000000>Home "
                  "Directory</td><td bgcolor=#dddddd><input type=\"edit\" size=\"40\" "
                  "name=\"home\"></td></tr>\r\n"));
  EXPECT_TRUE(Has(page,
                  "<tr bgcolor=#dddddd><td width=20%><font size=2 color=#000000></td><td "
                  "bgcolor=#dddddd><font size=2 color=#000000><input type=\"checkbox\" CHECKED "
                  "name=\"allowupload\">Allow upload</td></tr>\r\n"));
  EXPECT_TRUE(Has(page, "</form>\r\n</table>\r\n</body></html>"));
  EXPECT_EQ(Log(), std::vector<std::string>{"HTTP> 127.0.0.1, admin - main page"});
}

TEST_F(WebPagesTest, ViewShowsTheFormWithTheBoxesAsStored) {
  users_.AddAccount(Account("first"));
  users_.AddAccount(Account("second"));
  const int port = Start();
  WebTestClient client = LoggedIn(port);
  Log();
  const std::string page = client.Post({{"viewmember", "first"}}).body;
  EXPECT_TRUE(Has(page,
                  "<font color=#0000ff>Member data:</font><br>\r\n<table width=1005>"
                  "<form name=\"modifyclientform\" method=\"post\">\r\n"))
      << page;
  EXPECT_TRUE(Has(page, "name=\"modifymember\" value=\"first\"></td></tr>\r\n"));
  EXPECT_TRUE(Has(page,
                  "<tr bgcolor=#dddddd><td width=20%><font size=2 color=#000000>Home "
                  "Directory</td><td bgcolor=#dddddd><input type=\"edit\" size=\"40\" "
                  "name=\"home\" value=\"/srv/ftp\"></td></tr>\r\n"));
  EXPECT_TRUE(Has(page,
                  "<td width=20%><font size=2 color=#000000>Options</td><td "
                  "bgcolor=#dddddd><input type=\"checkbox\" CHECKED "
                  "name=\"allowdownload\"><font size=2 color=#000000>Allow download</td>"));
  EXPECT_TRUE(Has(page,
                  "<tr bgcolor=#dddddd><td width=20%><font size=2 color=#000000></td><td "
                  "bgcolor=#dddddd><input type=\"checkbox\"  name=\"allowupload\"><font "
                  "size=2 color=#000000>Allow upload</td></tr>\r\n"));
  EXPECT_TRUE(Has(page, "</form>\r\n</table><a href=\"/\">Back</a><br>\r\n</body></html>"));
  EXPECT_EQ(Log(), std::vector<std::string>{"HTTP> 127.0.0.1, admin - view member \"first\""});

  const std::string missing = client.Post({{"viewmember", "nobody"}}).body;
  EXPECT_TRUE(Has(missing, "<font size=2 color=#ff0000>Failed to locate member nobody.</font>" +
                               kBack + "</body></html>"));
}

TEST_F(WebPagesTest, EveryValueIsEscaped) {
  AccountFields evil = Account("<script>alert(1)</script>", "\"><b>pw");
  evil.home = "/a'b&c";
  evil.virtualdir = "x=<i>;";
  evil.filecontrol = "\"onmouseover=\"x";
  users_.AddAccount(evil);
  settings_.Update([](SettingsData& s) { s.servertitle = "<u>Title</u>"; });
  const int port = Start();
  WebTestClient client = LoggedIn(port);
  std::vector<std::string> pages = {
      client.Get().body, client.Post({{"viewmember", evil.user}}).body,
      client.Post({{"deletemember", "<i>x"}}).body, client.Post({{"addnewmember", "<i>y"}}).body};
  for (const auto& page : pages) {
    for (const char* raw : {"<script>", "\"><b>", "<i>", "\"onmouseover", "a'b", "<u>"})
      EXPECT_FALSE(Has(page, raw)) << raw << " unescaped in\n" << page;
  }
  EXPECT_TRUE(Has(pages[0], "&lt;script&gt;alert(1)&lt;/script&gt;"));
  EXPECT_TRUE(Has(pages[0], "<b>&lt;u&gt;Title&lt;/u&gt;</b>"));
  EXPECT_TRUE(Has(pages[1], "value=\"&quot;&gt;&lt;b&gt;pw\""));
  EXPECT_TRUE(Has(pages[1], "value=\"/a&#39;b&amp;c\""));
}

TEST_F(WebPagesTest, NoSessionGivesTheErrorPage) {
  settings_.Update([](SettingsData& s) { s.webinterfacesessiontimeout = 0; });
  const int port = Start();
  WebTestClient client(port);
  const WebReply reply = client.Login("admin", "pw");
  EXPECT_EQ(reply.body,
            "<html><body><b>Vantrel</b><br>Error: Failed to create session</body></html>");
  EXPECT_FALSE(Has(reply.head, "Content-Type"));
  EXPECT_TRUE(client.cookie().empty());
}

TEST_F(WebPagesTest, FailedLoginsFeedTheAutoBanAndABannedAddressGetsNoReply) {
  settings_.Update([](SettingsData& s) {
    s.autoban = true;
    s.autoban_logins = 2;
  });
  const int port = Start();
  WebTestClient client(port);
  client.Get();  // merely showing the login page is no failure
  client.Get();
  EXPECT_FALSE(settings_.IsBanned("127.0.0.1"));
  for (int i = 0; i < 3; ++i)
    client.Login("admin", "guess" + std::to_string(i));
  EXPECT_TRUE(settings_.IsBanned("127.0.0.1"));
  const auto log = Log();
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
    return Has(line, ", admin> AutoBan");
  })) << ::testing::PrintToString(log);

  testing::FtpTestClient refused(port);
  refused.Send("GET / HTTP/1.1\r\n\r\n");
  EXPECT_EQ(refused.ReadUntilClosed(), "");
  EXPECT_EQ(Log(), std::vector<std::string>{"HTTP> 127.0.0.1> Not allowed to Connect"});
}

TEST_F(WebPagesTest, StartStopAndFailureLines) {
  const int port = Start();
  web_.Start();  // running already: nothing happens
  web_.Stop();
  web_.Stop();
  EXPECT_FALSE(web_.Active());
  EXPECT_EQ(Log(), (std::vector<std::string>{"- Web interface started (port 0, timeout 60000)",
                                             "- Web interface stopped"}));

  WebInterface holder(ServiceUnits{settings_, users_, auto_ban_, statistics_, log_}, members_);
  settings_.Update([port](SettingsData& s) { s.webinterfaceport = port; });
  holder.Start();
  ASSERT_TRUE(holder.Active());
  Log();
  web_.Start();
  EXPECT_FALSE(web_.Active());
  EXPECT_EQ(Log(), std::vector<std::string>{"- Failed to start Web interface"});
}

}  // namespace
}  // namespace vantrel
