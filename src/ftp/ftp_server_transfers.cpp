// The transfers that consume a prepared data connection (RETR, STOR, STOU, APPE, LIST,
// NLST, MLSD), and the listings that travel on the control connection (MLST, STAT with a
// path).
//
// A transfer command always consumes the prepared channel, whether or not the transfer
// happens: a client that connected to a passive port and then got a refusal has given
// that connection up, and the next transfer must not inherit it.

#include <cstdio>

#include "common/text.h"
#include "ftp/data_transfer.h"
#include "ftp/ftp_server.h"
#include "ftp/granted_listing.h"
#include "ftp/listing_lines.h"
#include "ftp/listing_writer.h"
#include "ftp/transfer_control.h"
#include "net/tls_socket.h"

namespace vantrel {
namespace {

constexpr const char* kCannotOpen = "Can't open data connection.";
constexpr const char* kAboutToOpen = "File status okay; about to open data connection.";
constexpr const char* kClosing = "Closing data connection.";
constexpr const char* kClosedAbnormally = "Data connection closed abnormally.";
// STOU gives up after this many taken names rather than ask the host forever.
constexpr int kUniqueNameAttempts = 1000;

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

std::unique_ptr<DataChannel> FtpServer::TakeChannel(Command& command, FtpSession& session) {
  std::unique_ptr<DataChannel> channel = session.TakeDataChannel();
  if (RefusedUnprotected(command, session))
    return nullptr;
  if (!channel || session.DataPortRefused()) {
    command.reply = Reply(425, kCannotOpen);
    return nullptr;
  }
  // A passive channel holds its places since it began to listen.
  if (!channel->passive())
    channel->Hold(Reserve(session, DescriptorUse::kDataConnection, 1));
  return channel;
}

FtpServer::NamedTransfer FtpServer::TakeNamedTransfer(Command& command, FtpSession& session) {
  NamedTransfer taken;
  taken.restart = session.RestartPosition();
  session.SetRestartPosition(0);
  taken.channel = TakeChannel(command, session);
  if (taken.channel && command.unparsed_params.empty()) {
    command.reply = ParameterError(command);
    taken.channel.reset();
  }
  return taken;
}

void FtpServer::CmdRetr(Command& command, FtpSession& session) {
  auto [channel, restart] = TakeNamedTransfer(command, session);
  if (!channel)
    return;
  const DescriptorGrant file = Reserve(session, DescriptorUse::kFile, 1);
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

void FtpServer::CmdStor(Command& command, FtpSession& session) {
  auto [channel, restart] = TakeNamedTransfer(command, session);
  if (!channel)
    return;
  const bool append = command.handler.command == "APPE";
  Store(command, session, std::move(channel), command.unparsed_params, append, append ? 0 : restart,
        Reply(150, kAboutToOpen));
}

void FtpServer::CmdStou(Command& command, FtpSession& session) {
  session.SetRestartPosition(0);  // a new file has nothing to resume
  std::unique_ptr<DataChannel> channel = TakeChannel(command, session);
  if (!channel)
    return;
  const std::string name = UniqueFileName(session);
  Store(command, session, std::move(channel), name, false, 0, Reply(150, "FILE: " + name));
}

std::string FtpServer::UniqueFileName(FtpSession& session) {
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

void FtpServer::Store(Command& command, FtpSession& session, std::unique_ptr<DataChannel> channel,
                      const std::string& name, bool append, std::int64_t restart,
                      const Reply& preliminary) {
  const DescriptorGrant file = Reserve(session, DescriptorUse::kFile, 1);
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

std::unique_ptr<ListingSource> FtpServer::OpenListing(Command& command, FtpSession& session,
                                                      std::string_view path, ListingScope scope) {
  DescriptorGrant directory = Reserve(session, DescriptorUse::kFile, 1);
  std::unique_ptr<ListingSource> source;
  try {
    source = host_.listing.List(session, path, scope);
  } catch (const FtpError& refusal) {
    // The host's refusal is final (no such path, not permitted): 550, which clients take
    // as such, where some retry a 450 without end.
    command.reply = Reply(550, refusal.what());
    return nullptr;
  }
  if (!source) {
    command.reply = Reply(550, kLocalError);
    return nullptr;
  }
  return std::make_unique<GrantedListing>(std::move(directory), std::move(source));
}

void FtpServer::CmdList(Command& command, FtpSession& session) {
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

void FtpServer::CmdMlsd(Command& command, FtpSession& session) {
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

void FtpServer::CmdMlst(Command& command, FtpSession& session) {
  std::unique_ptr<ListingSource> source =
      OpenListing(command, session, Trim(command.unparsed_params), ListingScope::kEntry);
  if (!source)
    return;
  std::vector<std::string> lines = {"Begin"};
  FtpListItem item;
  while (source->Next(item))
    lines.push_back(MachineLine(item, session.MLSTFacts()));
  lines.emplace_back("End");
  command.reply = Reply(250, std::move(lines), ReplyFormat::kIndented);
}

void FtpServer::StatPath(Command& command, FtpSession& session) {
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

Reply FtpServer::StatusReply(const FtpSession& session) {
  if (session.SecurityOptions().disable_stat_command)
    return Reply(550, "\"STAT\" Command not implemented.");
  return Reply(211, "End of Status");
}

void FtpServer::RunTransfer(Command& command, FtpSession& session, DataChannel& channel,
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
    std::unique_ptr<TlsSocket> tls;
    if (session.Encrypted() && session.ProtectData())
      tls = ProtectDataConnection(session, *data, final_reply);
    if (final_reply.code() == 0) {
      DataTransfer transfer(*data, control, session.Socket().ReadTimeout(), tls.get());
      TransferOutcome outcome;
      if (direction == Direction::kReceive) {
        // Splicing into the file needs a pipe's two descriptors; without room for them
        // the bytes are copied, as fast for all but the largest uploads.
        const std::optional<DescriptorGrant> pipe = TakeDescriptors(2);
        outcome = transfer.Receive(*stream, pipe.has_value());
      } else {
        outcome = stream ? transfer.Send(*stream) : transfer.Send(*listing);
      }
      // The client learns from close_notify that a download is whole.
      if (tls && outcome == TransferOutcome::kDone)
        tls->Shutdown(session.Socket().WriteTimeout());
      final_reply = FinalReply(outcome);
    }
    tls.reset();
    data->Close();
  }
  // The host's stream closes its file and reports before the client hears the end, so
  // a client that acts on the reply at once finds the file complete and free.
  if (stream)
    stream->Finished(final_reply.code() == 226);
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
