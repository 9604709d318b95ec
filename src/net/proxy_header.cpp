#include "net/proxy_header.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/ip_text.h"

namespace vantrel {
namespace {

using platform::IpVersion;
using platform::SocketAddress;

constexpr std::string_view kV1Signature = "PROXY ";
constexpr std::string_view kV2Signature("\r\n\r\n\0\r\nQUIT\n", 12);
constexpr std::size_t kV2FixedLength = 16;

// The binary form's command, family and transport nibbles.
constexpr unsigned kCommandLocal = 0x0;
constexpr unsigned kCommandProxy = 0x1;
constexpr unsigned kFamilyUnspecified = 0x00;
constexpr unsigned kTcpOverIpv4 = 0x11;
constexpr unsigned kTcpOverIpv6 = 0x21;
constexpr unsigned kStreamOverUnix = 0x31;

// True while `received` could still become `signature` or already starts with it.
bool StartsLike(std::string_view received, std::string_view signature) {
  const std::size_t n = std::min(received.size(), signature.size());
  return received.substr(0, n) == signature.substr(0, n);
}

unsigned ByteAt(std::string_view bytes, std::size_t index) {
  return static_cast<unsigned char>(bytes[index]);
}

// Cuts the text up to the next space (or the end) off the front of `rest`.
std::string_view NextField(std::string_view& rest) {
  const std::size_t space = rest.find(' ');
  const std::string_view field = rest.substr(0, space);
  rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
  return field;
}

std::optional<int> ParsePort(std::string_view text) {
  if (text.empty() || text.size() > 5)
    return std::nullopt;
  int port = 0;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return std::nullopt;
    port = port * 10 + (c - '0');
  }
  return port <= 65535 ? std::optional<int>(port) : std::nullopt;
}

ProxyParse Finish(ProxyHeader parsed, std::size_t length, ProxyHeader& header,
                  std::size_t& consumed) {
  header = std::move(parsed);
  consumed = length;
  return ProxyParse::kDone;
}

ProxyHeader LocalHeader() {
  ProxyHeader header;
  header.local = true;
  return header;
}

// "TCP4 <source> <destination> <source port> <destination port>", the signature and the
// line break already cut off.
std::optional<ProxyHeader> ParseV1Fields(std::string_view rest) {
  const std::string_view protocol = NextField(rest);
  if (protocol == "UNKNOWN")  // whatever follows is to be ignored
    return LocalHeader();
  if (protocol != "TCP4" && protocol != "TCP6")
    return std::nullopt;
  const IpVersion version = protocol == "TCP4" ? IpVersion::kV4 : IpVersion::kV6;
  const auto source = platform::CanonicalAddress(NextField(rest), version);
  const auto destination = platform::CanonicalAddress(NextField(rest), version);
  const auto source_port = ParsePort(NextField(rest));
  const auto destination_port = ParsePort(rest);
  if (!source || !destination || !source_port || !destination_port)
    return std::nullopt;
  return ProxyHeader{.local = false,
                     .source = {*source, *source_port, version},
                     .destination = {*destination, *destination_port, version}};
}

ProxyParse ParseV1(std::string_view received, ProxyHeader& header, std::size_t& consumed) {
  const std::string_view window = received.substr(0, kMaxProxyV1Length);
  const std::size_t newline = window.find('\n');
  if (newline == std::string_view::npos)
    return window.size() < kMaxProxyV1Length ? ProxyParse::kNeedMore : ProxyParse::kMalformed;
  // StartsLike saw the whole signature: it holds no line break.
  if (window[newline - 1] != '\r')
    return ProxyParse::kMalformed;
  const std::size_t start = kV1Signature.size();
  auto parsed = ParseV1Fields(window.substr(start, newline - 1 - start));
  if (!parsed)
    return ProxyParse::kMalformed;
  return Finish(std::move(*parsed), newline + 1, header, consumed);
}

// Judges the version, command and family bytes that have arrived, so a stray client fails
// before the fixed part is complete.
bool V2PrefixValid(std::string_view received) {
  if (received.size() > 12) {
    const unsigned version_command = ByteAt(received, 12);
    if (version_command >> 4 != 2 || (version_command & 0xF) > kCommandProxy)
      return false;
    if (received.size() > 13 && (version_command & 0xF) == kCommandProxy) {
      const unsigned family = ByteAt(received, 13);
      return family == kFamilyUnspecified || family == kTcpOverIpv4 || family == kTcpOverIpv6 ||
             family == kStreamOverUnix;
    }
  }
  return true;
}

SocketAddress V2Address(std::string_view block, std::size_t address_at, std::size_t port_at,
                        IpVersion version) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(block.data());
  const int port = static_cast<int>((ByteAt(block, port_at) << 8) | ByteAt(block, port_at + 1));
  if (version == IpVersion::kV4)
    return {platform::Ipv4Text(std::span<const std::uint8_t, 4>(bytes + address_at, 4)), port,
            version};
  return {platform::Ipv6Text(std::span<const std::uint8_t, 16>(bytes + address_at, 16)), port,
          version};
}

// The addresses at the start of the variable part; `block` is long enough for them.
ProxyHeader V2Addresses(unsigned family, std::string_view block) {
  if (family == kTcpOverIpv4)
    return {.local = false,
            .source = V2Address(block, 0, 8, IpVersion::kV4),
            .destination = V2Address(block, 4, 10, IpVersion::kV4)};
  return {.local = false,
          .source = V2Address(block, 0, 32, IpVersion::kV6),
          .destination = V2Address(block, 16, 34, IpVersion::kV6)};
}

ProxyParse ParseV2(std::string_view received, ProxyHeader& header, std::size_t& consumed) {
  if (!V2PrefixValid(received))
    return ProxyParse::kMalformed;
  if (received.size() < kV2FixedLength)
    return ProxyParse::kNeedMore;
  const bool local = (ByteAt(received, 12) & 0xF) == kCommandLocal;
  const unsigned family = ByteAt(received, 13);
  const std::size_t length = (ByteAt(received, 14) << 8) | ByteAt(received, 15);
  const std::size_t needed = local                    ? 0
                             : family == kTcpOverIpv4 ? 12
                             : family == kTcpOverIpv6 ? 36
                                                      : 0;
  if (length > kMaxProxyV2Length || length < needed)
    return ProxyParse::kMalformed;
  if (received.size() < kV2FixedLength + length)
    return ProxyParse::kNeedMore;
  ProxyHeader parsed =
      needed > 0 ? V2Addresses(family, received.substr(kV2FixedLength, length)) : LocalHeader();
  return Finish(std::move(parsed), kV2FixedLength + length, header, consumed);
}

}  // namespace

ProxyParse ParseProxyHeader(std::string_view received, ProxyHeader& header, std::size_t& consumed) {
  if (StartsLike(received, kV1Signature))
    return received.size() < kV1Signature.size() ? ProxyParse::kNeedMore
                                                 : ParseV1(received, header, consumed);
  if (StartsLike(received, kV2Signature))
    return received.size() < kV2Signature.size() ? ProxyParse::kNeedMore
                                                 : ParseV2(received, header, consumed);
  return ProxyParse::kMalformed;
}

}  // namespace vantrel
