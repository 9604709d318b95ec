// Preparing data connections: the passive commands and their hooks, the passive port
// range, active connections, the refusals that guard them, and the limits on waiting.

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "ftp/transfer_fixture.h"
#include "platform/process.h"
#include "platform/resolver.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::ActiveListener;
using testing::ConnectData;
using testing::FtpTestClient;
using testing::PassivePort;
using testing::ReadAll;

constexpr const char* kAboutToOpen = "150 File status okay; about to open data connection.";
constexpr const char* kClosing = "226 Closing data connection.";
constexpr const char* kCannotOpen = "425 Can't open data connection.";

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// A port no socket uses at this moment.
int FreePort() {
  platform::TcpListener probe("127.0.0.1", 0, platform::IpVersion::kV4, false);
  return probe.LocalAddress().port;
}

// `count` consecutive ports, all free at this moment.
int FreeRange(int count) {
  for (int base = 41000 + FreePort() % 1000 * 20; base < 65000; base += count) {
    bool free = true;
    for (int port = base; port < base + count && free; ++port) {
      try {
        platform::TcpListener probe("127.0.0.1", port, platform::IpVersion::kV4, false);
      } catch (const platform::SocketError&) {
        free = false;
      }
    }
    if (free)
      return base;
  }
  throw std::runtime_error("no free port range");
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& failure) {
    return failure.what();
  }
  return "";
}

class FtpDataChannelTest : public testing::TransferFixture {
 protected:
  // Starts the server with a passive range of `count` free ports and "/file" holding
  // `content`; the range's first port.
  int StartWithPassiveRange(int count, const std::string& content) {
    const int min = FreeRange(count);
    server_.SetPASVBoundPortMax(min + count - 1);
    server_.SetPASVBoundPortMin(min);
    WriteFile("/file", content);
    Start();
    return min;
  }
};

TEST_F(FtpDataChannelTest, EveryPassiveCommandPreparesAConnection) {
  WriteFile("/file", "content of the file");
  Start();
  FtpTestClient client = LoggedIn();
  struct Case {
    const char* command;
    const char* reply_start;
  };
  for (const Case c :
       {Case{"PASV", "227 Entering Passive Mode (127,0,0,1,"},
        Case{"P@SW", "227 Entering Passive Mode (127,0,0,1,"},
        Case{"EPSV", "229 Entering Extended Passive Mode (|||"},
        Case{"EPSV 1", "229 Entering Extended Passive Mode (|||"}, Case{"SPSV", "227 "}}) {
    const std::string reply = client.Ask(c.command);
    EXPECT_TRUE(StartsWith(reply, c.reply_start)) << c.command << ": " << reply;
    platform::TcpSocket data = ConnectData(PassivePort(reply));
    EXPECT_EQ(client.Ask("RETR file"), kAboutToOpen) << c.command;
    EXPECT_EQ(ReadAll(data), "content of the file") << c.command;
    EXPECT_EQ(client.ReadReply(), kClosing) << c.command;
    EXPECT_EQ(client.Ask("RETR file"), kCannotOpen) << "a channel serves one transfer";
  }
  const std::string pasv = client.Ask("PASV");
  const int port = PassivePort(pasv);
  EXPECT_EQ(pasv, "227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
                      std::to_string(port % 256) + ").");
  const std::string epsv = client.Ask("EPSV");
  EXPECT_EQ(epsv,
            "229 Entering Extended Passive Mode (|||" + std::to_string(PassivePort(epsv)) + "|)");
  EXPECT_THROW(ConnectData(port), platform::SocketError) << "EPSV closed the PASV listener";
}

