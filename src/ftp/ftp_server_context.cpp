#include "ftp/ftp_server_context.h"

namespace vantrel {

FTPServerContext::FTPServerContext(CustomTCPServer& server, platform::TcpSocket connection,
                                   const FTPSecurityOptions& security)
    : Context(server, std::move(connection)), security_(security) {}

}  // namespace vantrel
