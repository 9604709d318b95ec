#include "net/proxy_trust.h"

#include <algorithm>

#include "common/error.h"
#include "config/address_pattern.h"

namespace vantrel {

ProxyTrust::ProxyTrust(std::vector<std::string> patterns, std::chrono::milliseconds deadline)
    : patterns_(std::move(patterns)), deadline_(deadline) {
  if (deadline.count() <= 0)
    throw Error("The PROXY header deadline must be positive");
}

bool ProxyTrust::Trusts(const std::string& ip) const {
  return std::any_of(patterns_.begin(), patterns_.end(), [&ip](const std::string& pattern) {
    return MatchAddressPattern(ip, pattern);
  });
}

}  // namespace vantrel
