#include "ftp/ftp_server_context.h"

namespace vantrel {

FTPServerContext::FTPServerContext(CustomTCPServer& server, platform::TcpSocket connection,
                                   const FTPSecurityOptions& security)
    : Context(server, std::move(connection)), security_(security) {}

std::unique_ptr<DataChannel> FTPServerContext::TakeDataChannel() {
  Wake();
  return std::move(data_channel_);
}

std::optional<std::chrono::steady_clock::time_point> FTPServerContext::WakeTime() const {
  return data_channel_ ? data_channel_->UnusedUntil() : std::nullopt;
}

void FTPServerContext::Wake() {
  if (data_channel_ && data_channel_->Expired())
    data_channel_.reset();
}

}  // namespace vantrel
