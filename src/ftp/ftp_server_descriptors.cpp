// The descriptors commands open beyond the session's own connection: each is taken from
// the budget the server shares with the other engine before it is opened, and given back
// once it has closed. When none is left the command is refused with a reply the client
// can act on (try again later), the host hears of it, and the session goes on.

#include "ftp/ftp_server.h"

namespace vantrel {
namespace {

constexpr const char* kNoRoomForData =
    "Can't open data connection: the server has no room for one now.";
constexpr const char* kNoRoomForFile =
    "Requested file action not taken: the server has no room to open a file now.";

}  // namespace

DescriptorGrant FtpServer::Reserve(FtpSession& session, DescriptorUse use, int count) {
  std::optional<DescriptorGrant> grant = TakeDescriptors(count);
  if (grant)
    return std::move(*grant);
  host_.session.OutOfDescriptors(session, use);
  if (use == DescriptorUse::kDataConnection)
    throw FtpCodedError(425, kNoRoomForData);
  throw FtpCodedError(450, kNoRoomForFile);
}

}  // namespace vantrel
