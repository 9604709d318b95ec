#include "common/connection_key.h"

namespace vantrel {

std::string ConnectionKey(std::string_view peer_address, int peer_port) {
  std::string key(peer_address);
  key += ':';
  key += std::to_string(peer_port);
  return key;
}

std::string_view AddressOfKey(std::string_view key) {
  const auto colon = key.find_last_of(':');
  return colon == std::string_view::npos ? key : key.substr(0, colon);
}

}  // namespace vantrel
