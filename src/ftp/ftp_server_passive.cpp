// Passive data connections (PASV, P@SW, EPSV, SPSV): a listener the client connects to,
// bound where the host says and announced in the reply.

#include "common/text.h"
#include "ftp/ftp_server.h"
#include "ftp/port_argument.h"
#include "platform/ip_text.h"
#include "platform/resolver.h"
#include "platform/socket_error.h"

namespace vantrel {

using platform::IpVersion;

std::unique_ptr<platform::TcpListener> FtpServer::ListenPassive(const std::string& ip,
                                                                IpVersion version, int port) {
  if (port != 0) {
    if (auto kept = passive_pool_.Take(ip, version, port))
      return kept;
  }
  // SO_REUSEADDR: a port whose last data connection lingers in TIME_WAIT is free for a
  // new listener; Linux still refuses a port somebody listens on.
  auto listener = std::make_unique<platform::TcpListener>(ip, port, version, true,
                                                          platform::TcpListener::Wakeable::kNo);
  listener->Listen(1);
  return listener;
}

std::unique_ptr<platform::TcpListener> FtpServer::BindPassive(const std::string& ip, int port,
                                                              PortSource& source) {
  const std::optional<IpVersion> version = platform::NumericAddressVersion(ip);
  if (!version)
    throw FtpError("Invalid IP Address");
  const auto listen_on = [&](int number) { return ListenPassive(ip, *version, number); };
  const int min = pasv_bound_port_min_;
  const int max = pasv_bound_port_max_;
  try {
    if (port != 0 || min == 0 || max == 0) {
      source = port != 0 ? PortSource::kAsked : PortSource::kSystem;
      try {
        return listen_on(port);
      } catch (const platform::AddressInUse&) {
        throw FtpError("Could not bind socket. Address and port are already in use.");
      }
    }
    if (min > max)
      throw FtpError("Invalid Port Range (" + std::to_string(min) + " - " + std::to_string(max) +
                     ")");
    source = PortSource::kRange;
    for (int number = max; number >= min; --number) {
      try {
        return listen_on(number);
      } catch (const platform::AddressInUse&) {
        // taken by another session or program: try the next one down
      }
    }
    // A client behind a firewall that opens only the range fails as it would have
    // anyway; every other client still gets its data connection.
    source = PortSource::kRangeExhausted;
    return listen_on(0);
  } catch (const platform::SocketError& failure) {
    // Not the control connection's failure: the command fails, the session goes on.
    throw FtpError(failure.what());
  }
}

FtpServer::PreparedPassive FtpServer::PreparePassive(FtpSession& session, IpVersion version,
                                                     bool reply_names_address) {
  // The old listener goes first: it may hold the very port the new one needs, and the
  // places it holds serve the new one. The host may open a socket to check an address.
  session.SetDataChannel(nullptr);
  DescriptorGrant places =
      Reserve(session, DescriptorUse::kDataConnection, DataChannel::kPassiveDescriptors);
  const std::string& control_ip = session.Socket().LocalAddress().ip;
  PassiveAddress address = host_.transfers.PassiveAddressFor(
      session, PassiveAddress{control_ip, 0, "", reply_names_address}, version);
  if (!reply_names_address) {
    address.bind_ip = control_ip;
    address.announce_ip.clear();
  }
  PortSource source = PortSource::kAsked;
  std::unique_ptr<platform::TcpListener> listener =
      BindPassive(address.bind_ip, address.port, source);
  if (source == PortSource::kRangeExhausted)
    host_.transfers.PassiveRangeExhausted(session, listener->LocalAddress().port);
  const bool pooled = source == PortSource::kAsked || source == PortSource::kRange;
  std::unique_ptr<DataChannel> channel = DataChannel::Passive(
      std::move(listener), std::move(places), session.SecurityOptions().require_pasv_from_same_ip,
      session.PeerAddress().ip, pooled ? &passive_pool_ : nullptr,
      std::chrono::steady_clock::now() + data_timeouts_.accept);
  channel->ExpectProxyHeaders(Proxy());
  if (passive_listener_count_)
    channel->CountListening(*passive_listener_count_);
  return {std::move(channel), std::move(address.announce_ip)};
}

platform::SocketAddress FtpServer::AnnouncePassive(FtpSession& session, PreparedPassive prepared) {
  platform::SocketAddress announced = prepared.channel->BoundAddress();
  if (!prepared.announce_ip.empty())
    announced.ip = std::move(prepared.announce_ip);
  session.SetDataChannel(std::move(prepared.channel));
  session.SetPassiveMode(true);
  session.SetDataPortRefused(false);
  return announced;
}

void FtpServer::CmdPasv(Command& command, FtpSession& session) {
  if (RefusedAfterEpsvAll(command, session))
    return;
  const IpVersion version = session.Socket().LocalAddress().version;
  const platform::SocketAddress announced =
      AnnouncePassive(session, PreparePassive(session, version, true));
  std::optional<std::string> ipv4 = platform::CanonicalAddress(announced.ip, IpVersion::kV4);
  if (!ipv4)
    ipv4 = platform::MappedIpv4(announced.ip);
  if (!ipv4) {
    // The reply has room for four address bytes only; EPSV names no address at all.
    session.SetDataChannel(nullptr);
    throw FtpError("PASV cannot announce the address " + announced.ip + "; use EPSV");
  }
  std::string numbers = *ipv4;
  for (char& c : numbers) {
    if (c == '.')
      c = ',';
  }
  for (const int part : {announced.port / 256, announced.port % 256})
    numbers.append(",").append(std::to_string(part));
  command.reply = Reply(227, "Entering Passive Mode (" + numbers + ").");
}

void FtpServer::CmdEpsv(Command& command, FtpSession& session) {
  const IpVersion control = session.Socket().LocalAddress().version;
  const std::string_view argument = Trim(command.unparsed_params);
  if (EqualsIgnoreCase(argument, "ALL")) {
    session.SetEPSVAll(true);
    command.reply = Reply(200, " EPSV ALL sent, now only accepting EPSV connections");
    return;
  }
  IpVersion wanted = control;
  if (!argument.empty()) {
    if (!AllDigits(argument)) {
      command.reply = Reply(522, ipv6_available_ ? "Network protocol not supported, use (1,2)"
                                                 : "Network protocol not supported, use (1)");
      return;
    }
    if (argument == "1") {
      wanted = IpVersion::kV4;
    } else if (argument == "2") {
      if (!ipv6_available_) {
        command.reply = Reply(522, "Network protocol not supported, use (1)");
        return;
      }
      wanted = IpVersion::kV6;
    } else {
      command.reply =
          Reply(522, std::string("Protocol not supported, use (") + ProtocolNumber(control) + ")");
      return;
    }
  }
  if (wanted != control) {
    command.reply =
        Reply(522, std::string("Network protocol mismatch, use (") + ProtocolNumber(control) + ")");
    return;
  }
  const platform::SocketAddress announced =
      AnnouncePassive(session, PreparePassive(session, control, false));
  command.reply =
      Reply(229, "Entering Extended Passive Mode (|||" + std::to_string(announced.port) + "|)");
}

void FtpServer::CmdSpsv(Command& command, FtpSession& session) {
  if (RefusedAfterEpsvAll(command, session))
    return;
  const IpVersion version = session.Socket().LocalAddress().version;
  const platform::SocketAddress announced =
      AnnouncePassive(session, PreparePassive(session, version, false));
  command.reply = Reply(227, std::to_string(announced.port));
}

}  // namespace vantrel
