#pragma once

// Answers the FTP engine's listing requests (LIST, NLST, MLSD, MLST, STAT with a path):
// the disk entries of the mapped directory, without hidden names (those starting with
// "."), and in the root the connection's virtual directories. Owned by the service; runs
// on connection threads.

#include <string>

namespace vantrel {

class FTPListOutput;
class FTPServerContext;
class LogQueue;
class PathMapper;
class Users;
class Clock;

class FtpListingHandler {
 public:
  FtpListingHandler(Users& users, LogQueue& log, PathMapper& mapper, const Clock& clock)
      : users_(users), log_(log), mapper_(mapper), clock_(clock) {}

  // `command` is the engine's command word; MLST asks about one entry, not a directory.
  void ListDirectory(FTPServerContext& session, const std::string& path, FTPListOutput& listing,
                     const std::string& command);

 private:
  void ListOne(FTPServerContext& session, const std::string& path, FTPListOutput& listing);

  Users& users_;
  LogQueue& log_;
  PathMapper& mapper_;
  const Clock& clock_;
};

}  // namespace vantrel
