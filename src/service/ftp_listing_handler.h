#pragma once

// Answers the FTP engine's listing requests (LIST, NLST, MLSD, MLST, STAT with a path):
// a directory's disk entries without hidden names (those starting with "."), and in the
// root the session's virtual directories; a file's own entry; or the entries of a
// directory that match a pattern in the path's last segment. Owned by the service; runs
// on connection threads.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ftp/ftp_host.h"

namespace vantrel {

class Clock;
class LogQueue;
class OnlineClients;
class SessionRecords;
struct FtpPath;
struct FtpRequest;
struct ResolvedPath;

class FtpListingHandler final : public FtpListingHost {
 public:
  FtpListingHandler(OnlineClients& online, LogQueue& log, SessionRecords& records,
                    const Clock& clock)
      : online_(online), log_(log), records_(records), clock_(clock) {}

  // Refuses by throwing FtpError.
  std::unique_ptr<ListingSource> List(FtpSession& session, std::string_view path,
                                      ListingScope scope) override;

 private:
  std::unique_ptr<ListingSource> ListOne(const FtpRequest& request,
                                         const std::optional<ResolvedPath>& path,
                                         const std::string& name);
  // The entries of the directory `directory` names, those matching `pattern` when it is
  // not empty; nothing when it is no directory.
  std::unique_ptr<ListingSource> ListEntries(const FtpRequest& request, const FtpPath& directory,
                                             const std::string& pattern);
  [[noreturn]] void Missing(const FtpRequest& request, const std::string& path);

  OnlineClients& online_;
  LogQueue& log_;
  SessionRecords& records_;
  const Clock& clock_;
};

}  // namespace vantrel
