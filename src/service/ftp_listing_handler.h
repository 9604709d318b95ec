#pragma once

// Answers the FTP engine's listing requests (LIST, NLST, MLSD, MLST, STAT with a path):
// a directory's disk entries without hidden names (those starting with "."), and in the
// root the connection's virtual directories; a file's own entry; or the entries of a
// directory that match a pattern in the path's last segment. Owned by the service; runs
// on connection threads.

#include <memory>
#include <string>

namespace vantrel {

class ListingSource;
class FtpSession;
class LogQueue;
class PathMapper;
class Users;
class Clock;
struct FtpRequest;
struct FtpPath;

class FtpListingHandler {
 public:
  FtpListingHandler(Users& users, LogQueue& log, PathMapper& mapper, const Clock& clock)
      : users_(users), log_(log), mapper_(mapper), clock_(clock) {}

  // `command` is the engine's command word: MLST asks about one entry, MLSD only ever
  // about a directory. Refuses by throwing FtpError.
  std::unique_ptr<ListingSource> ListDirectory(FtpSession& session, const std::string& path,
                                               const std::string& command);

 private:
  std::unique_ptr<ListingSource> ListOne(FtpSession& session, const std::string& path);
  // The entries of the directory `directory` names, those matching `pattern` when it is
  // not empty; nothing when it is no directory.
  std::unique_ptr<ListingSource> ListEntries(FtpSession& session, const FtpRequest& request,
                                             const FtpPath& directory, const std::string& pattern);
  [[noreturn]] void Missing(const FtpRequest& request, const std::string& path);

  Users& users_;
  LogQueue& log_;
  PathMapper& mapper_;
  const Clock& clock_;
};

}  // namespace vantrel