TEST_F(FtpDataChannelTest, PassiveHooksSeePortZeroNeverTheActiveSourcePort) {
  const int data_port = FreePort();
  const int chosen = FreePort();
  server_.SetDefaultDataPort(data_port);
  host_.passive_address = [this, chosen](FtpSession& session, PassiveAddress address,
                                         platform::IpVersion version) {
    recorded_.Add("bind " + address.bind_ip + " " + std::to_string(address.port) +
                  (version == platform::IpVersion::kV4 ? " v4" : " v6") +
                  (address.reply_names_address ? "" : " port only"));
    if (session.CurrentDir() == "/fixed")
      address.port = static_cast<std::uint16_t>(chosen);
    if (session.CurrentDir() == "/bad")
      address.bind_ip = "not an address";
    if (session.CurrentDir() == "/router") {
      address.bind_ip = "127.0.0.2";
      address.announce_ip = "203.0.113.5";
    }
    return address;
  };
  Start();
  FtpTestClient client = LoggedIn();
  const int first = PassivePort(client.Ask("PASV"));
  const int second = PassivePort(client.Ask("EPSV"));
  EXPECT_NE(first, data_port);
  EXPECT_NE(second, data_port);
  EXPECT_EQ(client.Ask("SPSV").substr(0, 4), "227 ");

  EXPECT_EQ(client.Ask("CWD /fixed"), "250 CWD Command successful.");
  EXPECT_EQ(PassivePort(client.Ask("PASV")), chosen);
  FtpTestClient other = LoggedIn();
  EXPECT_EQ(other.Ask("CWD /fixed"), "250 CWD Command successful.");
  EXPECT_EQ(other.Ask("PASV"), "500 Could not bind socket. Address and port are already in use.");
  EXPECT_EQ(PassivePort(client.Ask("PASV")), chosen) << "the session's own old listener gives way";

  EXPECT_EQ(client.Ask("CWD /bad"), "250 CWD Command successful.");
  EXPECT_EQ(client.Ask("PASV"), "500 Invalid IP Address");

  // Listening on one address while announcing another (a router's); replies that name no
  // address listen where the client already is, whatever the hook chose.
  EXPECT_EQ(client.Ask("CWD /router"), "250 CWD Command successful.");
  const std::string routed = client.Ask("PASV");
  EXPECT_TRUE(StartsWith(routed, "227 Entering Passive Mode (203,0,113,5,")) << routed;
  EXPECT_NO_THROW(ConnectData(PassivePort(routed), "127.0.0.2"));
  for (const char* port_only : {"EPSV", "SPSV"}) {
    const int port = PassivePort(client.Ask(port_only));
    EXPECT_THROW(ConnectData(port, "127.0.0.2"), platform::SocketError) << port_only;
    EXPECT_NO_THROW(ConnectData(port)) << port_only;
  }

  const auto entries = recorded_.Entries();
  EXPECT_EQ(entries.at(0), "bind 127.0.0.1 0 v4");
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "bind 127.0.0.1 0 v4"), 6);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "bind 127.0.0.1 0 v4 port only"), 4);
}

TEST_F(FtpDataChannelTest, PassiveRangeGivesEachSessionTheHighestFreePort) {
  host_.range_exhausted = [this](FtpSession&, int port) {
    recorded_.Add("exhausted " + std::to_string(port));
  };
  const int min = StartWithPassiveRange(3, "x");
  const int max = min + 2;
  std::vector<FtpTestClient> clients;
  for (int i = 0; i < 4; ++i)
    clients.push_back(LoggedIn());
  // Concurrent requests each take a different port of the range.
  std::vector<std::future<std::string>> replies;
  for (int i = 0; i < 3; ++i)
    replies.push_back(
        std::async(std::launch::async, [&clients, i] { return clients[i].Ask("EPSV"); }));
  std::vector<int> ports;
  for (auto& reply : replies)
    ports.push_back(PassivePort(reply.get()));
  std::sort(ports.begin(), ports.end());
  EXPECT_EQ(ports, (std::vector<int>{min, min + 1, max}));
  // With the range full, a port the system chooses still gives the client its transfer.
  EXPECT_EQ(Retrieve(clients[3], "file"), std::make_pair(std::string("x"), std::string(kClosing)));
  const auto entries = recorded_.Entries();  // "exhausted <port>", "retr /file"
  ASSERT_EQ(entries.size(), 2u);
  const int outside = std::stoi(entries[0].substr(std::string("exhausted ").size()));
  EXPECT_TRUE(outside < min || outside > max) << outside;
  // A finished transfer gives its port back, even with its connection just closed.
  for (int i = 0; i < 3; ++i) {
    const auto [bytes, reply] = Retrieve(clients[i], "file");
    EXPECT_EQ(reply, kClosing);
  }
  EXPECT_EQ(PassivePort(clients[3].Ask("PASV")), max);
}

