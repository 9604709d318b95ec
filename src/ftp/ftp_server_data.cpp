// The data channel commands: preparing a connection (PORT, EPRT, PASV, P@SW, EPSV, SPSV),
// the transfers that consume it (RETR, STOR, STOU, APPE, LIST, NLST, MLSD), and the
// listings that travel on the control connection (MLST, STAT with a path).
//
// A transfer command always consumes the prepared channel, whether or not the transfer
// happens: a client that connected to a passive port and then got a refusal has given
// that connection up, and the next transfer must not inherit it.

#include <cstdio>
#include <variant>

#include "common/text.h"
#include "ftp/data_transfer.h"
#include "ftp/ftp_server.h"
#include "ftp/listing_lines.h"
#include "ftp/listing_writer.h"
#include "ftp/transfer_control.h"
#include "platform/ip_text.h"
#include "platform/process.h"
#include "platform/resolver.h"
#include "platform/socket_error.h"

namespace vantrel {
namespace {

using platform::IpVersion;

constexpr const char* kCannotOpen = "Can't open data connection.";
constexpr const char* kLocalError = "Requested action aborted: local error in processing.";
constexpr const char* kAboutToOpen = "File status okay; about to open data connection.";
constexpr const char* kClosing = "Closing data connection.";
constexpr const char* kClosedAbnormally = "Data connection closed abnormally.";
constexpr const char* kSameAddressOnly =
    "Data port can only be used by the same IP address used by the control connection.";
// STOU gives up after this many taken names rather than ask the host forever.
constexpr int kUniqueNameAttempts = 1000;

bool AllDigits(std::string_view text) {
  if (text.empty())
    return false;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
  }
  return true;
}

std::optional<int> PortNumber(std::string_view text) {
  if (!AllDigits(text) || text.size() > 5)
    return std::nullopt;
  const int port = static_cast<int>(*ParseInteger(text));
  if (port < 1 || port > 65535)
    return std::nullopt;
  return port;
}

std::vector<std::string_view> Split(std::string_view text, char delimiter) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t end = text.find(delimiter);
    fields.push_back(text.substr(0, end));
    if (end == std::string_view::npos)
      return fields;
    text.remove_prefix(end + 1);
  }
}

// "h1,h2,h3,h4,p1,p2": four address bytes and the port's two.
std::optional<platform::SocketAddress> ParsePortArgument(std::string_view text) {
  const std::vector<std::string_view> fields = Split(Trim(text), ',');
  if (fields.size() != 6)
    return std::nullopt;
  int bytes[6];
  for (std::size_t i = 0; i < 6; ++i) {
    const std::string_view field = Trim(fields[i]);
    if (!AllDigits(field) || field.size() > 3)
      return std::nullopt;
    bytes[i] = static_cast<int>(*ParseInteger(field));
    if (bytes[i] > 255)
      return std::nullopt;
  }
  platform::SocketAddress target;
  target.ip = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
              std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
  target.port = bytes[4] * 256 + bytes[5];
  target.version = IpVersion::kV4;
  if (target.port == 0)
    return std::nullopt;
  return target;
}

const char* ProtocolNumber(IpVersion version) {
  return version == IpVersion::kV4 ? "1" : "2";
}

// "|protocol|address|port|", any character serving as the delimiter; the failure reply
// otherwise (501 standing for the parameter error).
std::variant<platform::SocketAddress, Reply> ParseEprtArgument(std::string_view text,
                                                               IpVersion control) {
  text = Trim(text);
  std::vector<std::string_view> fields;
  if (text.size() >= 2)
    fields = Split(text.substr(1), text[0]);
  if (fields.size() != 4 || !fields[3].empty())
    return Reply(501);
  if (fields[0] != "1" && fields[0] != "2")
    return Reply(522, "Network protocol not supported, use (1)");
  const IpVersion version = fields[0] == "1" ? IpVersion::kV4 : IpVersion::kV6;
  if (version != control)
    return Reply(522,
                 std::string("Network protocol mismatch, use (") + ProtocolNumber(control) + ")");
  const std::optional<std::string> ip = platform::CanonicalAddress(fields[1], version);
  if (!ip)
    return Reply(500, "Invalid IP Address");
  const std::optional<int> port = PortNumber(fields[2]);
  if (!port)
    return Reply(500, "Invalid port number");
  return platform::SocketAddress{*ip, *port, version};
}

