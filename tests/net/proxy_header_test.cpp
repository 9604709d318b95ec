// The load balancer's header in front of a proxied connection, from real bytes of both
// forms: where the client's own bytes start, what comes out as the client's address, and
// that every cut-off header waits while every wrong one fails as soon as it shows; and
// the reader that takes a header off a real socket and leaves the client's bytes there.

#include "net/proxy_header.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/proxy_reader.h"
#include "platform/tcp_listener.h"
#include "platform/tcp_socket.h"

namespace vantrel {
namespace {

using namespace std::string_literals;
using namespace std::chrono_literals;
using platform::IpVersion;
using platform::SocketAddress;

const std::string kSignature = "\r\n\r\n\0\r\nQUIT\n"s;
// From 192.168.1.10:54321 to 10.0.0.1:21.
const std::string kIpv4Block = "\xC0\xA8\x01\x0A\x0A\x00\x00\x01\xD4\x31\x00\x15"s;

// The binary form with a length field that matches `body`.
std::string V2(char command, char family, const std::string& body) {
  return kSignature + command + family + static_cast<char>(body.size() >> 8) +
         static_cast<char>(body.size() & 0xFF) + body;
}

ProxyParse Parse(std::string_view bytes) {
  ProxyHeader header;
  std::size_t consumed = 0;
  return ParseProxyHeader(bytes, header, consumed);
}

TEST(ProxyHeaderTest, CompleteHeadersGiveTheClientAndWhereItsBytesStart) {
  struct Case {
    std::string header;
    bool local;
    SocketAddress source, destination;
  };
  const SocketAddress none;
  const SocketAddress v4_source{"192.168.1.10", 54321, IpVersion::kV4};
  const SocketAddress v4_destination{"10.0.0.1", 21, IpVersion::kV4};
  const std::string max_ipv6 = "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff";
  const Case cases[] = {
      {"PROXY TCP4 192.168.1.10 10.0.0.1 54321 21\r\n", false, v4_source, v4_destination},
      {"PROXY TCP6 2001:DB8:0:0::1 ::FFFF:192.0.2.7 65535 0\r\n",
       false,
       {"2001:db8::1", 65535, IpVersion::kV6},
       {"::ffff:192.0.2.7", 0, IpVersion::kV6}},
      {"PROXY UNKNOWN\r\n", true, none, none},
      // The longest line the form allows.
      {"PROXY UNKNOWN " + max_ipv6 + " " + max_ipv6 + " 65535 65535\r\n", true, none, none},
      {kSignature + "\x21\x11\x00\x0C"s + kIpv4Block, false, v4_source, v4_destination},
      // A no-op field after the addresses is skipped.
      {kSignature + "\x21\x11\x00\x12"s + kIpv4Block + "\x04\x00\x03xyz"s, false, v4_source,
       v4_destination},
      {kSignature + "\x21\x21\x00\x24"s +
           "\x20\x01\x0D\xB8\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01"s +
           "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\xFF\xFF\xC0\x00\x02\x07"s +
           "\x04\xD2\x00\x15"s,
       false,
       {"2001:db8::1", 1234, IpVersion::kV6},
       {"::ffff:192.0.2.7", 21, IpVersion::kV6}},
      // The balancer's health check: addresses, if any, are not the client's.
      {kSignature + "\x20\x00\x00\x00"s, true, none, none},
      {kSignature + "\x20\x11\x00\x0C"s + kIpv4Block, true, none, none},
      // A family without IP addresses: the connection's own addresses stand.
      {kSignature + "\x21\x00\x00\x00"s, true, none, none},
      {V2('\x21', '\x31', std::string(216, 'u')), true, none, none},
      {V2('\x21', '\x11', kIpv4Block + std::string(kMaxProxyV2Length - 12, '\0')), false, v4_source,
       v4_destination},
  };
  for (const auto& c : cases) {
    const std::string name = testing::PrintToString(c.header);
    for (std::size_t cut = 0; cut < c.header.size(); ++cut)
      ASSERT_EQ(Parse(c.header.substr(0, cut)), ProxyParse::kNeedMore) << name << " cut " << cut;
    ProxyHeader header;
    std::size_t consumed = 0;
    ASSERT_EQ(ParseProxyHeader(c.header + "USER x\r\n", header, consumed), ProxyParse::kDone)
        << name;
    EXPECT_EQ(consumed, c.header.size()) << name;
    EXPECT_EQ(header.local, c.local) << name;
    EXPECT_EQ(header.source, c.source) << name;
    EXPECT_EQ(header.destination, c.destination) << name;
  }
}

// Each input waits (kNeedMore) below `shown_at` bytes and is refused from there on.
TEST(ProxyHeaderTest, WrongInputFailsAsSoonAsItShows) {
  struct Case {
    std::string bytes;
    std::size_t shown_at;
  };
  const std::string v1_bad_tail = "PROXY TCP4 1.2.3.4 5.6.7.8 1 2";
  const Case cases[] = {
      {"USER anonymous\r\n", 1},
      {"GET / HTTP/1.1\r\n", 1},
      {"\r\n\r\n\0\r\nQUIZ\n"s, 11},
      {"PROXY\r\n", 6},
      {v1_bad_tail + "\n", v1_bad_tail.size() + 1},
      {v1_bad_tail + " \r\n", v1_bad_tail.size() + 3},
      {"PROXY TCP5 1.2.3.4 5.6.7.8 1 2\r\n", 32},
      {"PROXY TCP4 1.2.3.4 5.6.7.8 1\r\n", 30},
      {"PROXY TCP4 1.2.3.4  5.6.7.8 1 2\r\n", 33},
      {"PROXY TCP4 1.2.3.4 5.6.7.8 65536 2\r\n", 36},
      {"PROXY TCP4 1.2.3.4 5.6.7.8 -1 2\r\n", 33},
      {"PROXY TCP4 ::1 ::1 1 2\r\n", 24},
      {"PROXY TCP6 1.2.3.4 5.6.7.8 1 2\r\n", 32},
      {"PROXY tcp4 1.2.3.4 5.6.7.8 1 2\r\n", 32},
      {"PROXY UNKNOWN " + std::string(200, 'a'), kMaxProxyV1Length},
      {kSignature + "\x11\x11\x00\x0C"s + kIpv4Block, 13},  // version 1
      {kSignature + "\x22\x11\x00\x0C"s + kIpv4Block, 13},  // command 2
      {kSignature + "\x21\x12\x00\x0C"s + kIpv4Block, 14},  // datagram
      {kSignature + "\x21\x41\x00\x0C"s + kIpv4Block, 14},  // no such family
      {kSignature + "\x21\x11\x00\x0B"s + kIpv4Block, 16},  // too short for its family
      {kSignature + "\x21\x21\x00\x23"s + std::string(35, '\0'), 16},
      {V2('\x20', '\0', std::string(kMaxProxyV2Length + 1, '\0')), 16},
      {kSignature + "\x21\x11\xFF\xFF"s, 16},
  };
  for (const auto& c : cases) {
    const std::string name = testing::PrintToString(c.bytes);
    for (std::size_t cut = 0; cut <= c.bytes.size(); ++cut) {
      const auto expected = cut < c.shown_at ? ProxyParse::kNeedMore : ProxyParse::kMalformed;
      ASSERT_EQ(Parse(std::string_view(c.bytes).substr(0, cut)), expected)
          << name << " cut " << cut;
    }
  }
}

// The balancer's side writes its pieces with pauses, so the reader sees them arrive apart;
// `close` then ends its side instead of leaving it open.
TEST(ProxyReaderTest, TakesTheHeaderAndNoMoreFromTheSocket) {
  struct Case {
    const char* name;
    std::vector<std::string> pieces;
    bool close;
    ProxyRead expected;
    std::string client;  // what the socket still holds, or the source named
  };
  const std::string v2 = kSignature + "\x21\x11\x00\x0C"s + kIpv4Block;
  const Case cases[] = {
      {"text form and the client's command in one segment",
       {"PROXY TCP4 192.168.1.10 10.0.0.1 54321 21\r\nUSER x\r\n"},
       false,
       ProxyRead::kDone,
       "USER x\r\n"},
      {"text form a few bytes at a time",
       {"PROX", "Y TCP4 192.168.1.10 10.0", ".0.1 54321 21\r", "\n", "\x16\x03\x01"},
       false,
       ProxyRead::kDone,
       "\x16\x03\x01"},
      {"binary form cut inside its fixed part, then a TLS hello",
       {v2.substr(0, 14), v2.substr(14) + "\x16\x03\x01"},
       false,
       ProxyRead::kDone,
       "\x16\x03\x01"},
      {"a client that skipped the balancer", {"USER x\r\n"}, false, ProxyRead::kMalformed, ""},
      {"a header cut off by the close", {"PROXY TCP4 192."}, true, ProxyRead::kMissing, ""},
      {"nothing within the time-out", {}, false, ProxyRead::kMissing, ""},
  };
  platform::TcpListener listener("127.0.0.1", 0, IpVersion::kV4, false);
  listener.Listen(8);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::TcpSocket balancer = platform::TcpSocket::Connect(listener.LocalAddress(), 2s);
    std::optional<platform::TcpSocket> accepted = listener.Accept(2s);
    ASSERT_TRUE(accepted);
    std::thread writer([&] {
      for (const auto& piece : c.pieces) {
        balancer.Write(piece);
        std::this_thread::sleep_for(20ms);
      }
      if (c.close)
        balancer.Shutdown();
    });
    ProxyHeader header;
    const auto started = std::chrono::steady_clock::now();
    const ProxyRead read = ReadProxyHeader(*accepted, 500ms, header);
    const auto took = std::chrono::steady_clock::now() - started;
    writer.join();
    EXPECT_EQ(read, c.expected);
    EXPECT_LT(took, 2s) << "bounded by the time-out";
    if (read != ProxyRead::kDone)
      continue;
    EXPECT_EQ(header.source.ip, "192.168.1.10");
    char rest[64] = {};
    const std::size_t got = accepted->Read(rest, sizeof rest, 1s);
    EXPECT_EQ(std::string(rest, got), c.client) << "the client's first bytes stay unread";
  }
}

}  // namespace
}  // namespace vantrel
