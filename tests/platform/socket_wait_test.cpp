#include "platform/socket_wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/file.h"
#include "platform/ip_text.h"
#include "platform/socket_error.h"
#include "platform/splice_pipe.h"
#include "platform/tcp_connector.h"
#include "platform/tcp_listener.h"
#include "platform/tcp_socket.h"
#include "support/temp_dir.h"

namespace vantrel::platform {
namespace {

using namespace std::chrono_literals;

struct Pair {
  TcpSocket client;
  TcpSocket server;
};

Pair Connected(TcpListener& listener) {
  Pair pair;
  pair.client = TcpSocket::Connect(listener.LocalAddress(), 2s);
  auto accepted = listener.Accept(2s);
  if (!accepted)
    throw SocketError("nothing accepted");
  pair.server = std::move(*accepted);
  return pair;
}

class SocketWaitTest : public ::testing::Test {
 protected:
  SocketWaitTest() : listener_("127.0.0.1", 0, IpVersion::kV4, false) { listener_.Listen(4); }
  TcpListener listener_;
};

TEST_F(SocketWaitTest, ReportsOnlyTheSocketThatIsReady) {
  Pair a = Connected(listener_);
  Pair b = Connected(listener_);
  SocketWait idle;
  idle.WatchReadable(a.server);
  idle.WatchReadable(b.server);
  EXPECT_FALSE(idle.Wait(0ms)) << "nothing sent yet";

  b.client.Write("x");
  SocketWait wait;
  const std::size_t first = wait.WatchReadable(a.server);
  const std::size_t second = wait.WatchReadable(b.server);
  ASSERT_TRUE(wait.Wait(2s));
  EXPECT_FALSE(wait.Ready(first));
  EXPECT_TRUE(wait.Ready(second));
}

TEST_F(SocketWaitTest, ShutdownFromAnotherThreadWakesEvenAHangUpOnlyWatch) {
  Pair pair = Connected(listener_);
  pair.client.Write("unread input stays unread");
  SocketWait quiet;
  quiet.WatchHangUp(pair.server);
  EXPECT_FALSE(quiet.Wait(100ms)) << "pending input alone must not wake a hang-up watch";

  std::thread stopper([&] {
    std::this_thread::sleep_for(50ms);
    pair.server.Shutdown();
  });
  SocketWait wait;
  const std::size_t index = wait.WatchHangUp(pair.server);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(wait.Wait(5s));
  EXPECT_TRUE(wait.Ready(index));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  stopper.join();
}

TEST_F(SocketWaitTest, NonBlockingSendAndReceiveSayWhenTheyWouldWait) {
  Pair pair = Connected(listener_);
  char buffer[64];
  EXPECT_EQ(pair.server.TryReceive(buffer, sizeof buffer), std::nullopt);

  pair.client.SetSendBufferSize(4096);
  const std::string block(1 << 16, 'z');
  std::size_t queued = 0;
  for (int i = 0; i < 10000; ++i) {
    const std::size_t sent = pair.client.TrySend(block);
    if (sent == 0)
      break;
    queued += sent;
  }
  EXPECT_EQ(pair.client.TrySend(block), 0u) << "a peer that reads nothing fills the buffers";
  SocketWait full;
  full.WatchWritable(pair.client);
  EXPECT_FALSE(full.Wait(0ms));

  std::size_t drained = 0;
  while (drained < queued) {
    const auto got = pair.server.TryReceive(buffer, sizeof buffer);
    if (!got) {
      SocketWait wait;
      wait.WatchReadable(pair.server);
      ASSERT_TRUE(wait.Wait(2s));
      continue;
    }
    ASSERT_GT(*got, 0u);
    drained += *got;
  }
  pair.client.Close();
  SocketWait closed;
  closed.WatchReadable(pair.server);
  ASSERT_TRUE(closed.Wait(2s));
  EXPECT_EQ(pair.server.TryReceive(buffer, sizeof buffer), std::optional<std::size_t>(0));
}

TEST_F(SocketWaitTest, SendFileSendsFromThePositionAndMovesIt) {
  TempDir dir;
  std::string content;
  for (int i = 0; i < 100000; ++i)
    content += static_cast<char>('a' + i % 26);
  std::ofstream(dir.File("data"), std::ios::binary) << content;
  File file = File::Open(dir.File("data"), File::Mode::kRead);
  file.Seek(10);

  Pair pair = Connected(listener_);
  std::string received;
  char buffer[8192];
  for (;;) {
    const auto sent = pair.server.TrySendFile(file, 1 << 20);
    if (sent && *sent == 0)
      break;
    if (!sent) {
      SocketWait wait;
      wait.WatchWritable(pair.server);
      ASSERT_TRUE(wait.Wait(2s));
    }
    while (auto got = pair.client.TryReceive(buffer, sizeof buffer)) {
      if (*got == 0)
        break;
      received.append(buffer, *got);
    }
  }
  EXPECT_EQ(file.Position(), static_cast<std::int64_t>(content.size()));
  pair.server.Close();
  for (;;) {
    const std::size_t got = pair.client.Read(buffer, sizeof buffer);
    if (got == 0)
      break;
    received.append(buffer, got);
  }
  EXPECT_EQ(received, content.substr(10));
}

TEST_F(SocketWaitTest, SendFileToAPeerThatLeftIsAnErrorNotASignal) {
  TempDir dir;
  std::ofstream(dir.File("data"), std::ios::binary) << std::string(1 << 20, 'x');
  Pair pair = Connected(listener_);
  pair.client.Close();
  // The first sends may still be taken; once the peer's reset is in, the send fails. A
  // SIGPIPE would end this test binary instead.
  EXPECT_THROW(
      for (int i = 0; i < 1000; ++i) {
        File file = File::Open(dir.File("data"), File::Mode::kRead);
        while (pair.server.TrySendFile(file, 1 << 20).value_or(1) > 0) {
          std::this_thread::sleep_for(1ms);
        }
      },
      SocketError);
}

TEST_F(SocketWaitTest, SplicePipeWritesWhatArrivesAtTheFilesPosition) {
  TempDir dir;
  File file = File::Open(dir.File("upload"), File::Mode::kCreate);
  file.Write("head:", 5);
  const auto pipe = SplicePipe::Create();
  ASSERT_NE(pipe, nullptr);
  Pair pair = Connected(listener_);
  EXPECT_EQ(pipe->ReceiveInto(pair.server, file, 1 << 20), std::nullopt) << "nothing arrived yet";

  std::string sent;
  for (int i = 0; i < 300000; ++i)
    sent += static_cast<char>('a' + i % 26);
  std::thread writer([&] {
    pair.client.Write(sent);
    pair.client.Close();
  });
  std::size_t total = 0;
  for (;;) {
    const auto got = pipe->ReceiveInto(pair.server, file, 1 << 20);
    if (got && *got == 0)
      break;
    if (got) {
      total += *got;
      continue;
    }
    SocketWait wait;
    wait.WatchReadable(pair.server);
    ASSERT_TRUE(wait.Wait(2s));
  }
  writer.join();
  EXPECT_EQ(total, sent.size());
  EXPECT_EQ(file.Position(), static_cast<std::int64_t>(5 + sent.size()));
  file.Close();
  std::ifstream in(dir.File("upload"), std::ios::binary);
  const std::string stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(stored, "head:" + sent);
}

TEST_F(SocketWaitTest, ConnectorReportsRefusalWhenFinished) {
  // A port that was just free: nobody listens there now.
  int port = 0;
  {
    TcpListener closed("127.0.0.1", 0, IpVersion::kV4, false);
    port = closed.LocalAddress().port;
  }
  TcpConnector refused({"127.0.0.1", port, IpVersion::kV4}, std::nullopt);
  SocketWait wait;
  wait.WatchConnect(refused);
  ASSERT_TRUE(wait.Wait(2s));
  EXPECT_THROW(refused.Finish(), SocketError);

  TcpConnector accepted(listener_.LocalAddress(), SocketAddress{"127.0.0.1", 0, IpVersion::kV4});
  SocketWait ready;
  ready.WatchConnect(accepted);
  ASSERT_TRUE(ready.Wait(2s));
  TcpSocket socket = accepted.Finish();
  EXPECT_EQ(socket.PeerAddress(), listener_.LocalAddress());
}

TEST_F(SocketWaitTest, TakenPortIsAddressInUseEvenWithReuse) {
  const int port = listener_.LocalAddress().port;
  EXPECT_THROW(TcpListener("127.0.0.1", port, IpVersion::kV4, false), AddressInUse);
  // SO_REUSEADDR lets a second socket bind, but not listen beside a listener.
  EXPECT_THROW(
      {
        TcpListener second("127.0.0.1", port, IpVersion::kV4, true);
        second.Listen(1);
      },
      AddressInUse);
}

TEST(IpTextTest, CanonicalAddresses) {
  struct Case {
    const char* text;
    IpVersion version;
    std::optional<std::string> canonical;
  };
  const Case cases[] = {
      {"127.0.0.1", IpVersion::kV4, "127.0.0.1"},    {"0:0:0:0:0:0:0:1", IpVersion::kV6, "::1"},
      {"FD00::2", IpVersion::kV6, "fd00::2"},        {"::1", IpVersion::kV4, std::nullopt},
      {"127.0.0.1", IpVersion::kV6, std::nullopt},   {"256.1.1.1", IpVersion::kV4, std::nullopt},
      {"example.com", IpVersion::kV4, std::nullopt}, {"", IpVersion::kV4, std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CanonicalAddress(c.text, c.version), c.canonical) << c.text;
}

}  // namespace
}  // namespace vantrel::platform
