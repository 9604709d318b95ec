#include "service/ftp_transfer_handlers.h"

#include "accounts/auto_ban.h"
#include "accounts/online_clients.h"
#include "common/byte_size.h"
#include "common/text.h"
#include "config/settings.h"
#include "ftp/ftp_error.h"
#include "ftp/ftp_session.h"
#include "ftp/passive_address.h"
#include "log/log_queue.h"
#include "platform/file_system.h"
#include "platform/file_tree.h"
#include "platform/resolver.h"
#include "platform/socket_error.h"
#include "service/ftp_request.h"
#include "transfer/transfer_stream.h"

namespace vantrel {
namespace {

using Mode = TransferStream::Mode;

bool IsRegularFile(const std::string& path) {
  const auto facts = platform::StatPath(path);
  return facts && facts->is_regular;
}

}  // namespace

std::unique_ptr<FtpStream> FtpTransferHandlers::OpenDownload(FtpSession& session,
                                                             std::string_view argument) {
  const FtpRequest request = RequestOf(session, units_.records);
  const auto log = [&](const std::string& text) {
    units_.log.LogLine(request.LogPrefix() + "> " + text);
  };
  const auto mapped = request.Resolve(session.CurrentDir(), argument);
  const std::string name = Named(mapped, argument);
  const int limit = request.record->download_limit;
  units_.online.SetActionPath(request.key, "GET", name);
  if (!request.Allows(FileOperation::kRetrieve)) {
    log("Not allowed to download file " + name);
    return nullptr;
  }
  // Opened first, so the common case costs no look-up of its own; only a failure asks
  // whether the file is there at all.
  std::unique_ptr<TransferStream> opened;
  try {
    if (mapped) {
      opened =
          std::make_unique<TransferStream>(mapped->disk_path, Mode::kRead, limit, units_.transfers);
    }
  } catch (const platform::FileError&) {
  }
  const bool exists = opened || (mapped && IsRegularFile(mapped->disk_path));
  if (!exists) {
    units_.auto_ban.RecordFailure(BanRule::kDownload, request.key, request.user);
    log("File not found " + name);
    return nullptr;
  }
  if (units_.settings.Get(&SettingsData::autoban)) {
    units_.auto_ban.ForgiveDownloadFailure(request.key);
  }
  if (!opened) {
    log("Download file failed " + name);
    throw FtpError("Download file failed " + name);
  }
  log("Download file " + name + " (" + FormatByteSize(opened->file().SizeAtOpen()) + ")");
  LogWhenEnded(*opened, session, request, name, TransferDirection::kDownload);
  return opened;
}

std::unique_ptr<FtpStream> FtpTransferHandlers::OpenUpload(FtpSession& session,
                                                           std::string_view argument, bool append) {
  const FtpRequest request = RequestOf(session, units_.records);
  const auto refuse = [&](const std::string& text, const std::string& message) {
    units_.log.LogLine(request.LogPrefix() + "> " + text);
    throw FtpError(message);
  };
  const auto mapped = request.Resolve(session.CurrentDir(), argument);
  const std::string name = Named(mapped, argument);
  const std::string disk_path = mapped ? mapped->disk_path : std::string();
  const int limit = request.record->upload_limit;
  units_.online.SetActionPath(request.key, "PUT", name);
  if (!request.Allows(FileOperation::kStore, disk_path))
    refuse("Not allowed to upload file " + name, "Not allowed to upload files");
  if (append)
    units_.online.SetActionPath(request.key, "APPEND", name);
  const std::string failure = (append ? "Append file failed " : "Failed to upload file ") + name;
  if (!mapped)
    refuse(failure, failure);
  std::unique_ptr<TransferStream> stream;
  try {
    stream = std::make_unique<TransferStream>(disk_path, append ? Mode::kAppend : Mode::kCreate,
                                              limit, units_.transfers);
  } catch (const platform::FileError&) {
    refuse(failure, failure);
  }
  units_.log.LogLine(request.LogPrefix() + (append ? "> Append file " : "> Upload file ") + name);
  LogWhenEnded(*stream, session, request, name, TransferDirection::kUpload);
  return stream;
}

void FtpTransferHandlers::LogWhenEnded(TransferStream& stream, FtpSession& session,
                                       const FtpRequest& request, const std::string& name,
                                       TransferDirection direction) {
  TransferRecord record;
  record.remote_host = session.PeerAddress().ip;
  record.filename = name;
  record.binary = session.DataType() == FtpDataType::kBinary;
  record.direction = direction;
  record.anonymous = request.record->kind == SessionRecord::Kind::kAnonymous;
  record.user = record.anonymous ? request.record->anonymous_password : request.user;
  stream.SetEndSink([record, &log = units_.transfer_log,
                     &clock = clock_](const TransferStream::Ending& ending) mutable {
    record.finished = clock.Now();
    record.duration = ending.duration;
    record.bytes = ending.bytes;
    record.complete = ending.complete;
    log.Append(record);
  });
}

PassiveAddress FtpTransferHandlers::PassiveAddressFor(FtpSession& session, PassiveAddress address,
                                                      platform::IpVersion version) {
  // EPSV and SPSV name no address: their clients come to the control connection's.
  if (!address.reply_names_address)
    return address;
  const std::optional<std::string> ip = ConfiguredPassiveIp(version);
  if (!ip)
    return address;
  // Behind a load balancer the client comes through it: the listener waits where the
  // balancer connects (the control connection's address, as given) and the reply names
  // the balancer, even one on this machine, whose own listener holds that port there.
  if (platform::IsOwnAddress(*ip) && !session.Proxied()) {
    address.bind_ip = *ip;
  } else {
    address.announce_ip = *ip;
  }
  return address;
}

std::optional<std::string> FtpTransferHandlers::ConfiguredPassiveIp(platform::IpVersion version) {
  const std::string configured(Trim(units_.settings.Get(&SettingsData::pasvipaddr)));
  if (configured.empty())
    return std::nullopt;
  // An address of the other family could never serve this connection's clients.
  if (const auto numeric = platform::NumericAddressVersion(configured))
    return *numeric == version ? std::optional(configured) : std::nullopt;
  // Resolved at every PASV, so that a dynamic address is followed as it changes. The
  // reply has room for an IPv4 address only.
  if (version != platform::IpVersion::kV4)
    return std::nullopt;
  try {
    return platform::ResolveHost(configured, 0, platform::IpVersion::kV4).front().ip;
  } catch (const platform::SocketError&) {
    unresolved_log_.LogLine("- Passive address " + configured +
                            " does not resolve, using the local address");
    return std::nullopt;
  }
}

void FtpTransferHandlers::PassiveRangeExhausted(FtpSession&, int port) {
  range_log_.LogLine("- Passive port range exhausted, using port " + std::to_string(port));
}

}  // namespace vantrel
