#pragma once

// Answers the FTP engine's transfer questions: downloads and uploads through speed-limited,
// reporting transfer streams that write the transfer log's line when they end, and the
// address of passive listeners. Owned by the service;
// runs on connection threads, sharing state only through the units' own locks and the
// throttles' own.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/clock.h"
#include "ftp/ftp_host.h"
#include "log/log_throttle.h"
#include "log/transfer_log.h"
#include "platform/socket_address.h"
#include "service/ftp_request.h"

namespace vantrel {

class TransferStream;

class FtpTransferHandlers final : public FtpTransferHost {
 public:
  FtpTransferHandlers(const FtpHandlerUnits& units, const Clock& clock)
      : units_(units),
        clock_(clock),
        range_log_(units.log, clock),
        unresolved_log_(units.log, clock) {}

  std::unique_ptr<FtpStream> OpenDownload(FtpSession& session, std::string_view path) override;
  std::unique_ptr<FtpStream> OpenUpload(FtpSession& session, std::string_view path,
                                        bool append) override;
  // `pasvipaddr`: listened on when it is this machine's, else only announced (a router's
  // public address, which forwards the passive ports to this machine).
  PassiveAddress PassiveAddressFor(FtpSession& session, PassiveAddress proposed,
                                   platform::IpVersion version) override;
  void PassiveRangeExhausted(FtpSession& session, int port) override;

 private:
  // `pasvipaddr` as a numeric address usable on a connection of `version`; nothing when
  // it is empty, of the other family, or a name that does not resolve.
  std::optional<std::string> ConfiguredPassiveIp(platform::IpVersion version);
  // Has `stream` append its transfer's line to the transfer log when it ends.
  void LogWhenEnded(TransferStream& stream, FtpSession& session, const FtpRequest& request,
                    const std::string& name, TransferDirection direction);

  FtpHandlerUnits units_;
  const Clock& clock_;
  LogThrottle range_log_;
  LogThrottle unresolved_log_;
};

}  // namespace vantrel
