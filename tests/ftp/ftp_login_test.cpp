#include <gtest/gtest.h>

#include <thread>

#include "ftp/ftp_server_fixture.h"

namespace vantrel {
namespace {

using testing::FtpTestClient;

class FtpLoginTest : public testing::FtpServerFixture {};

TEST_F(FtpLoginTest, ThreeWrongPasswordsCloseTheConnection) {
  LoginAccepts();
  Start();
  FtpTestClient client = Connect();
  EXPECT_EQ(client.Ask("USER user"), "331 User name okay, need password.");
  EXPECT_EQ(client.Ask("PASS wrong"), "530 Not logged in.");
  EXPECT_EQ(client.Ask("PASS wrong"), "530 Not logged in.");
  client.SendLine("PASS wrong");
  EXPECT_EQ(client.ReadUntilClosed(), "421 Service not available, closing control connection.\r\n");
}

TEST_F(FtpLoginTest, SuccessResetsTheFailureCount) {
  LoginAccepts();
  Start();
  FtpTestClient client = Connect();
  EXPECT_EQ(client.Ask("USER user"), "331 User name okay, need password.");
  EXPECT_EQ(client.Ask("PASS wrong"), "530 Not logged in.");
  EXPECT_EQ(client.Ask("PASS wrong"), "530 Not logged in.");
  EXPECT_EQ(client.Ask("PASS secret"), "230 User logged in, proceed.");
  EXPECT_EQ(client.Ask("USER user"), "331 User name okay, need password.");
  EXPECT_EQ(client.Ask("PWD"), "530 Not logged in.") << "USER ends the previous login";
  EXPECT_EQ(client.Ask("PASS wrong"), "530 Not logged in.");
  EXPECT_EQ(client.Ask("PASS wrong"), "530 Not logged in.");
  EXPECT_EQ(client.Ask("PASS secret"), "230 User logged in, proceed.");
}

TEST_F(FtpLoginTest, LoginDeadlineClosesWhoNeverLoggedIn) {
  using namespace std::chrono_literals;
  LoginAccepts();
  server_.SetLoginDeadline(500ms);
  Start();
  FtpTestClient silent = Connect();
  FtpTestClient chatty = Connect();
  FtpTestClient member = LoggedIn();
  EXPECT_EQ(member.Ask("USER user"), "331 User name okay, need password.");
  const std::string expired = "421 Login timed out, closing control connection.";
  // Busy is no excuse: commands keep coming, a login never does.
  std::string reply;
  for (int i = 0; i < 30 && reply != expired; ++i) {
    std::this_thread::sleep_for(50ms);
    reply = chatty.Ask("NOOP");
  }
  EXPECT_EQ(reply, expired);
  EXPECT_EQ(chatty.ReadUntilClosed(), "");
  EXPECT_EQ(silent.ReadUntilClosed(), expired + "\r\n");
  EXPECT_EQ(member.Ask("PASS secret"), "230 User logged in, proceed.")
      << "the deadline ends with the first login";
}

TEST_F(FtpLoginTest, ConversationsBeforeAndAfterLogin) {
  LoginAccepts();
  Start();
  FtpTestClient client = Connect();
  struct Case {
    const char* sent;
    const char* reply;
  };
  const Case before[] = {
      {"PASS x", "503 Login with USER first."},
      {"NOOP", "200 NOOP Command successful."},
      {"PWD", "530 Not logged in."},
      {"DELE x", "550 Requested file action not taken."},
      {"SYST", "530 Not logged in."},
      {"SITE HELP", "530 Not logged in."},
      {"CLNT ftplib", "200 Noted."},
      {"ACCT x", "502 \"ACCT\" Command not implemented."},
      {"MAIL", "502 \"MAIL\" Command not implemented."},
      {"AUTH TLS", "500 'AUTH TLS': command not understood."},
      {"PROT P", "550 \"PROT\" Command not implemented."},
      {"USER", "332 Need account for login."},
      {"USER anonymous", "331 User name okay, need password."},
  };
  for (const auto& c : before)
    EXPECT_EQ(client.Ask(c.sent), c.reply) << c.sent;
  EXPECT_EQ(client.Ask("PASS me@example.org"), "530 Not logged in.")
      << "anonymous login is off: the host decided";
}

TEST_F(FtpLoginTest, AnonymousLoginOnTheServersOwnRules) {
  server_.SetAllowAnonymousLogin(true);
  host_.login = [this](FtpSession&, const std::string&, const std::string&) {
    recorded_.Add("asked");
    return nullptr;
  };
  Start();
  FtpTestClient client = Connect();
  EXPECT_EQ(client.Ask("USER Anonymous"), "331 Anonymous login OK, send e-mail as password.");
  EXPECT_EQ(client.Ask("PASS nobody"), "530 Not logged in.") << "neither @ nor .";
  EXPECT_EQ(client.Ask("PASS x@y"), "503 Login with USER first.") << "the refusal forgot USER";
  EXPECT_EQ(client.Ask("USER ftp"), "331 Anonymous login OK, send e-mail as password.");
  EXPECT_EQ(client.Ask("PASS x@y"), "230 Anonymous user logged in, proceed.");
  EXPECT_TRUE(recorded_.Entries().empty());
}

TEST_F(FtpLoginTest, OverLimitClientGets421WithTheConfiguredText) {
  server_.SetMaxConnections(1);
  server_.MaxConnectionReply().SetText("Server busy. Try again later.");
  Start();
  FtpTestClient first = Connect();
  FtpTestClient second(port_);
  EXPECT_EQ(second.ReadUntilClosed(), "421 Server busy. Try again later.\r\n");
  EXPECT_EQ(first.Ask("NOOP"), "200 NOOP Command successful.");
}

TEST_F(FtpLoginTest, HostWithoutLoginHandlerAdmitsNobody) {
  Start();
  FtpTestClient client = Connect();
  EXPECT_EQ(client.Ask("USER user"), "331 User name okay, need password.");
  EXPECT_EQ(client.Ask("PASS secret"), "530 Not logged in.");
}

TEST_F(FtpLoginTest, RefusalAfterLoginEndsTheLogin) {
  LoginAccepts();
  host_.login = [](FtpSession&, const std::string&,
                   const std::string&) -> testing::ScriptedHost::Record {
    throw FtpError("No home directory defined");
  };
  Start();
  FtpTestClient client = Connect();
  EXPECT_EQ(client.Ask("USER user"), "331 User name okay, need password.");
  EXPECT_EQ(client.Ask("PASS secret"), "500 No home directory defined");
  EXPECT_EQ(client.Ask("CWD /"), "530 Not logged in.");
}

TEST_F(FtpLoginTest, HandlerSeesNamesAndSessionKeepsThem) {
  host_.login = [this](FtpSession& session, const std::string& user, const std::string& password) {
    recorded_.Add(user + "/" + password + "/" + session.Username());
    session.SetCurrentDir("/home");
    return std::make_shared<const SessionRecord>();
  };
  Start();
  FtpTestClient client = Connect();
  EXPECT_EQ(client.Ask("USER Some One"), "331 User name okay, need password.");
  EXPECT_EQ(client.Ask("PASS pass word"), "230 User logged in, proceed.");
  EXPECT_EQ(client.Ask("PWD"), "257 \"/home\" is working directory.");
  EXPECT_EQ(recorded_.Entries(), std::vector<std::string>{"Some One/pass word/Some One"});
}

}  // namespace
}  // namespace vantrel
