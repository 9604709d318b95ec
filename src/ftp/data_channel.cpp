#include "ftp/data_channel.h"

#include "ftp/passive_pool.h"
#include "ftp/transfer_control.h"
#include "net/proxy_reader.h"
#include "platform/socket_error.h"
#include "platform/socket_wait.h"
#include "platform/tcp_connector.h"

namespace vantrel {

using SteadyClock = std::chrono::steady_clock;

namespace {

std::chrono::milliseconds Left(SteadyClock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return std::max(left, std::chrono::milliseconds(0));
}

std::unique_ptr<platform::TcpConnector> StartConnect(
    const platform::SocketAddress& remote, const std::optional<platform::SocketAddress>& local) {
  try {
    return std::make_unique<platform::TcpConnector>(remote, local);
  } catch (const platform::SocketError&) {
    if (!local || local->port == 0)
      throw;
  }
  // The source port may be held by a connection to the same client that the system
  // still remembers; any port serves as well.
  platform::SocketAddress any_port = *local;
  any_port.port = 0;
  return std::make_unique<platform::TcpConnector>(remote, any_port);
}

}  // namespace

std::unique_ptr<DataChannel> DataChannel::Active(platform::SocketAddress remote,
                                                 std::optional<platform::SocketAddress> local) {
  std::unique_ptr<DataChannel> channel(new DataChannel);
  channel->remote_ = std::move(remote);
  channel->local_ = std::move(local);
  return channel;
}

std::unique_ptr<DataChannel> DataChannel::Passive(std::unique_ptr<platform::TcpListener> listener,
                                                  DescriptorGrant places, bool require_same_ip,
                                                  std::string client_ip, PassivePool* pool,
                                                  SteadyClock::time_point unused_until) {
  std::unique_ptr<DataChannel> channel(new DataChannel);
  channel->places_ = std::move(places);
  channel->listener_ = std::move(listener);
  channel->pool_ = pool;
  channel->require_same_ip_ = require_same_ip;
  channel->client_ip_ = std::move(client_ip);
  channel->unused_until_ = unused_until;
  return channel;
}

void DataChannel::CountListening(std::atomic<int>& count) {
  count.fetch_add(1);
  listening_.reset(&count);
}

std::optional<SteadyClock::time_point> DataChannel::UnusedUntil() const {
  if (!listener_)
    return std::nullopt;
  return unused_until_;
}

bool DataChannel::Expired() const {
  return listener_ && SteadyClock::now() >= unused_until_;
}

platform::SocketAddress DataChannel::BoundAddress() const {
  return listener_ ? listener_->LocalAddress() : platform::SocketAddress{};
}

std::optional<platform::TcpSocket> DataChannel::Open(TransferControl& control,
                                                     const DataChannelTimeouts& timeouts) {
  failure_ = Failure::kNone;
  return listener_ ? Accept(control, timeouts.accept) : Connect(control, timeouts.connect);
}

template <typename Watch>
bool DataChannel::WaitFor(TransferControl& control, SteadyClock::time_point deadline, Watch watch) {
  for (;;) {
    const auto left = Left(deadline);
    if (left.count() == 0) {
      failure_ = Failure::kNoConnection;
      return false;
    }
    platform::SocketWait wait;
    const std::size_t data = watch(wait);
    const std::size_t command = control.Watch(wait);
    if (!wait.Wait(left))
      continue;
    if (wait.Ready(command)) {
      control.Serve();
      if (control.ShouldStop()) {
        failure_ = Failure::kStopped;
        return false;
      }
    }
    if (wait.Ready(data))
      return true;
  }
}

std::optional<platform::TcpSocket> DataChannel::Accept(TransferControl& control,
                                                       std::chrono::milliseconds timeout) {
  const auto deadline = SteadyClock::now() + timeout;
  const auto queued = [this](platform::SocketWait& wait) { return wait.WatchAccept(*listener_); };
  // Clients mostly connect before they send the transfer command: look before waiting.
  bool waited = false;
  for (;;) {
    if (waited && !WaitFor(control, deadline, queued))
      return std::nullopt;
    waited = true;
    std::optional<platform::TcpSocket> connection;
    try {
      connection = listener_->Accept(std::chrono::milliseconds(0));
    } catch (const platform::SocketError&) {
      failure_ = Failure::kNoConnection;  // out of descriptors, say
      return std::nullopt;
    }
    if (!connection)
      continue;  // it went away between the wait and the accept
    DescriptorGrant listener_place = places_.Split(1);
    if (pool_)
      pool_->Put(std::move(listener_), std::move(listener_place));
    listener_.reset();
    listener_place = DescriptorGrant();
    listening_.reset();
    const std::optional<std::string> client = ClientOf(*connection);
    if (!client)
      return std::nullopt;
    if (require_same_ip_ && *client != client_ip_) {
      failure_ = Failure::kWrongPeer;
      return std::nullopt;
    }
    return connection;
  }
}

std::optional<std::string> DataChannel::ClientOf(platform::TcpSocket& connection) {
  const std::string& peer = connection.PeerAddress().ip;
  if (!proxy_.Trusts(peer))
    return peer;
  ProxyHeader header;
  if (ReadProxyHeader(connection, proxy_.Deadline(), header) != ProxyRead::kDone) {
    failure_ = Failure::kNoConnection;
    return std::nullopt;
  }
  return header.local ? peer : header.source.ip;
}

std::optional<platform::TcpSocket> DataChannel::Connect(TransferControl& control,
                                                        std::chrono::milliseconds timeout) {
  std::unique_ptr<platform::TcpConnector> connector;
  try {
    connector = StartConnect(remote_, local_);
  } catch (const platform::SocketError&) {
    failure_ = Failure::kNoConnection;
    return std::nullopt;
  }
  const auto deadline = SteadyClock::now() + timeout;
  const auto attempt = [&](platform::SocketWait& wait) { return wait.WatchConnect(*connector); };
  if (!WaitFor(control, deadline, attempt))
    return std::nullopt;
  try {
    return connector->Finish();
  } catch (const platform::SocketError&) {
    failure_ = Failure::kNoConnection;
    return std::nullopt;
  }
}

}  // namespace vantrel
