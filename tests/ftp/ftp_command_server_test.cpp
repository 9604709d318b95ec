// The command layer and the server under it, driven over real loopback connections.

#include "ftp/ftp_command_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "ftp/ftp_error.h"
#include "ftp/ftp_test_client.h"
#include "ftp/recorder.h"
#include "net/connection_budget.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::FtpTestClient;

// Records what the command layer tells its subclass about sessions, refusals and failed
// routines.
class ObservedServer final : public FtpCommandServer {
 public:
  ObservedServer(testing::Recorder& events, testing::Recorder& refusals)
      : events_(events), refusals_(refusals) {}
  ~ObservedServer() override { SetActive(false); }

  std::atomic<int> started{0};
  std::atomic<int> ended{0};
  std::atomic<bool> refuse_sessions{false};

 protected:
  void BeforeRun(Connection& connection) override {
    if (refuse_sessions)
      throw FtpError("Not allowed to connect");
    ++started;
    events_.Add("connect");
    FtpCommandServer::BeforeRun(connection);
  }
  void AfterRun(Connection&) override {
    ++ended;
    events_.Add("disconnect");
  }
  void SessionFailed(Connection&, const std::exception& failure) override {
    events_.Add(std::string("exception: ") + failure.what());
  }
  void Refused(const platform::SocketAddress& peer, Refusal reason) override {
    refusals_.Add(peer.ip + (reason == Refusal::kPerAddress ? " per address" : " no room"));
  }
  void CommandFailed(FtpSession&, const std::string& command,
                     const std::exception& failure) override {
    events_.Add(command + " failed: " + failure.what());
  }

 private:
  testing::Recorder& events_;
  testing::Recorder& refusals_;
};

class FtpCommandServerTest : public ::testing::Test {
 protected:
  FtpCommandServerTest() {
    server_.Bindings() = {{"127.0.0.1", 0, platform::IpVersion::kV4}};
    server_.Greeting() = Reply(220, "hello");
    server_.ReplyUnknownCommand() = Reply(500, "Unknown Command");
    server_.AddCommandHandler("NOOP").on_command = [](Command& c) {
      c.reply = Reply(200, "NOOP got [" + c.unparsed_params + "]");
    };
    server_.AddCommandHandler("SILENT");  // no routine: its normal reply alone
    CommandHandler& deny = server_.AddCommandHandler("DENY");
    deny.exception_reply.SetCode(550);
    deny.on_command = [](Command&) { throw FtpError("Access denied"); };
    server_.AddCommandHandler("FAIL").on_command = [](Command&) {
      throw std::runtime_error("one\ntwo");
    };
    server_.AddCommandHandler("LINES").on_command = [](Command& c) {
      c.reply = Reply(214, std::vector<std::string>{"a", "b", "c"});
    };
    server_.AddCommandHandler("BADCODE").on_command = [](Command& c) { c.reply.SetCode(42); };
    server_.AddCommandHandler("BYE").on_command = [](Command& c) {
      c.reply = Reply(221, "bye");
      c.disconnect = true;
    };
  }

  int Start() {
    server_.SetActive(true);
    return server_.BoundAddresses().at(0).port;
  }

  FtpTestClient Connect() {
    FtpTestClient client(port_);
    EXPECT_EQ(client.ReadReply(), "220 hello");
    return client;
  }

  // Before the server: handlers write them until the server has stopped, after the end
  // of the test body.
  testing::Recorder events_;
  testing::Recorder refusals_;
  ConnectionBudget budget_{6};  // three connections, and room for one transfer
  ObservedServer server_{events_, refusals_};
  int port_ = 0;
};