// A refused PORT or EPRT: whatever channel came before must not serve the next transfer.
void RefusePort(Command& command, FtpSession& session, Reply reply) {
  session.SetDataPort(0);
  session.SetDataPortRefused(true);
  command.reply = std::move(reply);
}

struct ListArgument {
  std::string switches;
  std::string path;
};

// A parameter starting with "-" gives its first word as the switches.
ListArgument SplitListArgument(std::string_view parameter) {
  ListArgument argument;
  if (!parameter.starts_with('-')) {
    argument.path = std::string(parameter);
    return argument;
  }
  const std::size_t end = parameter.find(' ');
  argument.switches = std::string(parameter.substr(0, end));
  if (end != std::string_view::npos) {
    const std::size_t start = parameter.find_first_not_of(' ', end);
    if (start != std::string_view::npos)
      argument.path = std::string(parameter.substr(start));
  }
  return argument;
}

// The directory part of a path as the client wrote it, final "/" included: what goes
// before the names of a file or of a pattern's matches.
std::string_view DirectoryPart(std::string_view path) {
  return path.substr(0, path.rfind('/') + 1);
}

// The letters of a client's switch word that the listing obeys.
std::string ClientSwitches(std::string_view word) {
  std::string switches;
  for (char c : word) {
    if ((c == 'l' || c == 'a' || c == 'T') && switches.find(c) == std::string::npos)
      switches.push_back(c);
  }
  return switches;
}

Reply FinalReply(TransferOutcome outcome) {
  switch (outcome) {
    case TransferOutcome::kDone:
      return Reply(226, kClosing);
    case TransferOutcome::kLocalError:
      return Reply(451, kLocalError);
    case TransferOutcome::kConnectionLost:
    case TransferOutcome::kIdle:
    case TransferOutcome::kStopped:
      break;
  }
  return Reply(426, kClosedAbnormally);
}

}  // namespace

bool FTPServer::RefusedAfterEpsvAll(Command& command, const FtpSession& session) const {
  if (!session.EPSVAll())
    return false;
  command.reply = Reply(501, command.handler.command + " not allowed after EPSV ALL");
  return true;
}

