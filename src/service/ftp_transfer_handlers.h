#pragma once

// Answers the FTP engine's transfer events: downloads and uploads through speed-limited,
// reporting transfer streams, and the address of passive listeners. Owned by the service;
// runs on connection threads, sharing state only through the units' own locks.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/socket_address.h"
#include "service/ftp_request.h"

namespace vantrel {

class FTPServerContext;
class FtpStream;

class FtpTransferHandlers {
 public:
  explicit FtpTransferHandlers(const FtpHandlerUnits& units) : units_(units) {}

  void RetrieveFile(FTPServerContext& session, const std::string& name,
                    std::unique_ptr<FtpStream>& stream);
  void StoreFile(FTPServerContext& session, const std::string& name, bool append,
                 std::unique_ptr<FtpStream>& stream);
  void PASVBeforeBind(FTPServerContext& session, std::string& ip, std::uint16_t& port,
                      platform::IpVersion version);

 private:
  FtpHandlerUnits units_;
};

}  // namespace vantrel
