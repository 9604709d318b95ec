#pragma once

// Where the records of a data connection gather on their way out, so that a stage of a
// file (sixteen records) reaches the socket in one system call instead of sixteen. On a
// virtual machine each call's entry and exit cost about as much as encrypting a
// record's worth, so the calls saved are a good part of an encrypted download's CPU.
//
// OpenSSL writes its records through a socket layer (a BIO) made here, which only appends
// them to the buffer; the connection sends the buffer itself with the socket's own
// non-blocking send. The connection sends what waits before it encrypts more once a
// stage's worth has gathered, so the buffer never holds much more than two stages.
// Not used when the kernel encrypts (its offload needs OpenSSL's own socket layer).

#include <openssl/types.h>

#include <cstddef>
#include <vector>

namespace vantrel {

namespace platform {
class TcpSocket;
}  // namespace platform

// Owned by its TlsSocket, whose thread alone uses it. Must outlive the BIO it makes.
class TlsRecordBuffer {
 public:
  TlsRecordBuffer() = default;
  TlsRecordBuffer(const TlsRecordBuffer&) = delete;
  TlsRecordBuffer& operator=(const TlsRecordBuffer&) = delete;

  // A write-only socket layer that appends here; the SSL connection takes ownership.
  BIO* NewBio();
  // Sends what waits, as much as `socket` takes now; true when nothing is left. Throws
  // platform::SocketError.
  bool Flush(platform::TcpSocket& socket);
  bool Empty() const { return begin_ == bytes_.size(); }
  std::size_t Size() const { return bytes_.size() - begin_; }

 private:
  static int Write(BIO* bio, const char* data, int size);
  static long Control(BIO* bio, int command, long number, void* pointer);

  std::vector<char> bytes_;
  std::size_t begin_ = 0;  // bytes before it were sent
};

}  // namespace vantrel