TEST_F(FtpDataChannelTest, KeptPassiveListenersServeTheNextPasvAndCloseWithTheServer) {
  const int min = StartWithPassiveRange(2, "kept");
  const int max = min + 1;
  FtpTestClient client = LoggedIn();
  for (int i = 0; i < 3; ++i) {
    const auto [bytes, reply] = Retrieve(client, "file");
    EXPECT_EQ(bytes, "kept");
    EXPECT_EQ(reply, kClosing);
  }
  // A stranger's connection queued on the idle port between transfers is dropped, not
  // handed to the next transfer as its data connection.
  platform::TcpSocket stray = ConnectData(max);
  const std::string pasv = client.Ask("PASV");
  ASSERT_EQ(PassivePort(pasv), max) << pasv;
  platform::TcpSocket data = ConnectData(max);
  EXPECT_EQ(client.Ask("RETR file"), kAboutToOpen);
  EXPECT_EQ(ReadAll(data), "kept");
  EXPECT_EQ(client.ReadReply(), kClosing);
  EXPECT_EQ(ReadAll(stray), "") << "the queued stranger got nothing";
  // Another session finds the kept port free as well.
  FtpTestClient other = LoggedIn();
  EXPECT_EQ(PassivePort(other.Ask("PASV")), max);
  server_.SetActive(false);
  // (With SO_REUSEADDR: the transfers' connections linger on the port in TIME_WAIT.)
  EXPECT_NO_THROW(platform::TcpListener("127.0.0.1", max, platform::IpVersion::kV4, true).Listen(1))
      << "a stopped server keeps no passive port";
}

TEST_F(FtpDataChannelTest, UntakenPassiveListenersCloseAtTheAcceptTimeOut) {
  server_.SetDataTimeouts({300ms, 300ms});
  const int min = StartWithPassiveRange(2, "x");
  const int max = min + 1;
  FtpTestClient idle = LoggedIn();
  FtpTestClient late = LoggedIn();
  ASSERT_EQ(PassivePort(idle.Ask("PASV")), max);
  ASSERT_EQ(PassivePort(late.Ask("EPSV")), min);
  std::this_thread::sleep_for(600ms);
  // The idle session sent nothing, and still its port is free again.
  FtpTestClient next = LoggedIn();
  EXPECT_EQ(PassivePort(next.Ask("PASV")), max);
  EXPECT_EQ(late.Ask("RETR file"), kCannotOpen) << "the transfer command came too late";
  EXPECT_EQ(idle.Ask("NOOP"), "200 NOOP Command successful.");
  const auto [bytes, reply] = Retrieve(late, "file");
  EXPECT_EQ(reply, kClosing) << "taken in time, a listener serves";
}

