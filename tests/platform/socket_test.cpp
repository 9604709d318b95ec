#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <thread>

#include "platform/resolver.h"
#include "platform/socket_error.h"
#include "platform/tcp_listener.h"
#include "platform/tcp_socket.h"

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

TEST(SocketTest, ConnectedEndsKnowEachOtherOnBothVersions) {
  struct Case {
    const char* ip;
    IpVersion version;
  };
  for (const Case c : {Case{"127.0.0.1", IpVersion::kV4}, Case{"::1", IpVersion::kV6}}) {
    if (c.version == IpVersion::kV6 && !IsIpv6Available())
      continue;
    TcpListener listener(c.ip, 0, c.version, false);
    listener.Listen(4);
    ASSERT_NE(listener.LocalAddress().port, 0) << c.ip;
    Pair pair = Connected(listener);
    EXPECT_EQ(pair.server.PeerAddress(), pair.client.LocalAddress()) << c.ip;
    EXPECT_EQ(pair.server.LocalAddress(), listener.LocalAddress()) << c.ip;
    EXPECT_EQ(pair.server.PeerAddress().ip, c.ip);
    EXPECT_TRUE(pair.server.SendsImmediately()) << c.ip;
    EXPECT_TRUE(pair.client.SendsImmediately()) << c.ip;

    pair.client.Write("hello");
    char buffer[16];
    const std::size_t got = pair.server.Read(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, got), "hello");
    pair.client.Close();
    EXPECT_EQ(pair.server.Read(buffer, sizeof buffer), 0u) << "peer close reads as 0";
  }
}

TEST(SocketTest, Ipv6ListenerLeavesIpv4ToItsOwnSocket) {
  if (!IsIpv6Available())
    GTEST_SKIP() << "no IPv6 here";
  // Without IPV6_V6ONLY the IPv6 socket would hold the IPv4 port as well. Another
  // process's IPv4 connection may hold the port the IPv6 listener drew: draw again then.
  std::optional<TcpListener> v6, v4;
  for (int attempt = 0; attempt < 20 && !v4; ++attempt) {
    v6.emplace("", 0, IpVersion::kV6, false);
    try {
      v4.emplace("", v6->LocalAddress().port, IpVersion::kV4, false);
    } catch (const AddressInUse&) {
    }
  }
  ASSERT_TRUE(v4) << "no port free on both versions";
  v4->Listen(4);
  TcpSocket client = TcpSocket::Connect({"127.0.0.1", v4->LocalAddress().port, IpVersion::kV4}, 2s);
  auto accepted = v4->Accept(2s);
  ASSERT_TRUE(accepted);
  EXPECT_EQ(accepted->PeerAddress().ip, "127.0.0.1");
}

TEST(SocketTest, ReadAndAcceptWaitsEndOnTime) {
  TcpListener listener("127.0.0.1", 0, IpVersion::kV4, false);
  listener.Listen(4);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(listener.Accept(100ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);

  Pair pair = Connected(listener);
  pair.server.SetReadTimeout(100ms);
  char buffer[4];
  EXPECT_THROW(pair.server.Read(buffer, sizeof buffer), SocketTimeout);
  EXPECT_FALSE(pair.server.WaitReadable(50ms));
  EXPECT_THROW(pair.server.SetReadTimeout(0ms), std::invalid_argument);
}

TEST(SocketTest, WriteToAStalledPeerTimesOut) {
  TcpListener listener("127.0.0.1", 0, IpVersion::kV4, false);
  listener.Listen(4);
  Pair pair = Connected(listener);
  pair.server.SetSendBufferSize(4096);
  pair.server.SetWriteTimeout(200ms);
  const std::string block(1 << 20, 'x');
  // The client never reads: the buffers fill and the write must give up, not hang.
  EXPECT_THROW(
      {
        for (int i = 0; i < 64; ++i)
          pair.server.Write(block);
      },
      SocketTimeout);
}

TEST(SocketTest, StopAndShutdownReleaseBlockedThreads) {
  TcpListener listener("127.0.0.1", 0, IpVersion::kV4, false);
  listener.Listen(4);
  auto accepting = std::async(std::launch::async, [&] { return listener.Accept(30s).has_value(); });
  std::this_thread::sleep_for(50ms);
  listener.Stop();
  ASSERT_EQ(accepting.wait_for(2s), std::future_status::ready);
  EXPECT_FALSE(accepting.get());
  EXPECT_TRUE(listener.WaitForStop(30s));

  TcpListener other("127.0.0.1", 0, IpVersion::kV4, false);
  other.Listen(4);
  Pair pair = Connected(other);
  pair.server.SetReadTimeout(30s);
  auto reading = std::async(std::launch::async, [&] {
    char buffer[4];
    return pair.server.Read(buffer, sizeof buffer);
  });
  std::this_thread::sleep_for(50ms);
  pair.server.Shutdown();
  ASSERT_EQ(reading.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(reading.get(), 0u);
}

TEST(SocketTest, ErrorsNameTheAddress) {
  TcpListener taken("127.0.0.1", 0, IpVersion::kV4, false);
  taken.Listen(1);
  const int port = taken.LocalAddress().port;
  try {
    TcpListener second("127.0.0.1", port, IpVersion::kV4, false);
    ADD_FAILURE() << "bound a port in use";
  } catch (const SocketError& e) {
    EXPECT_NE(std::string(e.what()).find("127.0.0.1:" + std::to_string(port)), std::string::npos)
        << e.what();
  }
  EXPECT_THROW(TcpListener("300.1.1.1", 0, IpVersion::kV4, false), SocketError);
  EXPECT_THROW(TcpListener("::1", 0, IpVersion::kV4, false), SocketError);

  TcpListener closed("127.0.0.1", 0, IpVersion::kV4, false);
  const SocketAddress nobody = closed.LocalAddress();  // bound, never listening
  EXPECT_THROW(TcpSocket::Connect(nobody, 2s), SocketError);
}

TEST(SocketTest, ResolvesNamesAndNumbers) {
  const auto numeric = ResolveHost("127.0.0.1", 21);
  ASSERT_EQ(numeric.size(), 1u);
  EXPECT_EQ(numeric[0], (SocketAddress{"127.0.0.1", 21, IpVersion::kV4}));
  const auto local = ResolveHost("localhost", 80, IpVersion::kV4);
  ASSERT_FALSE(local.empty());
  EXPECT_EQ(local[0].version, IpVersion::kV4);
  EXPECT_THROW(ResolveHost("no-such-host.invalid", 21), SocketError);
  EXPECT_EQ(NumericAddressVersion("::1"), IpVersion::kV6);
  EXPECT_EQ(NumericAddressVersion("10.0.0.1"), IpVersion::kV4);
  EXPECT_EQ(NumericAddressVersion("example.org"), std::nullopt);
  // Documentation addresses (RFC 5737, 3849) belong to no machine.
  for (const char* ip : {"127.0.0.1", "127.0.0.2"})
    EXPECT_TRUE(IsOwnAddress(ip)) << ip;
  for (const char* ip : {"203.0.113.5", "2001:db8::5", "localhost", ""})
    EXPECT_FALSE(IsOwnAddress(ip)) << ip;
}

}  // namespace
}  // namespace vantrel::platform