TEST_F(FtpCommandServerTest, DispatchRules) {
  port_ = Start();
  FtpTestClient client = Connect();
  struct Case {
    const char* sent;
    const char* reply;
  };
  const Case cases[] = {
      {"NOOP", "200 NOOP got []"},
      {"noop", "200 NOOP got []"},
      {"NoOp  two  spaces ", "200 NOOP got [ two  spaces ]"},
      {"NOOPX", "500 Unknown Command"},
      {"NOO", "500 Unknown Command"},
      {"SILENT", "200 Ok"},
      {"DENY it", "550 Access denied"},
      {"FAIL", "451 Requested action aborted: local error in processing."},
      {"LINES", "214-a\n214-b\n214 c"},
      {"BADCODE", "451 Requested action aborted: local error in processing."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(client.Ask(c.sent), c.reply) << c.sent;
  // Only a refusal's text is for the client; any other failure's detail goes to the host.
  EXPECT_EQ(events_.Entries(),
            (std::vector<std::string>{"connect", "FAIL failed: one\ntwo",
                                      "BADCODE failed: Reply Code is not valid: 42"}));
}

TEST_F(FtpCommandServerTest, LineEndingsAndEmptyLines) {
  port_ = Start();
  FtpTestClient client = Connect();
  client.Send("\r\n\n");  // empty lines get no reply at all
  client.Send(std::string("NOOP a\r\0", 8));
  EXPECT_EQ(client.ReadReply(), "200 NOOP got [a]");
  client.Send("NOOP b\n");
  EXPECT_EQ(client.ReadReply(), "200 NOOP got [b]");
  client.Send("NO\xff\xf7OOP c\r\n");  // IAC EC erases the wrong letter
  EXPECT_EQ(client.ReadReply(), "200 NOOP got [c]");
  client.Send("\xff\xfd\x18NOOP\r\n");  // IAC DO option: refused with IAC WONT
  EXPECT_EQ(client.ReadLine(),
            "\xff\xfc\x18"
            "200 NOOP got []");
  EXPECT_TRUE(client.Silent(100ms));
}

TEST_F(FtpCommandServerTest, OverlongLineIsRefusedAndSessionGoesOn) {
  port_ = Start();
  FtpTestClient client = Connect();
  client.SendLine("NOOP " + std::string(100000, 'x'));
  EXPECT_EQ(client.ReadReply(), "500 Command line too long.");
  EXPECT_EQ(client.Ask("NOOP"), "200 NOOP got []");
}

TEST_F(FtpCommandServerTest, DisconnectingCommandSendsReplyThenCloses) {
  port_ = Start();
  FtpTestClient client = Connect();
  client.SendLine("BYE");
  EXPECT_EQ(client.ReadUntilClosed(), "221 bye\r\n");
}

TEST_F(FtpCommandServerTest, EventOrderOfSessions) {
  server_.SetReadTimeout(300ms);
  port_ = Start();
  {
    FtpTestClient client = Connect();
    client.SendLine("BYE");
    client.ReadUntilClosed();
  }
  // The server may see the next client before this session's thread reports its end.
  ASSERT_TRUE(events_.WaitForCount(2, std::chrono::seconds(5)));
  {
    FtpTestClient idle = Connect();
    idle.ReadUntilClosed();  // the read time-out ends the session
  }
  server_.SetActive(false);
  const std::vector<std::string> events = events_.Entries();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0], "connect");
  EXPECT_EQ(events[1], "disconnect");  // a clean end raises no exception
  EXPECT_EQ(events[2], "connect");
  EXPECT_EQ(events[3], "disconnect");
  EXPECT_EQ(events[4].rfind("exception: read time-out", 0), 0u) << events[4];
}

TEST_F(FtpCommandServerTest, ConnectHandlerThatThrowsGetsNoGreetingAndNoDisconnect) {
  server_.refuse_sessions = true;
  port_ = Start();
  FtpTestClient client(port_);
  EXPECT_EQ(client.ReadUntilClosed(), "");
  server_.SetActive(false);
  EXPECT_EQ(events_.Entries(), std::vector<std::string>{"exception: Not allowed to connect"});
}

