// Active data connections (PORT, EPRT): the server connects to where the client says,
// within the session's security options.

#include <variant>

#include "ftp/ftp_server.h"
#include "ftp/port_argument.h"
#include "platform/process.h"

namespace vantrel {
namespace {

using platform::IpVersion;

// A refused PORT or EPRT: whatever channel came before must not serve the next transfer.
void RefusePort(Command& command, FtpSession& session, Reply reply) {
  session.SetDataPort(0);
  session.SetDataPortRefused(true);
  command.reply = std::move(reply);
}

}  // namespace

bool FtpServer::RefusedAfterEpsvAll(Command& command, const FtpSession& session) const {
  if (!session.EPSVAll())
    return false;
  command.reply = Reply(501, command.handler.command + " not allowed after EPSV ALL");
  return true;
}

bool FtpServer::ActiveAllowed(Command& command, FtpSession& session) const {
  session.SetDataPortRefused(false);
  if (RefusedAfterEpsvAll(command, session))
    return false;
  if (session.SecurityOptions().block_all_port_transfers) {
    RefusePort(command, session, Reply(502, "PORT/EPRT Command disabled."));
    return false;
  }
  session.SetPassiveMode(false);
  return true;
}

void FtpServer::CmdPort(Command& command, FtpSession& session) {
  if (!ActiveAllowed(command, session))
    return;
  const std::optional<platform::SocketAddress> target = ParsePortArgument(command.unparsed_params);
  if (!target) {
    RefusePort(command, session, ParameterError(command));
    return;
  }
  PrepareActive(command, session, *target);
}

void FtpServer::CmdEprt(Command& command, FtpSession& session) {
  if (!ActiveAllowed(command, session))
    return;
  const IpVersion control = session.Socket().LocalAddress().version;
  const std::variant<platform::SocketAddress, Reply> parsed =
      ParseEprtArgument(command.unparsed_params, control);
  if (const Reply* error = std::get_if<Reply>(&parsed)) {
    RefusePort(command, session, error->code() == 501 ? ParameterError(command) : *error);
    return;
  }
  PrepareActive(command, session, std::get<platform::SocketAddress>(parsed));
}

void FtpServer::PrepareActive(Command& command, FtpSession& session,
                              const platform::SocketAddress& target) {
  const auto& [ip, port, version] = target;
  if (session.SecurityOptions().no_reserved_range_port && port >= 1 && port <= 1024) {
    RefusePort(command, session,
               Reply(504, "PORT/EPRT Command disabled for reserved port range (1-1024)."));
    return;
  }
  // Without this check a client could make the server connect to any third host
  // (the "bounce" attack of RFC 2577).
  if (session.SecurityOptions().require_port_from_same_ip && ip != session.PeerAddress().ip) {
    RefusePort(command, session, Reply(504, kSameAddressOnly));
    return;
  }
  std::optional<platform::SocketAddress> local;
  const platform::SocketAddress& control = session.Socket().LocalAddress();
  if (control.version == version) {
    // The traditional source port 20 needs root; without it any port serves.
    const bool may_bind = default_data_port_ >= 1024 ||
                          (default_data_port_ > 0 && platform::MayBindPrivilegedPorts());
    local = platform::SocketAddress{control.ip, may_bind ? default_data_port_ : 0, version};
  }
  session.SetDataChannel(DataChannel::Active(target, local));
  session.SetDataPort(port);
  command.reply = Reply(200, command.handler.command + " Command successful.");
}

}  // namespace vantrel
