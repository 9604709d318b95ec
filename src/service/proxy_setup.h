#pragma once

#include <chrono>
#include <optional>

#include "net/proxy_trust.h"

namespace vantrel {

struct SettingsData;

// Whom the settings trust to send PROXY headers: nobody while `proxyprotocol` is off,
// else the patterns of `proxytrusted`. A header gets the engine's few seconds, or
// `shorter` (the operator's figure for a client's line or request) when that is less.
ProxyTrust ProxyTrustOf(const SettingsData& settings,
                        std::optional<std::chrono::milliseconds> shorter);

}  // namespace vantrel