TEST_F(FtpDataChannelTest, PassiveRangeSetterRules) {
  struct Step {
    bool minimum;
    int value;
    const char* error;
  };
  const Step steps[] = {
      {true, -1, "Property can not be a negative number."},
      {false, -5, "Property can not be a negative number."},
      {false, 5000, ""},
      {true, 5000, "PASVBoundPortMin must be less than PASVBoundPortMax."},
      {true, 6000, "PASVBoundPortMin must be less than PASVBoundPortMax."},
      {true, 4000, ""},
      {false, 4000, "PASVBoundPortMax must be greater than PASVBoundPortMin."},
      {false, 3000, "PASVBoundPortMax must be greater than PASVBoundPortMin."},
      {false, 7000, ""},  // moving the range up: the maximum first
      {true, 6500, ""},
      {true, 0, ""},
      {false, 0, ""},
  };
  for (const auto& step : steps) {
    const std::string error = ErrorOf([&] {
      if (step.minimum) {
        server_.SetPASVBoundPortMin(step.value);
      } else {
        server_.SetPASVBoundPortMax(step.value);
      }
    });
    EXPECT_EQ(error, step.error) << (step.minimum ? "min " : "max ") << step.value;
  }
  EXPECT_EQ(server_.PASVBoundPortMin(), 0);
  EXPECT_EQ(server_.PASVBoundPortMax(), 0);
}

