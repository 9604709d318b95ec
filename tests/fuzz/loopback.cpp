#include "fuzz/loopback.h"

#include <stdexcept>

#include "common/text.h"
#include "platform/socket_error.h"

namespace vantrel::fuzz {
namespace {

constexpr std::chrono::milliseconds kWait{5000};
// How long a data client waits for the server to speak before taking it for an upload.
constexpr std::chrono::milliseconds kServerSpeaksFirst{20};
constexpr std::size_t kKeptReply = 1 << 20;

void ReadToEnd(platform::TcpSocket& socket) {
  char block[16384];
  while (socket.Read(block, sizeof block) > 0) {
  }
}

void RunDataClient(int port) {
  try {
    platform::TcpSocket socket =
        platform::TcpSocket::Connect({"127.0.0.1", port, platform::IpVersion::kV4}, kWait);
    socket.SetReadTimeout(kWait);
    socket.SetWriteTimeout(kWait);
    if (socket.WaitReadable(kServerSpeaksFirst)) {
      ReadToEnd(socket);
      return;
    }
    socket.Write(std::string(3000, 'u') + "\r\nlast line\n");
    socket.Shutdown();
  } catch (const platform::SocketError&) {
    // A listener replaced by the next PASV, or a transfer the server refused: both are
    // part of what is being fuzzed.
  }
}

// The port a 227 or 229 reply announces; 0 for every other line.
int AnnouncedPort(std::string_view line) {
  if (line.starts_with("229 ")) {
    const auto open = line.find("(|||");
    const auto close = line.find("|)");
    if (open == std::string_view::npos || close == std::string_view::npos || close < open + 4)
      return 0;
    return static_cast<int>(ParseInteger(line.substr(open + 4, close - open - 4)).value_or(0));
  }
  if (!line.starts_with("227 Entering Passive Mode ("))
    return 0;
  const auto close = line.find(')');
  if (close == std::string_view::npos)
    return 0;
  std::string_view numbers = line.substr(0, close);
  const auto last = numbers.rfind(',');
  if (last == std::string_view::npos)
    return 0;
  const auto low = ParseInteger(numbers.substr(last + 1));
  numbers = numbers.substr(0, last);
  const auto before = numbers.rfind(',');
  if (!low || before == std::string_view::npos)
    return 0;
  const auto high = ParseInteger(numbers.substr(before + 1));
  return high ? static_cast<int>(*high * 256 + *low) : 0;
}

}  // namespace

LoopbackListener::LoopbackListener() : listener_("127.0.0.1", 0, platform::IpVersion::kV4, false) {
  listener_.Listen(16);
}

LoopbackListener::Pair LoopbackListener::Connect() {
  platform::TcpSocket client = platform::TcpSocket::Connect(listener_.LocalAddress(), kWait);
  std::optional<platform::TcpSocket> server = listener_.Accept(kWait);
  if (!server)
    throw std::runtime_error("the loopback listener accepted nothing");
  return {std::move(client), std::move(*server)};
}

ScriptedClient::ScriptedClient(platform::TcpSocket socket, std::string input,
                               std::chrono::milliseconds silence, Observer on_received)
    : on_received_(std::move(on_received)),
      thread_(&ScriptedClient::Run, this, std::move(socket), std::move(input), silence) {}

ScriptedClient::~ScriptedClient() {
  if (thread_.joinable())
    thread_.join();
}

const std::string& ScriptedClient::Finish() {
  if (thread_.joinable())
    thread_.join();
  return received_;
}

void ScriptedClient::Run(platform::TcpSocket socket, std::string input,
                         std::chrono::milliseconds silence) {
  try {
    socket.SetReadTimeout(kWait);
    socket.SetWriteTimeout(kWait);
    socket.Write(input);
    char block[16384];
    for (;;) {
      if (!socket.WaitReadable(silence)) {
        socket.Shutdown();
        return;
      }
      const std::size_t got = socket.Read(block, sizeof block);
      if (got == 0)
        return;
      const std::string_view chunk(block, got);
      if (received_.size() < kKeptReply)
        received_.append(chunk);
      if (on_received_)
        on_received_(chunk);
    }
  } catch (const platform::SocketError&) {
    // The server closed first (a refused or finished session): nothing more to read.
  }
}

DataClients::~DataClients() {
  JoinAll();
}

void DataClients::Observe(std::string_view chunk) {
  pending_.append(chunk);
  for (;;) {
    const auto end = pending_.find("\r\n");
    if (end == std::string::npos)
      break;
    if (const int port = AnnouncedPort(std::string_view(pending_).substr(0, end)); port > 0)
      threads_.emplace_back(RunDataClient, port);
    pending_.erase(0, end + 2);
  }
  // A line without an end in sight is no reply the client will act on.
  if (pending_.size() > 4096)
    pending_.clear();
}

void DataClients::JoinAll() {
  for (auto& thread : threads_)
    thread.join();
  threads_.clear();
}

}  // namespace vantrel::fuzz