TEST_F(FtpCommandServerTest, MaxConnectionsRefusesTheThirdClient) {
  server_.SetMaxConnections(2);
  server_.MaxConnectionReply() = Reply(421, "Server busy. Try again later.");
  port_ = Start();
  FtpTestClient first = Connect();
  FtpTestClient second = Connect();
  FtpTestClient third(port_);
  EXPECT_EQ(third.ReadUntilClosed(), "421 Server busy. Try again later.\r\n");
  EXPECT_EQ(first.Ask("NOOP"), "200 NOOP got []");
  EXPECT_EQ(second.Ask("NOOP"), "200 NOOP got []");
  EXPECT_EQ(server_.started.load(), 2);

  first.SendLine("BYE");
  first.ReadUntilClosed();
  // The slot frees once the first session has fully ended.
  for (int i = 0; i < 100 && server_.ConnectionCount() > 1; ++i)
    std::this_thread::sleep_for(10ms);
  FtpTestClient fourth = Connect();
  EXPECT_EQ(fourth.Ask("NOOP"), "200 NOOP got []");
}

TEST(ConnectionBudgetTest, ConnectionsLeaveTheHeadroomAndGrantsGiveBackWhatTheyHold) {
  ConnectionBudget budget(64);  // a headroom of four
  ASSERT_EQ(budget.Ceiling(), 60);
  std::vector<DescriptorGrant> held;
  while (auto place = budget.TryTakeConnection())
    held.push_back(std::move(*place));
  EXPECT_EQ(held.size(), 60u) << "connections stop short of the headroom";
  std::optional<DescriptorGrant> transfer = budget.TryTake(3);
  ASSERT_TRUE(transfer) << "a transfer may take the headroom";
  EXPECT_FALSE(budget.TryTake(2)) << "but not beyond the capacity";
  DescriptorGrant listener = transfer->Split(1);
  EXPECT_EQ(transfer->Count(), 2);
  held.clear();
  EXPECT_EQ(budget.InUse(), 3) << "a grant gives back on destruction";
  *transfer = std::move(listener);
  EXPECT_EQ(budget.InUse(), 1) << "a grant assigned over gives back what it held";
  transfer.reset();
  EXPECT_EQ(budget.InUse(), 0);
}

TEST_F(FtpCommandServerTest, AddressLimitAndSharedBudgetRefuseAndFreeUp) {
  server_.SetMaxConnectionsPerAddress(2);
  server_.SetConnectionBudget(&budget_);
  server_.MaxConnectionReply() = Reply(421, "Server busy. Try again later.");
  port_ = Start();
  // A second engine on the same budget, as the web site shares the FTP service's.
  FtpCommandServer other;
  other.Bindings() = {{"127.0.0.1", 0, platform::IpVersion::kV4}};
  other.Greeting() = Reply(220, "other");
  other.MaxConnectionReply() = Reply(421, "other busy");
  other.SetConnectionBudget(&budget_);
  other.SetActive(true);
  const int other_port = other.BoundAddresses().at(0).port;

  FtpTestClient first = Connect();
  FtpTestClient second = Connect();
  FtpTestClient third(port_);
  EXPECT_EQ(third.ReadUntilClosed(), "421 Server busy. Try again later.\r\n");
  FtpTestClient elsewhere(port_, "127.0.0.1", "127.0.0.2");
  EXPECT_EQ(elsewhere.ReadReply(), "220 hello");
  EXPECT_EQ(budget_.InUse(), 3);
  FtpTestClient on_other(other_port, "127.0.0.1", "127.0.0.3");
  EXPECT_EQ(on_other.ReadUntilClosed(), "421 other busy\r\n");
  FtpTestClient spent(port_, "127.0.0.1", "127.0.0.3");
  EXPECT_EQ(spent.ReadUntilClosed(), "421 Server busy. Try again later.\r\n");
  ASSERT_TRUE(refusals_.WaitForCount(2, 5s));
  EXPECT_EQ(refusals_.Entries(),
            (std::vector<std::string>{"127.0.0.1 per address", "127.0.0.3 no room"}));
  EXPECT_EQ(second.Ask("NOOP"), "200 NOOP got []") << "refusals disturb nobody admitted";

  // A session that ends gives its place back, to either engine.
  first.SendLine("BYE");
  first.ReadUntilClosed();
  for (int i = 0; i < 100 && budget_.InUse() > 2; ++i)
    std::this_thread::sleep_for(10ms);
  FtpTestClient taken(other_port, "127.0.0.1", "127.0.0.3");
  EXPECT_EQ(taken.ReadReply(), "220 other");
  other.SetActive(false);
  EXPECT_EQ(budget_.InUse(), 2);
  server_.SetActive(false);
  EXPECT_EQ(budget_.InUse(), 0);
}

