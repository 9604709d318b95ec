#include "net/tls_record_buffer.h"

#include <openssl/bio.h>

#include <string_view>

#include "net/tls_error.h"
#include "platform/tcp_socket.h"

namespace vantrel {
namespace {

// One method table for the process, made on first use (OpenSSL's own tables are static
// too); BIO_meth_new cannot be a constant expression.
const BIO_METHOD* RecordMethod(int (*write)(BIO*, const char*, int),
                               long (*control)(BIO*, int, long, void*)) {
  static BIO_METHOD* const method = [&] {
    BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "records");
    if (!made || BIO_meth_set_write(made, write) != 1 || BIO_meth_set_ctrl(made, control) != 1)
      ThrowTlsError("cannot create the TLS record buffer");
    return made;
  }();
  return method;
}

}  // namespace

BIO* TlsRecordBuffer::NewBio() {
  BIO* bio = BIO_new(RecordMethod(&Write, &Control));
  if (!bio)
    ThrowTlsError("cannot create the TLS record buffer");
  BIO_set_data(bio, this);
  BIO_set_init(bio, 1);
  return bio;
}

bool TlsRecordBuffer::Flush(platform::TcpSocket& socket) {
  while (!Empty()) {
    const std::size_t sent =
        socket.TrySend(std::string_view(bytes_.data() + begin_, bytes_.size() - begin_));
    if (sent == 0)
      return false;
    begin_ += sent;
  }
  bytes_.clear();  // keeps the capacity for the next stage
  begin_ = 0;
  return true;
}

int TlsRecordBuffer::Write(BIO* bio, const char* data, int size) {
  auto& buffer = *static_cast<TlsRecordBuffer*>(BIO_get_data(bio));
  buffer.bytes_.insert(buffer.bytes_.end(), data, data + size);
  return size;
}

long TlsRecordBuffer::Control(BIO* /*bio*/, int command, long /*number*/, void* /*pointer*/) {
  // OpenSSL flushes after an alert or a handshake message; the connection sends the
  // buffer itself before it reports anything as gone. Every other request is unknown.
  return command == BIO_CTRL_FLUSH ? 1 : 0;
}

}  // namespace vantrel
