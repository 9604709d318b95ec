#include "ftp/ftp_session.h"

#include <algorithm>

#include "ftp/reply.h"

namespace vantrel {

FtpSession::FtpSession(platform::TcpSocket socket, const FtpSecurityOptions& security)
    : Connection(std::move(socket)), security_(security) {}

void FtpSession::WriteReply(const Reply& reply) {
  Write(reply.Format());
}

std::unique_ptr<DataChannel> FtpSession::TakeDataChannel() {
  DropExpiredChannel();
  return std::move(data_channel_);
}

void FtpSession::AwaitInput(Deadline end) {
  for (;;) {
    const auto unused_until = data_channel_ ? data_channel_->UnusedUntil() : std::nullopt;
    if (!unused_until || *unused_until >= end)
      return;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        *unused_until - std::chrono::steady_clock::now());
    if (Socket().WaitReadable(std::max(left, std::chrono::milliseconds(0))))
      return;
    DropExpiredChannel();
  }
}

void FtpSession::DropExpiredChannel() {
  if (data_channel_ && data_channel_->Expired())
    data_channel_.reset();
}

}  // namespace vantrel
