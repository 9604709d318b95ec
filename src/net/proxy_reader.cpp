#include "net/proxy_reader.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/tcp_socket.h"

namespace vantrel {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The longest header either form may have.
constexpr std::size_t kMaxHeader = std::max(kMaxProxyV1Length, 16 + kMaxProxyV2Length);

std::chrono::milliseconds Left(SteadyClock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return std::max(left, std::chrono::milliseconds(0));
}

// Takes `count` bytes the peek has shown to be there.
bool Discard(platform::TcpSocket& socket, std::size_t count, char* block) {
  while (count > 0) {
    const std::optional<std::size_t> got = socket.TryReceive(block, count);
    if (!got || *got == 0)
      return false;
    count -= *got;
  }
  return true;
}

}  // namespace

ProxyRead ReadProxyHeader(platform::TcpSocket& socket, std::chrono::milliseconds timeout,
                          ProxyHeader& header) {
  const auto deadline = SteadyClock::now() + timeout;
  std::array<char, kMaxHeader> block;
  std::string received;  // the header's bytes taken so far
  for (;;) {
    if (!socket.WaitReadable(Left(deadline)))
      return ProxyRead::kMissing;
    const std::optional<std::size_t> got =
        socket.TryPeek(block.data(), block.size() - received.size());
    if (!got)
      continue;  // the wait woke for nothing that can be read
    if (*got == 0)
      return ProxyRead::kMissing;
    const std::size_t before = received.size();
    received.append(block.data(), *got);
    std::size_t consumed = 0;
    const ProxyParse parse = ParseProxyHeader(received, header, consumed);
    if (parse == ProxyParse::kMalformed)
      return ProxyRead::kMalformed;
    // Short of a complete header, every byte shown is the header's: take them, so the next
    // wait sleeps until more arrive.
    const std::size_t take = parse == ProxyParse::kDone ? consumed - before : *got;
    if (!Discard(socket, take, block.data()))
      return ProxyRead::kMissing;
    if (parse == ProxyParse::kDone)
      return ProxyRead::kDone;
  }
}

}  // namespace vantrel
