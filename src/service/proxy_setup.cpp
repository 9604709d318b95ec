#include "service/proxy_setup.h"

#include <algorithm>

#include "common/packed_list.h"
#include "config/settings.h"

namespace vantrel {

ProxyTrust ProxyTrustOf(const SettingsData& settings,
                        std::optional<std::chrono::milliseconds> shorter) {
  if (!settings.proxyprotocol)
    return ProxyTrust();
  const std::chrono::milliseconds deadline =
      std::min(shorter.value_or(ProxyTrust::kDefaultDeadline), ProxyTrust::kDefaultDeadline);
  return ProxyTrust(SplitPacked(settings.proxytrusted), deadline);
}

}  // namespace vantrel
