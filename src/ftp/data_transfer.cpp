#include "ftp/data_transfer.h"

#include <optional>

#include "ftp/listing_writer.h"
#include "ftp/transfer_control.h"
#include "net/tls_error.h"
#include "net/tls_socket.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/socket_error.h"
#include "platform/socket_wait.h"
#include "platform/splice_pipe.h"
#include "platform/tcp_socket.h"

namespace vantrel {

DataTransfer::DataTransfer(platform::TcpSocket& data, TransferControl& control,
                           std::chrono::milliseconds idle_limit, TlsSocket* tls)
    : data_(data),
      tls_(tls),
      control_(control),
      idle_limit_(idle_limit),
      last_progress_(SteadyClock::now()) {}

std::size_t DataTransfer::TrySend(std::string_view bytes) {
  return tls_ ? tls_->TrySend(bytes) : data_.TrySend(bytes);
}

std::optional<std::size_t> DataTransfer::TryReceive(char* buffer, std::size_t size) {
  if (!tls_)
    return data_.TryReceive(buffer, size);
  try {
    return tls_->TryReceive(buffer, size);
  } catch (const TlsError& failure) {
    // Without close_notify an upload may have been cut short by anybody on the path: it
    // ends as a lost connection, never as a complete file.
    if (failure.cause() == TlsError::Cause::kUncleanClose)
      throw platform::SocketError("the client closed the data connection without close_notify");
    throw;
  }
}

template <typename Step, typename Finished>
TransferOutcome DataTransfer::MoveZeroCopy(FtpStream& stream, bool sending, Step step,
                                           Finished finished) {
  for (;;) {
    std::optional<std::size_t> moved;
    try {
      moved = step();
    } catch (const platform::SocketError&) {
      return TransferOutcome::kConnectionLost;
    } catch (const std::exception&) {
      return TransferOutcome::kLocalError;
    }
    if (!moved) {
      if (!WaitForData(sending))
        return outcome_;
      continue;
    }
    if (*moved == 0)
      return TransferOutcome::kDone;
    Moved();
    try {
      stream.MovedExternally(*moved);
    } catch (const std::exception&) {
      return TransferOutcome::kLocalError;
    }
    if (finished())
      return TransferOutcome::kDone;
    if (!Between())
      return outcome_;
  }
}

TransferOutcome DataTransfer::Send(FtpStream& stream) {
  if (platform::File* file = stream.ZeroCopyFile()) {
    // The file is locked against writers, so its size when opened is where it ends; a
    // last call that only finds the end is not needed.
    const auto at_end = [file] { return file->Position() >= file->SizeAtOpen(); };
    return MoveZeroCopy(
        stream, true,
        [&]() -> std::optional<std::size_t> {
          if (at_end())
            return 0;
          return tls_ ? tls_->TrySendFile(*file, kBlockSize) : data_.TrySendFile(*file, kBlockSize);
        },
        at_end);
  }
  const auto buffer = std::make_unique_for_overwrite<char[]>(kBlockSize);
  for (;;) {
    std::size_t got = 0;
    try {
      got = stream.Read(buffer.get(), kBlockSize);
    } catch (const std::exception&) {
      return TransferOutcome::kLocalError;
    }
    if (got == 0)
      return TransferOutcome::kDone;
    if (!SendAll(std::string_view(buffer.get(), got)) || !Between())
      return outcome_;
  }
}

TransferOutcome DataTransfer::Send(ListingWriter& listing) {
  std::string piece;
  piece.reserve(kListingPiece + kListingPiece / 8);
  while (!listing.Done()) {
    piece.clear();
    try {
      listing.Fill(piece, kListingPiece);
    } catch (const std::exception&) {
      return TransferOutcome::kLocalError;
    }
    if (!SendAll(piece))
      return outcome_;
    // After the last piece the final reply follows at once; nothing is owed to a look.
    if (!listing.Done() && !Between())
      return outcome_;
  }
  return TransferOutcome::kDone;
}

TransferOutcome DataTransfer::Receive(FtpStream& stream, bool may_splice) {
  // Encrypted bytes must come through OpenSSL: nothing to splice.
  platform::File* file = tls_ || !may_splice ? nullptr : stream.ZeroCopyFile();
  if (const auto pipe = file ? platform::SplicePipe::Create() : nullptr) {
    return MoveZeroCopy(
        stream, false, [&] { return pipe->ReceiveInto(data_, *file, kBlockSize); },
        [] { return false; });
  }
  const auto buffer = std::make_unique_for_overwrite<char[]>(kBlockSize);
  for (;;) {
    std::size_t filled = 0;
    std::optional<TransferOutcome> ended;
    // Fill the block from what has arrived, so the stream sees few large writes: a
    // client a little slower than the server would otherwise cost a write and a look at
    // the control connection for every record or two.
    while (filled < kBlockSize && !ended) {
      std::optional<std::size_t> got;
      try {
        got = TryReceive(buffer.get() + filled, kBlockSize - filled);
      } catch (const platform::SocketError&) {
        return TransferOutcome::kConnectionLost;
      }
      if (!got) {
        if (filled >= kMinimumWrite)
          break;
        if (!WaitForData(false))
          ended = outcome_;  // what came before the stop is kept
        continue;
      }
      if (*got == 0) {
        ended = TransferOutcome::kDone;
        continue;
      }
      filled += *got;
      Moved();
    }
    if (filled > 0) {
      try {
        stream.Write(buffer.get(), filled);
      } catch (const std::exception&) {
        return TransferOutcome::kLocalError;
      }
    }
    if (ended)
      return *ended;
    if (!Between())
      return outcome_;
  }
}

bool DataTransfer::SendAll(std::string_view bytes) {
  while (!bytes.empty()) {
    std::size_t sent = 0;
    try {
      sent = TrySend(bytes);
    } catch (const platform::SocketError&) {
      outcome_ = TransferOutcome::kConnectionLost;
      return false;
    }
    if (sent > 0) {
      bytes.remove_prefix(sent);
      Moved();
    } else if (!WaitForData(true)) {
      return false;
    }
  }
  return true;
}

bool DataTransfer::WaitForData(bool sending) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(last_progress_ + idle_limit_ -
                                                                   SteadyClock::now());
    if (left.count() <= 0) {
      outcome_ = TransferOutcome::kIdle;
      return false;
    }
    platform::SocketWait wait;
    std::size_t data = 0;
    if (tls_) {
      data = tls_->Watch(wait);  // a record may need the socket the other way round
    } else {
      data = sending ? wait.WatchWritable(data_) : wait.WatchReadable(data_);
    }
    const std::size_t command = control_.Watch(wait);
    if (!wait.Wait(left))
      continue;
    if (wait.Ready(command)) {
      control_.Serve();
      if (control_.ShouldStop()) {
        outcome_ = TransferOutcome::kStopped;
        return false;
      }
    }
    if (wait.Ready(data))
      return true;
  }
}

bool DataTransfer::Between() {
  control_.Check();
  if (control_.ShouldStop()) {
    outcome_ = TransferOutcome::kStopped;
    return false;
  }
  return true;
}

}  // namespace vantrel
