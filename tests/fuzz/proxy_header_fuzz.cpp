// The load balancer's header parser over any bytes. The input sits in a buffer of exactly
// its size, so the sanitizer catches any read past it. Besides that, the parser must be a
// consistent function of a growing stream, since the connection thread calls it again as
// bytes arrive: a header, once complete, stays complete with the same length however many
// bytes follow, and every shorter prefix waits; input refused stays refused. A completed
// header names well-formed addresses in the system's canonical text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string_view>
#include <vector>

#include "net/proxy_header.h"
#include "platform/ip_text.h"

namespace {

using vantrel::ParseProxyHeader;
using vantrel::ProxyHeader;
using vantrel::ProxyParse;

[[noreturn]] void Fail(const char* what, std::size_t prefix) {
  std::cerr << "property violated: " << what << " (prefix of " << prefix << " bytes)" << std::endl;
  std::abort();
}

bool WellFormed(const vantrel::platform::SocketAddress& address) {
  return vantrel::platform::CanonicalAddress(address.ip, address.version) == address.ip &&
         address.port >= 0 && address.port <= 65535;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<char> buffer(data, data + size);
  const std::string_view input(buffer.data(), buffer.size());
  ProxyHeader header;
  std::size_t consumed = 0;
  const ProxyParse result = ParseProxyHeader(input, header, consumed);
  if (result == ProxyParse::kDone) {
    if (consumed == 0 || consumed > size)
      Fail("the header length lies outside the input", size);
    if (!header.local && !(WellFormed(header.source) && WellFormed(header.destination)))
      Fail("a completed header names a malformed address", size);
  }

  // Grow the stream byte by byte up to the input (or just past the header).
  const std::size_t last = result == ProxyParse::kDone ? consumed : size;
  bool refused = false;
  for (std::size_t prefix = 0; prefix <= last; ++prefix) {
    ProxyHeader partial;
    std::size_t partial_consumed = 0;
    const ProxyParse step = ParseProxyHeader(input.substr(0, prefix), partial, partial_consumed);
    if (refused && step != ProxyParse::kMalformed)
      Fail("refused input was accepted once more bytes came", prefix);
    refused = step == ProxyParse::kMalformed;
    if (result == ProxyParse::kDone) {
      const bool complete = prefix == consumed;
      if ((step == ProxyParse::kDone) != complete || (complete && partial_consumed != consumed))
        Fail("a header's completeness depends on the bytes after it", prefix);
    } else if (step == ProxyParse::kDone) {
      Fail("a prefix completed a header the whole input does not", prefix);
    }
  }
  return 0;
}
