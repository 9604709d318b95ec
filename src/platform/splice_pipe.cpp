#include "platform/splice_pipe.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/socket_error.h"
#include "platform/socket_os.h"
#include "platform/tcp_socket.h"

namespace vantrel::platform {
namespace {

// The most an unprivileged process may ask for by default; larger pipes mean fewer
// round trips per megabyte.
constexpr int kWantedCapacity = 1 << 20;

[[noreturn]] void ThrowFileError(const std::string& what) {
  throw FileError(what + ": " + ::strerror(errno));
}

}  // namespace

std::unique_ptr<SplicePipe> SplicePipe::Create() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0)
    return nullptr;
  ::fcntl(ends[1], F_SETPIPE_SZ, kWantedCapacity);  // a smaller pipe works as well
  const int capacity = ::fcntl(ends[1], F_GETPIPE_SZ);
  return std::unique_ptr<SplicePipe>(
      new SplicePipe(ends[0], ends[1], static_cast<std::size_t>(std::max(capacity, 4096))));
}

SplicePipe::~SplicePipe() {
  ::close(read_);
  ::close(write_);
}

std::optional<std::size_t> SplicePipe::ReceiveInto(TcpSocket& from, File& to, std::size_t max) {
  if (from.fd_ < 0)
    throw SocketError("read from a closed socket");
  for (;;) {
    // The pipe is always empty here, so only the socket can make this wait.
    const ssize_t got = ::splice(from.fd_, nullptr, write_, nullptr, std::min(max, capacity_),
                                 SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    if (got > 0) {
      DrainInto(to, static_cast<std::size_t>(got));
      return static_cast<std::size_t>(got);
    }
    if (got == 0)
      return 0;
    if (errno == EINTR)
      continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
      return std::nullopt;
    os::ThrowErrno("cannot read from " + os::Describe(from.peer_));
  }
}

void SplicePipe::DrainInto(File& to, std::size_t count) {
  while (count > 0) {
    auto offset = static_cast<off_t>(to.Position());
    const ssize_t written =
        ::splice(read_, nullptr, to.descriptor(), &offset, count, SPLICE_F_MOVE);
    if (written > 0) {
      to.Seek(offset);
      count -= static_cast<std::size_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR)
      continue;
    if (written < 0 && errno == EINVAL) {
      // A file system that cannot take spliced pages: the bytes go the ordinary way.
      CopyInto(to, count);
      return;
    }
    if (written == 0)
      errno = EIO;
    ThrowFileError("cannot write the file being received");
  }
}

void SplicePipe::CopyInto(File& to, std::size_t count) {
  constexpr std::size_t kBlock = 64 * 1024;
  const auto buffer = std::make_unique<char[]>(kBlock);
  while (count > 0) {
    const ssize_t got = ::read(read_, buffer.get(), std::min(count, kBlock));
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      ThrowFileError("cannot read back the bytes received");
    to.Write(buffer.get(), static_cast<std::size_t>(got));
    count -= static_cast<std::size_t>(got);
  }
}

}  // namespace vantrel::platform
