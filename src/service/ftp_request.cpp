#include "service/ftp_request.h"

#include "ftp/ftp_session.h"
#include "service/ftp_session_handlers.h"

namespace vantrel {

FtpRequest RequestOf(const FtpSession& session) {
  return FtpRequest{Credentials{KeyOf(session), session.Username(), session.Password()}};
}

}  // namespace vantrel
