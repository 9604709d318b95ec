#pragma once

// Answers the FTP engine's transfer events: downloads and uploads through speed-limited,
// reporting transfer streams, and the address of passive listeners. Owned by the service;
// runs on connection threads, sharing state only through the units' own locks.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/socket_address.h"

namespace vantrel {

class AccessPolicy;
class AutoBan;
class FTPServerContext;
class FtpStream;
class LogQueue;
class PathMapper;
class Settings;
class TransferTable;
class Users;

struct TransferHandlerUnits {
  Settings& settings;
  Users& users;
  AutoBan& auto_ban;
  LogQueue& log;
  PathMapper& mapper;
  AccessPolicy& policy;
  TransferTable& transfers;
};

class FtpTransferHandlers {
 public:
  explicit FtpTransferHandlers(const TransferHandlerUnits& units) : units_(units) {}

  void RetrieveFile(FTPServerContext& session, const std::string& name,
                    std::unique_ptr<FtpStream>& stream);
  void StoreFile(FTPServerContext& session, const std::string& name, bool append,
                 std::unique_ptr<FtpStream>& stream);
  void PASVBeforeBind(FTPServerContext& session, std::string& ip, std::uint16_t& port,
                      platform::IpVersion version);

 private:
  TransferHandlerUnits units_;
};

}  // namespace vantrel
