#include "service/ftp_request.h"

#include "accounts/session_records.h"
#include "ftp/ftp_session.h"
#include "service/ftp_session_handlers.h"

namespace vantrel {

std::string Named(const std::optional<ResolvedPath>& path, std::string_view argument) {
  return path ? path->ftp.Text() : std::string(argument);
}

FtpRequest RequestOf(FtpSession& session, const SessionRecords& records) {
  static const auto kNoRights = std::make_shared<const SessionRecord>();
  auto record = records.Current(session.Record());
  if (record != session.Record())
    session.SetRecord(record);
  return FtpRequest{KeyOf(session), session.Username(), record ? std::move(record) : kNoRights,
                    session.Encrypted()};
}

}  // namespace vantrel
