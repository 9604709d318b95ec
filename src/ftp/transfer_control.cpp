#include "ftp/transfer_control.h"

#include <chrono>
#include <string_view>

#include "common/text.h"
#include "ftp/ftp_session.h"
#include "platform/socket_error.h"
#include "platform/socket_wait.h"

namespace vantrel {
namespace {

std::string_view CommandWord(std::string_view line) {
  return line.substr(0, line.find_first_of(" \t"));
}

}  // namespace

TransferControl::TransferControl(FtpSession& session, Reply status)
    : session_(session), status_(std::move(status)) {
  try {
    HandleInput();
  } catch (const platform::SocketError&) {
    lost_ = true;
  }
}

bool TransferControl::Full() const {
  return session_.KeptLines().size() >= kMaxKeptLines;
}

std::size_t TransferControl::Watch(platform::SocketWait& wait) const {
  return Full() ? wait.WatchHangUp(session_.Socket()) : session_.WatchInput(wait);
}

void TransferControl::Serve() {
  if (lost_)
    return;
  // A full watch wakes only when the connection ended.
  if (Full()) {
    lost_ = true;
    return;
  }
  try {
    if (!session_.ReadAvailable()) {
      lost_ = true;
      return;
    }
    HandleInput();
  } catch (const platform::SocketError&) {
    lost_ = true;  // reset, or a STAT reply that could not be written
  }
}

void TransferControl::Check() {
  if (lost_)
    return;
  platform::SocketWait wait;
  const std::size_t control = Watch(wait);
  if (wait.Wait(std::chrono::milliseconds(0)) && wait.Ready(control))
    Serve();
}

void TransferControl::HandleInput() {
  std::string& input = session_.Input();
  while (!Full() && !input.empty()) {
    std::string_view pending(input);
    std::string answer;
    std::optional<CommandLine> line = session_.LineReader().Feed(pending, answer);
    input.erase(0, input.size() - pending.size());
    if (!answer.empty())
      session_.Write(answer);
    if (!line)
      break;
    Handle(std::move(*line));
  }
}

void TransferControl::Handle(CommandLine line) {
  if (!line.too_long) {
    const std::string_view word = CommandWord(line.text);
    if (EqualsIgnoreCase(word, "ABOR")) {
      aborted_ = true;
      return;
    }
    if (EqualsIgnoreCase(word, "STAT")) {
      session_.WriteReply(status_);
      return;
    }
    if (line.text.empty())
      return;
  }
  session_.KeptLines().push_back(std::move(line));
}

}  // namespace vantrel
