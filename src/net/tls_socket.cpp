#include "net/tls_socket.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "net/tls_context.h"
#include "net/tls_error.h"
#include "platform/file.h"
#include "platform/socket_error.h"
#include "platform/socket_wait.h"
#include "platform/tcp_socket.h"

namespace vantrel {
namespace {

int ClampToInt(std::size_t size) {
  return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

}  // namespace

void TlsSocket::Free::operator()(SSL* connection) const {
  SSL_free(connection);
}

TlsSocket::TlsSocket(const TlsContext& context, platform::TcpSocket& socket)
    : socket_(socket), ssl_(SSL_new(context.native())) {
  if (!ssl_)
    ThrowTlsError("cannot create a TLS connection");
  // The socket layer made here leaves the descriptor open: the TcpSocket owns it.
  if (SSL_set_fd(ssl_.get(), socket_.DescriptorForTls()) != 1)
    ThrowTlsError("cannot create a TLS connection");
  SSL_set_accept_state(ssl_.get());
}

TlsSocket::~TlsSocket() {
  // OpenSSL drops a session from the cache, for good, when a connection that used it ends
  // without close_notify. A data connection ended by ABOR, or refused, would so cost the
  // control connection the session that every later data connection must resume.
  SSL_set_shutdown(ssl_.get(), SSL_get_shutdown(ssl_.get()) | SSL_SENT_SHUTDOWN);
}

void TlsSocket::ResumeFrom(const TlsSession& control, Resumption rule) {
  control_ = control;
  resumption_required_ = rule == Resumption::kRequired;
  data_connection_ = true;
  SSL_set_num_tickets(ssl_.get(), 0);
  // A transfer moves a record after another: freeing the buffers after each would cost
  // an allocation per record.
  SSL_clear_mode(ssl_.get(), SSL_MODE_RELEASE_BUFFERS);
  // An upload comes as a stream of full records: reading them ahead, several to a system
  // call, halves the calls (a record's header and body are otherwise two reads each).
  SSL_set_default_read_buffer_len(ssl_.get(), kReadAhead);
  SSL_set_read_ahead(ssl_.get(), 1);
}

void TlsSocket::Handshake(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    ERR_clear_error();
    const int result = SSL_do_handshake(ssl_.get());
    if (result == 1)
      break;
    if (!MustWait(result, "TLS handshake failed")) {
      failed_ = true;
      throw TlsError("TLS handshake failed: the client ended the session");
    }
    WaitUntil(deadline, "no TLS handshake within the time-out");
  }
  want_ = Want::kNothing;
  kernel_sends_ = BIO_get_ktls_send(SSL_get_wbio(ssl_.get())) == 1;
  if (data_connection_ && !kernel_sends_) {
    records_ = std::make_unique<TlsRecordBuffer>();
    // The socket layer replaced was one of the two references SSL_set_fd made; reads go
    // on through the other.
    SSL_set0_wbio(ssl_.get(), records_->NewBio());
  }
  // A TLS 1.2 session resumed by its id, without a ticket, gets its mark here; the
  // session cache holds this very object.
  if (!TlsSession::Mark(SSL_get_session(ssl_.get())))
    ThrowTlsError("cannot mark the TLS session");
  CheckResumption();
}

void TlsSocket::CheckResumption() const {
  if (resumption_required_ && !control_.ResumedBy(ssl_.get())) {
    throw TlsError(
        "the data connection did not resume the TLS session of the control "
        "connection",
        TlsError::Cause::kNotResumed);
  }
}

TlsSession TlsSocket::Session() const {
  return TlsSession::Of(ssl_.get());
}

bool TlsSocket::Resumed() const {
  return SSL_session_reused(ssl_.get()) == 1;
}

std::string TlsSocket::Description() const {
  return std::string(SSL_get_version(ssl_.get())) + " " + SSL_get_cipher_name(ssl_.get());
}

std::size_t TlsSocket::Read(char* buffer, std::size_t size) {
  return Read(buffer, size, socket_.ReadTimeout());
}

std::size_t TlsSocket::Read(char* buffer, std::size_t size, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    if (const std::optional<std::size_t> got = TryReceive(buffer, size))
      return *got;
    WaitUntil(deadline, "TLS read time-out");
  }
}

