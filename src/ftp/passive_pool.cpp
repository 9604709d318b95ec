#include "ftp/passive_pool.h"

#include "platform/ip_text.h"

namespace vantrel {

PassivePool::Key PassivePool::KeyOf(const std::string& ip, platform::IpVersion version, int port) {
  return {platform::CanonicalAddress(ip, version).value_or(ip), port};
}

void PassivePool::Put(std::unique_ptr<platform::TcpListener> listener, DescriptorGrant place) {
  const platform::SocketAddress& bound = listener->LocalAddress();
  const Key key = KeyOf(bound.ip, bound.version, bound.port);
  Kept replaced;  // closed after the lock is let go
  std::lock_guard lock(mutex_);
  replaced = std::exchange(listeners_[key], Kept{std::move(place), std::move(listener)});
}

std::unique_ptr<platform::TcpListener> PassivePool::Take(const std::string& ip,
                                                         platform::IpVersion version, int port) {
  std::unique_ptr<platform::TcpListener> listener;
  {
    std::lock_guard lock(mutex_);
    const auto found = listeners_.find(KeyOf(ip, version, port));
    if (found == listeners_.end())
      return nullptr;
    listener = std::move(found->second.listener);
    listeners_.erase(found);
  }
  listener->DiscardQueued();
  return listener;
}

void PassivePool::Clear() {
  std::map<Key, Kept> closing;
  std::lock_guard lock(mutex_);
  closing.swap(listeners_);
}

}  // namespace vantrel