TEST_F(FtpCommandServerTest, LineDeadlineCountsFromTheFirstByteNotPerRead) {
  server_.SetLineDeadline(400ms);
  port_ = Start();
  FtpTestClient client = Connect();
  // Silence before a line begins is the read time-out's business.
  std::this_thread::sleep_for(600ms);
  client.Send("NO");
  std::this_thread::sleep_for(150ms);
  client.Send("OP\r\n");
  EXPECT_EQ(client.ReadReply(), "200 NOOP got []") << "a line in pieces within the deadline";

  const auto start = std::chrono::steady_clock::now();
  client.Trickle("NOOP trickling along", 100ms);
  EXPECT_EQ(client.ReadUntilClosed(), "421 Control connection timed out.\r\n");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 400ms);
  EXPECT_LT(took, 1500ms);
}

TEST_F(FtpCommandServerTest, IdleSessionsCostNoProcessorTime) {
  port_ = Start();
  std::vector<FtpTestClient> clients;
  for (int i = 0; i < 50; ++i)
    clients.push_back(Connect());
  EXPECT_EQ(clients.back().Ask("NOOP"), "200 NOOP got []");
  const std::clock_t before = std::clock();
  std::this_thread::sleep_for(1s);
  const double seconds = static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
  // Sessions that polled their sockets every millisecond would burn a good part of a core.
  EXPECT_LT(seconds, 0.05) << "processor seconds spent by 50 idle sessions in one second";
}

TEST_F(FtpCommandServerTest, DeactivationWithOpenSessionsEndsThemAllPromptly) {
  port_ = Start();
  std::vector<FtpTestClient> clients;
  for (int i = 0; i < 20; ++i)
    clients.push_back(Connect());
  EXPECT_EQ(clients[5].Ask("NOOP"), "200 NOOP got []");
  ASSERT_EQ(server_.ConnectionCount(), 20);

  const auto start = std::chrono::steady_clock::now();
  server_.SetActive(false);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(server_.ended.load(), 20);
  EXPECT_EQ(server_.ConnectionCount(), 0);
  for (auto& client : clients)
    EXPECT_EQ(client.ReadUntilClosed(), "");
  EXPECT_THROW(FtpTestClient late(port_), platform::SocketError);

  // The same server starts again, and its commands are still there.
  port_ = Start();
  FtpTestClient again = Connect();
  EXPECT_EQ(again.Ask("NOOP"), "200 NOOP got []");
}

TEST_F(FtpCommandServerTest, SessionsCannotStopTheirServer) {
  server_.AddCommandHandler("STOP").on_command = [this](Command&) { server_.SetActive(false); };
  port_ = Start();
  FtpTestClient client = Connect();
  EXPECT_EQ(client.Ask("STOP"), "451 Requested action aborted: local error in processing.");
  EXPECT_TRUE(events_.WaitForCount(2, 5s));
  EXPECT_EQ(events_.Entries().back(), "STOP failed: a session cannot stop the server it runs in");
  EXPECT_TRUE(server_.Active());
  server_.SetActive(false);
  EXPECT_TRUE(server_.BoundAddresses().empty());
}

TEST_F(FtpCommandServerTest, BindingAPortInUseFailsCleanly) {
  port_ = Start();
  FtpCommandServer other;
  other.Bindings() = {{"127.0.0.1", 0, platform::IpVersion::kV4},
                      {"127.0.0.1", port_, platform::IpVersion::kV4}};
  EXPECT_THROW(other.SetActive(true), platform::SocketError);
  EXPECT_FALSE(other.Active());
  EXPECT_THROW(server_.SetMaxConnections(3), std::logic_error);
}

}  // namespace
}  // namespace vantrel