void TlsSocket::Write(std::string_view data) {
  while (!data.empty()) {
    const std::size_t sent = TrySend(data);
    data.remove_prefix(sent);
    if (sent == 0)
      WaitUntil(Clock::now() + socket_.WriteTimeout(), "TLS write time-out");
  }
  while (!FlushRecords())
    WaitUntil(Clock::now() + socket_.WriteTimeout(), "TLS write time-out");
}

bool TlsSocket::Shutdown(std::chrono::milliseconds timeout) {
  if (failed_ || SSL_is_init_finished(ssl_.get()) != 1)
    return false;
  const Clock::time_point deadline = Clock::now() + timeout;
  if (!FlushRecordsBy(deadline))
    return false;
  for (;;) {
    ERR_clear_error();
    const int result = SSL_shutdown(ssl_.get());
    if (result >= 0)  // 0: ours went; 1: the peer's had come already
      return FlushRecordsBy(deadline);
    const int error = SSL_get_error(ssl_.get(), result);
    if (error != SSL_ERROR_WANT_WRITE && error != SSL_ERROR_WANT_READ) {
      ERR_clear_error();
      failed_ = true;
      return false;  // the peer has gone: there is nobody left to tell
    }
    want_ = error == SSL_ERROR_WANT_WRITE ? Want::kWrite : Want::kRead;
    try {
      WaitUntil(deadline, "TLS shutdown time-out");
    } catch (const platform::SocketError&) {
      return false;
    }
  }
}

std::size_t TlsSocket::TrySend(std::string_view data) {
  // Records made earlier go first, so that they never pile up behind a slow client.
  if (data.empty() || !FlushRecords())
    return 0;
  const std::size_t taken = Encrypt(data);
  FlushRecords();  // what the socket does not take now goes first next time
  return taken;
}

std::size_t TlsSocket::Encrypt(std::string_view data) {
  ERR_clear_error();
  const int result = SSL_write(ssl_.get(), data.data(), ClampToInt(data.size()));
  if (result > 0) {
    want_ = Want::kNothing;
    return static_cast<std::size_t>(result);
  }
  if (!MustWait(result, "TLS write failed")) {
    failed_ = true;
    throw TlsError("TLS write failed: the client ended the session");
  }
  return 0;
}

std::optional<std::size_t> TlsSocket::TryReceive(char* buffer, std::size_t size) {
  ERR_clear_error();
  const int result = SSL_read(ssl_.get(), buffer, ClampToInt(size));
  if (result > 0) {
    want_ = Want::kNothing;
    return static_cast<std::size_t>(result);
  }
  if (MustWait(result, "TLS read failed"))
    return std::nullopt;
  return 0;
}

std::optional<std::size_t> TlsSocket::TrySendFile(platform::File& file, std::size_t count) {
  if (kernel_sends_)
    return SendFileInKernel(file, count);
  std::size_t sent = 0;
  bool must_wait = false;
  while (sent < count) {
    // SSL_write makes one record a call: a stage's worth gathers before it goes.
    if (records_ && records_->Size() >= kFileStage && !FlushRecords()) {
      must_wait = true;
      break;
    }
    const std::string_view staged = Staged(file, count - sent);
    if (staged.empty())
      break;
    const std::size_t taken = Encrypt(staged);
    if (taken == 0) {
      must_wait = true;  // the stage is kept: the record that waits was made from its bytes
      break;
    }
    stage_.begin += taken;
    stage_.offset += static_cast<std::int64_t>(taken);
    file.Seek(stage_.offset);
    sent += taken;
  }
  FlushRecords();
  if (sent == 0 && must_wait)
    return std::nullopt;
  return sent;
}