TEST_F(FtpDataChannelTest, ExtendedPassiveArguments) {
  Start();
  FtpTestClient client = LoggedIn();
  const bool ipv6 = platform::IsIpv6Available();
  struct Case {
    const char* sent;
    std::string reply;
  };
  const Case cases[] = {
      {"EPSV 2", ipv6 ? "522 Network protocol mismatch, use (1)"
                      : "522 Network protocol not supported, use (1)"},
      {"EPSV 3", "522 Protocol not supported, use (1)"},
      {"EPSV x", ipv6 ? "522 Network protocol not supported, use (1,2)"
                      : "522 Network protocol not supported, use (1)"},
      {"EPSV all", "200  EPSV ALL sent, now only accepting EPSV connections"},
      {"PASV", "501 PASV not allowed after EPSV ALL"},
      {"P@SW", "501 P@SW not allowed after EPSV ALL"},
      {"SPSV", "501 SPSV not allowed after EPSV ALL"},
      {"PORT 127,0,0,1,200,10", "501 PORT not allowed after EPSV ALL"},
      {"EPRT |1|127.0.0.1|5000|", "501 EPRT not allowed after EPSV ALL"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(client.Ask(c.sent), c.reply) << c.sent;
  EXPECT_TRUE(StartsWith(client.Ask("EPSV"), "229 ")) << "EPSV itself still works";
  EXPECT_EQ(client.Ask("REIN"), "220 Service ready for new user.");
  EXPECT_TRUE(StartsWith(client.Ask("PASV"), "227 ")) << "REIN ends EPSV ALL";
}

TEST_F(FtpDataChannelTest, RefusedPortLeavesNoUsableChannel) {
  WriteFile("/file", "x");
  Start();
  FtpTestClient client = LoggedIn();
  struct Case {
    const char* sent;
    const char* reply;
  };
  const Case cases[] = {
      {"PORT 127,0,0,1,0,21", "504 PORT/EPRT Command disabled for reserved port range (1-1024)."},
      {"PORT 127,0,0,1,4,0", "504 PORT/EPRT Command disabled for reserved port range (1-1024)."},
      {"PORT 10,0,0,2,200,10",
       "504 Data port can only be used by the same IP address used by the control connection."},
      {"PORT 127,0,0,1,300,1", "501 Error in parameters to PORT"},
      {"PORT 127,0,0,1,0,0", "501 Error in parameters to PORT"},
      {"PORT 1,2,3", "501 Error in parameters to PORT"},
      {"PORT", "501 Error in parameters to PORT"},
      {"EPRT |1|127.0.0.1|21|", "504 PORT/EPRT Command disabled for reserved port range (1-1024)."},
      {"EPRT |1|10.0.0.2|5000|",
       "504 Data port can only be used by the same IP address used by the control connection."},
      {"EPRT |2|::1|5000|", "522 Network protocol mismatch, use (1)"},
      {"EPRT |3|127.0.0.1|5000|", "522 Network protocol not supported, use (1)"},
      {"EPRT |1|127.0.0.300|5000|", "500 Invalid IP Address"},
      {"EPRT |1|127.0.0.1|70000|", "500 Invalid port number"},
      {"EPRT |1|127.0.0.1|port|", "500 Invalid port number"},
      {"EPRT |1|127.0.0.1|5000", "501 Error in parameters to EPRT"},
      {"EPRT 127.0.0.1", "501 Error in parameters to EPRT"},
  };
  for (const auto& c : cases) {
    // A channel prepared earlier must not serve the transfer after a refusal.
    ASSERT_TRUE(StartsWith(client.Ask("PASV"), "227 "));
    EXPECT_EQ(client.Ask(c.sent), c.reply) << c.sent;
    EXPECT_EQ(client.Ask("RETR file"), kCannotOpen) << "after " << c.sent;
  }
  EXPECT_EQ(client.Ask("RETR file"), kCannotOpen) << "RETR with no PORT or PASV since";
}

TEST_F(FtpDataChannelTest, SecurityOptionsCanLiftOrTightenPortRules) {
  server_.SecurityOptions().no_reserved_range_port = false;
  server_.SecurityOptions().require_port_from_same_ip = false;
  Start();
  FtpTestClient client = LoggedIn();
  EXPECT_EQ(client.Ask("PORT 10,0,0,2,0,21"), "200 PORT Command successful.");
  EXPECT_EQ(client.Ask("EPRT |1|10.0.0.2|21|"), "200 EPRT Command successful.");
  server_.SetActive(false);
  server_.SecurityOptions().block_all_port_transfers = true;
  Start();
  FtpTestClient blocked = LoggedIn();
  EXPECT_EQ(blocked.Ask("PORT 127,0,0,1,200,10"), "502 PORT/EPRT Command disabled.");
  EXPECT_EQ(blocked.Ask("EPRT |1|127.0.0.1|5000|"), "502 PORT/EPRT Command disabled.");
  EXPECT_TRUE(StartsWith(blocked.Ask("PASV"), "227 ")) << "passive mode is not affected";
}

TEST_F(FtpDataChannelTest, ActiveConnectionsReachTheClient) {
  WriteFile("/file", "sent to the client");
  Start();
  FtpTestClient client = LoggedIn();
  for (const bool extended : {false, true}) {
    ActiveListener listener;
    const std::string command =
        extended ? "EPRT " + listener.EprtArgument() : "PORT " + listener.PortArgument();
    EXPECT_EQ(client.Ask(command),
              extended ? "200 EPRT Command successful." : "200 PORT Command successful.");
    EXPECT_EQ(client.Ask("RETR file"), kAboutToOpen);
    platform::TcpSocket data = listener.Accept();
    EXPECT_EQ(data.PeerAddress().ip, "127.0.0.1");
    EXPECT_EQ(ReadAll(data), "sent to the client");
    EXPECT_EQ(client.ReadReply(), kClosing);
  }
  ActiveListener upload;
  EXPECT_EQ(client.Ask("PORT " + upload.PortArgument()), "200 PORT Command successful.");
  EXPECT_EQ(client.Ask("STOR copy"), kAboutToOpen);
  platform::TcpSocket data = upload.Accept();
  data.Write("uploaded actively");
  data.Close();
  EXPECT_EQ(client.ReadReply(), kClosing);
  EXPECT_EQ(ReadFile("/copy"), "uploaded actively");
}

// A free port below the system's ephemeral range, so that no outgoing connection of the
// test itself can be handed the same number before the server binds it.
int FreeFixedPort() {
  for (int port = 20000 + FreePort() % 5000; port < 32000; ++port) {
    try {
      platform::TcpListener probe("127.0.0.1", port, platform::IpVersion::kV4, false);
      return port;
    } catch (const platform::SocketError&) {
    }
  }
  return FreePort();
}

TEST_F(FtpDataChannelTest, ActiveConnectionsComeFromTheDataPortWhenAllowed) {
  WriteFile("/file", "x");
  const int unprivileged = FreeFixedPort();
  for (const int data_port : {unprivileged, 20}) {
    server_.SetDefaultDataPort(data_port);
    Start();
    FtpTestClient client = LoggedIn();
    ActiveListener listener;
    EXPECT_EQ(client.Ask("PORT " + listener.PortArgument()), "200 PORT Command successful.");
    EXPECT_EQ(client.Ask("RETR file"), kAboutToOpen);
    platform::TcpSocket data = listener.Accept();
    // Port 20 needs root; without it the system picks, and the transfer still happens.
    const bool may_bind = data_port >= 1024 || platform::MayBindPrivilegedPorts();
    EXPECT_EQ(data.PeerAddress().port == data_port, may_bind) << data_port;
    EXPECT_EQ(ReadAll(data), "x");
    EXPECT_EQ(client.ReadReply(), kClosing);
    server_.SetActive(false);
  }
}

TEST_F(FtpDataChannelTest, PassiveConnectionFromAnotherAddressIsRefused) {
  WriteFile("/file", "secret");
  Start();
  FtpTestClient client = LoggedIn();
  const int port = PassivePort(client.Ask("PASV"));
  platform::TcpSocket intruder = ConnectData(port, "127.0.0.1", "127.0.0.2");
  EXPECT_EQ(client.Ask("RETR file"), kAboutToOpen);
  EXPECT_EQ(client.ReadReply(),
            "504 Data port can only be used by the same IP address used by the control "
            "connection.");
  EXPECT_EQ(ReadAll(intruder), "") << "not a byte of the file";
  EXPECT_EQ(client.Ask("RETR file"), kCannotOpen);

  server_.SetActive(false);
  server_.SecurityOptions().require_pasv_from_same_ip = false;
  Start();
  FtpTestClient relaxed = LoggedIn();
  platform::TcpSocket other =
      ConnectData(PassivePort(relaxed.Ask("PASV")), "127.0.0.1", "127.0.0.2");
  EXPECT_EQ(relaxed.Ask("RETR file"), kAboutToOpen);
  EXPECT_EQ(ReadAll(other), "secret");
  EXPECT_EQ(relaxed.ReadReply(), kClosing);
}

TEST_F(FtpDataChannelTest, ConnectionsThatNeverComeAreGivenUp) {
  server_.SetDataTimeouts({300ms, 300ms});
  WriteFile("/file", "x");
  Start();
  FtpTestClient client = LoggedIn();

  ASSERT_TRUE(StartsWith(client.Ask("PASV"), "227 "));
  EXPECT_EQ(client.Ask("RETR file"), kAboutToOpen);
  EXPECT_EQ(client.ReadReply(), kCannotOpen) << "the passive client never connected";

  // A listener whose queue is full drops the server's connection attempt unanswered.
  ActiveListener full("127.0.0.1", 0);
  platform::TcpSocket queued = ConnectData(full.port());
  EXPECT_EQ(client.Ask("PORT " + full.PortArgument()), "200 PORT Command successful.");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Ask("RETR file"), kAboutToOpen);
  EXPECT_EQ(client.ReadReply(), kCannotOpen) << "the active connection never came about";
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);

  // Nothing to connect to at all: refused at once.
  const int closed = FreePort();
  EXPECT_EQ(client.Ask("PORT 127,0,0,1," + std::to_string(closed / 256) + "," +
                       std::to_string(closed % 256)),
            "200 PORT Command successful.");
  EXPECT_EQ(client.Ask("RETR file"), kAboutToOpen);
  EXPECT_EQ(client.ReadReply(), kCannotOpen);
  EXPECT_EQ(client.Ask("NOOP"), "200 NOOP Command successful.") << "the session goes on";
}

