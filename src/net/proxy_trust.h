#pragma once

// Which peers are load balancers that speak for their clients: a connection from one of
// them must open with a PROXY header, and the address in it stands for the client. The
// list holds addresses and ranges written as in the ban list. A peer outside it is served
// as a direct client, so turning the protocol on never locks out those who connect
// without the balancer; and a peer inside it cannot skip the header to pass as the
// balancer itself, since a connection without one is closed.

#include <chrono>
#include <string>
#include <vector>

namespace vantrel {

// A value: the server that owns it hands copies to whatever needs to ask (its data
// channels). Any thread may read a copy.
class ProxyTrust {
 public:
  static constexpr std::chrono::milliseconds kDefaultDeadline{5000};

  // Off: nobody is trusted.
  ProxyTrust() = default;
  ProxyTrust(std::vector<std::string> patterns, std::chrono::milliseconds deadline);

  // True when a connection from `ip` must begin with a PROXY header.
  bool Trusts(const std::string& ip) const;
  // How long such a connection may take to send its header, from its accept.
  std::chrono::milliseconds Deadline() const { return deadline_; }

  bool operator==(const ProxyTrust&) const = default;

 private:
  std::vector<std::string> patterns_;
  std::chrono::milliseconds deadline_ = kDefaultDeadline;
};

}  // namespace vantrel