std::string_view TlsSocket::Staged(platform::File& file, std::size_t limit) {
  if (stage_.begin < stage_.end) {
    if (stage_.file != &file || stage_.offset != file.Position())
      throw std::logic_error("a TLS record of another part of a file waits to be sent");
  } else {
    if (!stage_.buffer)
      stage_.buffer = std::make_unique_for_overwrite<char[]>(kFileStage);
    // No more than the caller asked for, so nothing is left over to read again later.
    const std::int64_t at = file.Position();
    stage_ = {std::move(stage_.buffer), &file, at, 0, 0};
    stage_.end = file.Read(stage_.buffer.get(), std::min(limit, kFileStage));
    file.Seek(at);
  }
  return std::string_view(stage_.buffer.get() + stage_.begin,
                          std::min(stage_.end - stage_.begin, limit));
}

std::optional<std::size_t> TlsSocket::SendFileInKernel(platform::File& file, std::size_t count) {
  ERR_clear_error();
  const ossl_ssize_t sent = SSL_sendfile(ssl_.get(), file.descriptor(), file.Position(), count, 0);
  if (sent >= 0) {
    want_ = Want::kNothing;
    file.Seek(file.Position() + sent);
    return static_cast<std::size_t>(sent);
  }
  if (SSL_get_error(ssl_.get(), -1) == SSL_ERROR_WANT_WRITE) {
    want_ = Want::kWrite;
    return std::nullopt;
  }
  // OpenSSL files every failure of the system call under one meaningless reason.
  const std::string reason = platform::LastSocketErrorText();
  ERR_clear_error();
  failed_ = true;
  throw TlsError("cannot send a file over TLS: " + reason);
}

bool TlsSocket::FlushRecords() {
  try {
    if (!records_ || records_->Flush(socket_))
      return true;
  } catch (const platform::SocketError&) {
    failed_ = true;  // records are lost: nothing more may follow them
    throw;
  }
  want_ = Want::kWrite;
  return false;
}

bool TlsSocket::FlushRecordsBy(Clock::time_point deadline) {
  try {
    while (!FlushRecords())
      WaitUntil(deadline, "TLS shutdown time-out");
    return true;
  } catch (const platform::SocketError&) {
    return false;  // the peer has gone, or had no room in time
  }
}

bool TlsSocket::HasBufferedInput() const {
  return SSL_has_pending(ssl_.get()) == 1;
}

std::size_t TlsSocket::Watch(platform::SocketWait& wait) const {
  return want_ == Want::kWrite ? wait.WatchWritable(socket_) : wait.WatchReadable(socket_);
}

bool TlsSocket::MustWait(int result, const char* doing) {
  switch (SSL_get_error(ssl_.get(), result)) {
    case SSL_ERROR_WANT_READ:
      want_ = Want::kRead;
      return true;
    case SSL_ERROR_WANT_WRITE:
      want_ = Want::kWrite;
      return true;
    case SSL_ERROR_ZERO_RETURN:
      want_ = Want::kNothing;
      return false;
    case SSL_ERROR_SYSCALL:
      if (ERR_peek_error() == 0) {
        const std::string reason = platform::LastSocketErrorText();
        failed_ = true;
        throw TlsError(std::string(doing) + ": " + reason);
      }
      Fail(doing);
    default:
      Fail(doing);
  }
}

void TlsSocket::Fail(const char* doing) {
  failed_ = true;
  const bool unclean = ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
  const std::string reason = TakeTlsReason("unknown reason");
  if (unclean) {
    throw TlsError(std::string(doing) + ": the peer closed the connection without close_notify",
                   TlsError::Cause::kUncleanClose);
  }
  throw TlsError(std::string(doing) + ": " + reason);
}

void TlsSocket::WaitUntil(Clock::time_point deadline, const char* what) const {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  platform::SocketWait wait;
  Watch(wait);
  if (left.count() <= 0 || !wait.Wait(left))
    throw platform::SocketTimeout(what);
}

}  // namespace vantrel