TEST_F(FtpDataChannelTest, AbortWhileWaitingForTheConnection) {
  WriteFile("/file", "x");
  Start();
  FtpTestClient client = LoggedIn();
  ASSERT_TRUE(StartsWith(client.Ask("PASV"), "227 "));
  EXPECT_EQ(client.Ask("RETR file"), kAboutToOpen);
  EXPECT_EQ(client.Ask("ABOR"), "426 Data connection closed abnormally.");
  EXPECT_EQ(client.ReadReply(), kClosing);
  EXPECT_EQ(client.Ask("RETR file"), kCannotOpen);

  ASSERT_TRUE(StartsWith(client.Ask("PASV"), "227 "));
  EXPECT_EQ(client.Ask("ABOR"), "226 Closing data connection.") << "drops the prepared channel";
  EXPECT_EQ(client.Ask("RETR file"), kCannotOpen);
  EXPECT_EQ(client.Ask("ABOR"), "226 ABOR Command successful.");
}

TEST_F(FtpDataChannelTest, StoppingTheServerEndsEveryWaitAtOnce) {
  pattern_size_ = std::int64_t{1} << 40;
  WriteFile("/file", "x");
  Start();
  // Blocked sending to a client that reads nothing.
  FtpTestClient sending = LoggedIn();
  platform::TcpSocket unread = Passive(sending);
  EXPECT_EQ(sending.Ask("RETR pattern"), kAboutToOpen);
  // Waiting for a passive client that never connects.
  FtpTestClient waiting = LoggedIn();
  ASSERT_TRUE(StartsWith(waiting.Ask("PASV"), "227 "));
  EXPECT_EQ(waiting.Ask("RETR file"), kAboutToOpen);
  // Connecting to a client whose listener drops the attempt.
  ActiveListener full("127.0.0.1", 0);
  platform::TcpSocket queued = ConnectData(full.port());
  FtpTestClient connecting = LoggedIn();
  EXPECT_EQ(connecting.Ask("PORT " + full.PortArgument()), "200 PORT Command successful.");
  EXPECT_EQ(connecting.Ask("RETR file"), kAboutToOpen);
  std::this_thread::sleep_for(300ms);  // let the first transfer fill the buffers

  const auto start = std::chrono::steady_clock::now();
  server_.SetActive(false);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(server_.ConnectionCount(), 0);
}