bool FTPServer::ActiveAllowed(Command& command, FtpSession& session) const {
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

void FTPServer::CmdPort(Command& command, FtpSession& session) {
  if (!ActiveAllowed(command, session))
    return;
  const std::optional<platform::SocketAddress> target = ParsePortArgument(command.unparsed_params);
  if (!target) {
    RefusePort(command, session, ParameterError(command));
    return;
  }
  PrepareActive(command, session, *target);
}

void FTPServer::CmdEprt(Command& command, FtpSession& session) {
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

void FTPServer::PrepareActive(Command& command, FtpSession& session,
                              const platform::SocketAddress& target) {
  const auto& [ip, port, version] = target;
  if (session.SecurityOptions().no_reserved_range_port && port >= 1 && port <= 1024) {
    RefusePort(command, session,
               Reply(504, "PORT/EPRT Command disabled for reserved port range (1-1024)."));
    return;
  }
  // Without this check a client could make the server connect to any third host
  // (the "bounce" attack of RFC 2577).
  if (session.SecurityOptions().require_port_from_same_ip &&
      ip != session.Socket().PeerAddress().ip) {
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

std::unique_ptr<platform::TcpListener> FTPServer::ListenPassive(const std::string& ip,
                                                                IpVersion version, int port) {
  if (port != 0) {
    if (auto kept = passive_pool_.Take(ip, version, port))
      return kept;
  }
  // SO_REUSEADDR: a port whose last data connection lingers in TIME_WAIT is free for a
  // new listener; Linux still refuses a port somebody listens on.
  auto listener = std::make_unique<platform::TcpListener>(ip, port, version, true);
  listener->Listen(1);
  return listener;
}

std::unique_ptr<platform::TcpListener> FTPServer::BindPassive(const std::string& ip, int port,
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

FTPServer::PreparedPassive FTPServer::PreparePassive(FtpSession& session, IpVersion version,
                                                     bool reply_names_address) {
  const std::string& control_ip = session.Socket().LocalAddress().ip;
  PassiveAddress address = host_.transfers.PassiveAddressFor(
      session, PassiveAddress{control_ip, 0, "", reply_names_address}, version);
  if (!reply_names_address) {
    address.bind_ip = control_ip;
    address.announce_ip.clear();
  }
  // The old listener goes first: it may hold the very port the new one needs.
  session.SetDataChannel(nullptr);
  PortSource source = PortSource::kAsked;
  std::unique_ptr<platform::TcpListener> listener =
      BindPassive(address.bind_ip, address.port, source);
  if (source == PortSource::kRangeExhausted)
    host_.transfers.PassiveRangeExhausted(session, listener->LocalAddress().port);
  const bool pooled = source == PortSource::kAsked || source == PortSource::kRange;
  return {
      DataChannel::Passive(std::move(listener), session.SecurityOptions().require_pasv_from_same_ip,
                           session.Socket().PeerAddress().ip, pooled ? &passive_pool_ : nullptr,
                           std::chrono::steady_clock::now() + data_timeouts_.accept),
      std::move(address.announce_ip)};
}

platform::SocketAddress FTPServer::AnnouncePassive(FtpSession& session, PreparedPassive prepared) {
  platform::SocketAddress announced = prepared.channel->BoundAddress();
  if (!prepared.announce_ip.empty())
    announced.ip = std::move(prepared.announce_ip);
  session.SetDataChannel(std::move(prepared.channel));
  session.SetPassiveMode(true);
  session.SetDataPortRefused(false);
  return announced;
}

void FTPServer::CmdPasv(Command& command, FtpSession& session) {
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
  numbers +=
      "," + std::to_string(announced.port / 256) + "," + std::to_string(announced.port % 256);
  command.reply = Reply(227, "Entering Passive Mode (" + numbers + ").");
}

void FTPServer::CmdEpsv(Command& command, FtpSession& session) {
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
      command.reply =
          Reply(522, platform::IsIpv6Available() ? "Network protocol not supported, use (1,2)"
                                                 : "Network protocol not supported, use (1)");
      return;
    }
    if (argument == "1") {
      wanted = IpVersion::kV4;
    } else if (argument == "2") {
      if (!platform::IsIpv6Available()) {
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

void FTPServer::CmdSpsv(Command& command, FtpSession& session) {
  if (RefusedAfterEpsvAll(command, session))
    return;
  const IpVersion version = session.Socket().LocalAddress().version;
  const platform::SocketAddress announced =
      AnnouncePassive(session, PreparePassive(session, version, false));
  command.reply = Reply(227, std::to_string(announced.port));
}

std::unique_ptr<DataChannel> FTPServer::TakeChannel(Command& command, FtpSession& session) {
  std::unique_ptr<DataChannel> channel = session.TakeDataChannel();
  if (!channel || session.DataPortRefused()) {
    command.reply = Reply(425, kCannotOpen);
    return nullptr;
  }
  return channel;
}

void FTPServer::CmdRetr(Command& command, FtpSession& session) {
  // REST serves the one transfer that follows it, whatever becomes of that transfer.
  const std::int64_t restart = session.RestartPosition();
  session.SetRestartPosition(0);
  std::unique_ptr<DataChannel> channel = TakeChannel(command, session);
  if (!channel)
    return;
  if (command.unparsed_params.empty()) {
    command.reply = ParameterError(command);
    return;
  }
  std::unique_ptr<FtpStream> stream =
      host_.transfers.OpenDownload(session, command.unparsed_params);
  if (!stream) {
    command.reply = Reply(550, kLocalError);
    return;
  }
  stream->Seek(restart);
  RunTransfer(command, session, *channel, Reply(150, kAboutToOpen), std::move(stream), nullptr,
              Direction::kSend);
}

void FTPServer::CmdStor(Command& command, FtpSession& session) {
  const std::int64_t restart = session.RestartPosition();
  session.SetRestartPosition(0);
  std::unique_ptr<DataChannel> channel = TakeChannel(command, session);
  if (!channel)
    return;
  if (command.unparsed_params.empty()) {
    command.reply = ParameterError(command);
    return;
  }
  const bool append = command.handler.command == "APPE";
  Store(command, session, std::move(channel), command.unparsed_params, append, append ? 0 : restart,
        Reply(150, kAboutToOpen));
}

void FTPServer::CmdStou(Command& command, FtpSession& session) {
  session.SetRestartPosition(0);  // a new file has nothing to resume
  std::unique_ptr<DataChannel> channel = TakeChannel(command, session);
  if (!channel)
    return;
  const std::string name = UniqueFileName(session);
  Store(command, session, std::move(channel), name, false, 0, Reply(150, "FILE: " + name));
}

std::string FTPServer::UniqueFileName(FtpSession& session) {
  // The host answers for the client's directory: the process's working directory has
  // nothing to do with where the file lands.
  for (int attempt = 0; attempt < kUniqueNameAttempts; ++attempt) {
    char name[16];
    std::snprintf(name, sizeof name, "Temp%08X",
                  static_cast<unsigned>(unique_name_counter_.fetch_add(1)));
    if (!host_.files.FileExists(session, name))
      return name;
  }
  throw FtpError("No unique file name is free");
}

void FTPServer::Store(Command& command, FtpSession& session, std::unique_ptr<DataChannel> channel,
                      const std::string& name, bool append, std::int64_t restart,
                      const Reply& preliminary) {
  // A resumed STOR continues the file it resumes: truncating it first would leave
  // zeros where its head was.
  std::unique_ptr<FtpStream> stream =
      host_.transfers.OpenUpload(session, name, append || restart > 0);
  if (!stream) {
    command.reply = Reply(550, kLocalError);
    return;
  }
  stream->Seek(append ? stream->Size() : restart);
  RunTransfer(command, session, *channel, preliminary, std::move(stream), nullptr,
              Direction::kReceive);
}

std::unique_ptr<ListingSource> FTPServer::OpenListing(Command& command, FtpSession& session,
                                                      std::string_view path, ListingScope scope) {
  std::unique_ptr<ListingSource> source;
  try {
    source = host_.listing.List(session, path, scope);
  } catch (const FtpError& refusal) {
    // The host's refusal is final (no such path, not permitted): 550, which clients take
    // as such, where some retry a 450 without end.
    command.reply = Reply(550, refusal.what());
    return nullptr;
  }
  if (!source)
    command.reply = Reply(550, kLocalError);
  return source;
}

void FTPServer::CmdList(Command& command, FtpSession& session) {
  std::unique_ptr<DataChannel> channel = TakeChannel(command, session);
  if (!channel)
    return;
  const ListArgument argument = SplitListArgument(command.unparsed_params);
  std::unique_ptr<ListingSource> source =
      OpenListing(command, session, argument.path, ListingScope::kAny);
  if (!source)
    return;
  const bool names = command.handler.command == "NLST";
  const std::string switches = ClientSwitches(argument.switches);
  const bool long_layout = !names || switches.find('l') != std::string::npos;
  ListingWriter listing(std::move(source),
                        long_layout ? ListingWriter::Layout::kLong : ListingWriter::Layout::kNames,
                        switches, DirectoryPart(argument.path), clock_.Now(), {});
  const char* program = names && argument.switches.empty() ? "file list" : "/bin/ls";
  RunTransfer(command, session, *channel,
              Reply(125, std::string("Opening ASCII mode data connection for ") + program + "."),
              nullptr, &listing, Direction::kSend);
}

void FTPServer::CmdMlsd(Command& command, FtpSession& session) {
  std::unique_ptr<DataChannel> channel = TakeChannel(command, session);
  if (!channel)
    return;
  std::unique_ptr<ListingSource> source =
      OpenListing(command, session, Trim(command.unparsed_params), ListingScope::kDirectory);
  if (!source)
    return;
  ListingWriter listing(std::move(source), ListingWriter::Layout::kMachine, "", "", clock_.Now(),
                        session.MLSTFacts());
  RunTransfer(command, session, *channel, Reply(125, kAboutToOpen), nullptr, &listing,
              Direction::kSend);
}

void FTPServer::CmdMlst(Command& command, FtpSession& session) {
  std::unique_ptr<ListingSource> source =
      OpenListing(command, session, Trim(command.unparsed_params), ListingScope::kEntry);
  if (!source)
    return;
  std::vector<std::string> lines = {"Begin"};
  FTPListItem item;
  while (source->Next(item))
    lines.push_back(MachineLine(item, session.MLSTFacts()));
  lines.emplace_back("End");
  command.reply = Reply(250, std::move(lines), ReplyFormat::kIndented);
}

void FTPServer::StatPath(Command& command, FtpSession& session) {
  const ListArgument argument = SplitListArgument(command.unparsed_params);
  std::unique_ptr<ListingSource> source =
      OpenListing(command, session, argument.path, ListingScope::kAny);
  if (!source)
    return;
  ListingWriter listing(std::move(source), ListingWriter::Layout::kLong,
                        ClientSwitches(argument.switches), DirectoryPart(argument.path),
                        clock_.Now(), {});
  // The listing lines go out as they are, between the first and the last reply line. The
  // first piece is laid out before anything is written, so a source that fails at once
  // gets the command's failure reply.
  std::string piece = "213-File status okay; about to open data connection.\r\n";
  listing.Fill(piece, DataTransfer::kListingPiece);
  command.perform_reply = false;
  while (!listing.Done()) {
    session.Write(piece);
    piece.clear();
    try {
      listing.Fill(piece, DataTransfer::kListingPiece);
    } catch (const std::exception& failure) {
      // Lines have gone out: the reply can only end, with the reason as its text.
      session.Write(piece + Reply(213, failure.what()).Format());
      return;
    }
  }
  session.Write(piece + "213 End of Status\r\n");
}

Reply FTPServer::StatusReply(const FtpSession& session) {
  if (session.SecurityOptions().disable_stat_command)
    return Reply(550, "\"STAT\" Command not implemented.");
  return Reply(211, "End of Status");
}

void FTPServer::RunTransfer(Command& command, FtpSession& session, DataChannel& channel,
                            const Reply& preliminary, std::unique_ptr<FtpStream> stream,
                            ListingWriter* listing, Direction direction) {
  command.perform_reply = false;
  SendReply(session, preliminary);
  TransferControl control(session, StatusReply(session));
  std::optional<platform::TcpSocket> data = channel.Open(control, data_timeouts_);
  Reply final_reply;
  if (!data) {
    switch (channel.failure()) {
      case DataChannel::Failure::kWrongPeer:
        session.SetDataPortRefused(true);
        final_reply = Reply(504, kSameAddressOnly);
        break;
      case DataChannel::Failure::kStopped:
        final_reply = Reply(426, kClosedAbnormally);
        break;
      case DataChannel::Failure::kNone:
      case DataChannel::Failure::kNoConnection:
        final_reply = Reply(425, kCannotOpen);
        break;
    }
  } else {
    DataTransfer transfer(*data, control, session.Socket().ReadTimeout());
    TransferOutcome outcome;
    if (direction == Direction::kReceive) {
      outcome = transfer.Receive(*stream);
    } else {
      outcome = stream ? transfer.Send(*stream) : transfer.Send(*listing);
    }
    data->Close();
    final_reply = FinalReply(outcome);
  }
  // The host's stream closes its file and reports before the client hears the end, so
  // a client that acts on the reply at once finds the file complete and free.
  stream.reset();
  if (control.Lost()) {
    session.Disconnect();
    return;
  }
  SendReply(session, final_reply);
  if (control.Aborted())
    SendReply(session, Reply(226, kClosing));
}

}  // namespace vantrel
