#pragma once

// Where a passive listener listens and what its reply tells the client. The two differ
// behind a router that forwards the passive ports: the listener binds an address of this
// machine while the reply names the router's public one.

#include <cstdint>
#include <string>

namespace vantrel {

// Filled by the engine for one PASV, P@SW, EPSV or SPSV, settled by the host's
// FtpTransferHost::PassiveAddressFor.
struct PassiveAddress {
  // Starts as the control connection's local address.
  std::string bind_ip;
  // 0: the passive port range, else any free port.
  std::uint16_t port = 0;
  // The address the reply names; empty: the bound one.
  std::string announce_ip;
  // False for EPSV and SPSV, whose replies name a port only: their clients connect to
  // the address of the control connection, so the engine binds that whatever the
  // handler chose, and announces nothing else.
  bool reply_names_address = true;
};

}  // namespace vantrel