TEST_F(FtpDataChannelTest, ExtendedCommandsOverIpv6) {
  if (!platform::IsIpv6Available())
    GTEST_SKIP() << "no IPv6 here";
  server_.Bindings().push_back({"::1", 0, platform::IpVersion::kV6});
  WriteFile("/file", "over IPv6");
  Start();
  FtpTestClient client(server_.BoundAddresses().at(1).port, "::1");
  EXPECT_EQ(client.ReadReply(), "220 Welcome");
  EXPECT_EQ(client.Ask("USER user"), "331 User name okay, need password.");
  EXPECT_EQ(client.Ask("PASS secret"), "230 User logged in, proceed.");

  const std::string epsv = client.Ask("EPSV");
  platform::TcpSocket data = ConnectData(PassivePort(epsv), "::1");
  EXPECT_EQ(client.Ask("RETR file"), kAboutToOpen);
  EXPECT_EQ(ReadAll(data), "over IPv6");
  EXPECT_EQ(client.ReadReply(), kClosing);

  ActiveListener listener("::1");
  EXPECT_EQ(client.Ask("EPRT " + listener.EprtArgument()), "200 EPRT Command successful.");
  EXPECT_EQ(client.Ask("RETR file"), kAboutToOpen);
  platform::TcpSocket active = listener.Accept();
  EXPECT_EQ(ReadAll(active), "over IPv6");
  EXPECT_EQ(client.ReadReply(), kClosing);

  EXPECT_EQ(client.Ask("EPRT |1|127.0.0.1|5000|"), "522 Network protocol mismatch, use (2)");
  EXPECT_EQ(client.Ask("EPSV 1"), "522 Network protocol mismatch, use (2)");
  EXPECT_EQ(client.Ask("PASV"), "500 PASV cannot announce the address ::1; use EPSV");
}

}  // namespace
}  // namespace vantrel
