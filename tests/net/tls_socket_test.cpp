#include "net/tls_socket.h"

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "net/tls_certificate.h"
#include "net/tls_context.h"
#include "net/tls_error.h"
#include "platform/file.h"
#include "platform/socket_error.h"
#include "platform/socket_wait.h"
#include "platform/tcp_listener.h"
#include "platform/tcp_socket.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

template <typename T, auto Free>
using Owned = std::unique_ptr<T, decltype([](T* object) { Free(object); })>;
using ClientSession = Owned<SSL_SESSION, SSL_SESSION_free>;

std::string RandomBytes(std::size_t size) {
  std::string bytes(size, '\0');
  RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(size));
  return bytes;
}

struct ClientOptions {
  int version = TLS1_3_VERSION;  // the only one offered
  bool tickets = true;           // without: TLS 1.2 resumes by session id
  SSL_SESSION* resume = nullptr;
};

// An OpenSSL client at the other end of a loopback connection, on the thread that drives
// it. Failures are std::runtime_error, so they never pass for the server's.
class Client {
 public:
  Client(const platform::SocketAddress& server, const ClientOptions& options)
      : socket_(platform::TcpSocket::Connect(server, 2s)),
        context_(SSL_CTX_new(TLS_client_method())) {
    SSL_CTX* context = context_.get();
    SSL_CTX_set_min_proto_version(context, options.version);
    SSL_CTX_set_max_proto_version(context, options.version);
    if (options.version < TLS1_2_VERSION) {
      SSL_CTX_set_cipher_list(context, "DEFAULT@SECLEVEL=0");  // what such a client offers
    }
    if (!options.tickets)
      SSL_CTX_set_options(context, SSL_OP_NO_TICKET);
    ssl_.reset(SSL_new(context));
    SSL_set_fd(ssl_.get(), socket_.DescriptorForTls());
    if (options.resume != nullptr)
      SSL_set_session(ssl_.get(), options.resume);
  }

  // A client keeps its sessions however the connection ended, as the server does.
  ~Client() { SSL_set_shutdown(ssl_.get(), SSL_get_shutdown(ssl_.get()) | SSL_SENT_SHUTDOWN); }

  void Handshake() {
    Drive([&] { return SSL_connect(ssl_.get()); });
  }
  void Write(std::string_view data) {
    while (!data.empty()) {
      data.remove_prefix(static_cast<std::size_t>(Drive(
          [&] { return SSL_write(ssl_.get(), data.data(), static_cast<int>(data.size())); })));
    }
  }
  // Until the server's close_notify.
  std::string ReadToEnd() {
    std::string received;
    char buffer[16384];
    while (const int got = Drive([&] { return SSL_read(ssl_.get(), buffer, sizeof buffer); }))
      received.append(buffer, static_cast<std::size_t>(got));
    return received;
  }
  void CloseNotify() {
    Drive([&] { return SSL_shutdown(ssl_.get()) >= 0 ? 1 : -1; });
  }
  ClientSession Session() { return ClientSession(SSL_get1_session(ssl_.get())); }
  SSL* ssl() { return ssl_.get(); }
  platform::TcpSocket& socket() { return socket_; }

 private:
  // The result of `step` once it is positive, 0 after close_notify.
  int Drive(const std::function<int()>& step) {
    for (;;) {
      ERR_clear_error();
      const int result = step();
      if (result > 0)
        return result;
      const int error = SSL_get_error(ssl_.get(), result);
      if (error == SSL_ERROR_ZERO_RETURN)
        return 0;
      if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
        throw std::runtime_error("client: " + TakeTlsReason("connection failed"));
      platform::SocketWait wait;
      error == SSL_ERROR_WANT_READ ? wait.WatchReadable(socket_) : wait.WatchWritable(socket_);
      if (!wait.Wait(5s))
        throw std::runtime_error("client: time-out");
    }
  }

  platform::TcpSocket socket_;
  Owned<SSL_CTX, SSL_CTX_free> context_;
  Owned<SSL, SSL_free> ssl_;
};

class TlsSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateSelfSigned(cert_, key_, "127.0.0.1");
    listener_.Listen(8);
  }

  // The server's end of the next connection, with `client` running on its own thread
  // against the other end (the future rethrows what the client threw).
  platform::TcpSocket Accept(std::future<void>& client,
                             std::function<void(const platform::SocketAddress&)> run) {
    client = std::async(std::launch::async, run, listener_.LocalAddress());
    std::optional<platform::TcpSocket> accepted = listener_.Accept(2s);
    if (!accepted)
      throw std::runtime_error("no connection");
    return std::move(*accepted);
  }

  TempDir dir_;
  const std::string cert_ = dir_.File("vantrel.crt");
  const std::string key_ = dir_.File("vantrel.key");
  platform::TcpListener listener_{"127.0.0.1", 0, platform::IpVersion::kV4, false};
};

TEST_F(TlsSocketTest, LargeDataCrossesBothWaysAndCloseNotifyReadsAsTheEnd) {
  const TlsContext context(cert_, key_);
  const std::string upload = RandomBytes(3 << 20), download = RandomBytes((2 << 20) + 7);
  for (const int version : {TLS1_2_VERSION, TLS1_3_VERSION}) {
    std::string received_by_client;
    std::future<void> client;
    platform::TcpSocket socket = Accept(client, [&](const platform::SocketAddress& server) {
      Client peer(server, {.version = version});
      peer.Handshake();
      peer.Write(upload);
      peer.CloseNotify();
      received_by_client = peer.ReadToEnd();
    });
    TlsSocket tls(context, socket);
    tls.Handshake(2s);
    EXPECT_EQ(tls.Description().substr(0, 7), version == TLS1_3_VERSION ? "TLSv1.3" : "TLSv1.2");
    EXPECT_FALSE(tls.Resumed());
    std::string received;
    char buffer[50000];
    while (const std::size_t got = tls.Read(buffer, sizeof buffer, 2s))
      received.append(buffer, got);
    EXPECT_TRUE(received == upload) << version << ": " << received.size() << " bytes";
    tls.Write(download);
    EXPECT_TRUE(tls.Shutdown(1s));
    client.get();
    EXPECT_TRUE(received_by_client == download) << version;
  }
}

TEST_F(TlsSocketTest, AClientThatLeavesWithoutCloseNotifyIsNotTheEndOfItsData) {
  const TlsContext context(cert_, key_);
  std::future<void> client;
  platform::TcpSocket socket = Accept(client, [&](const platform::SocketAddress& server) {
    // TLS 1.2: no tickets after the handshake, left unread, to turn the close into a reset.
    Client peer(server, {.version = TLS1_2_VERSION});
    peer.Handshake();
    peer.Write("cut short");
    peer.socket().Close();
  });
  TlsSocket tls(context, socket);
  tls.Handshake(2s);
  client.get();
  char buffer[64];
  EXPECT_EQ(std::string(buffer, tls.Read(buffer, sizeof buffer, 2s)), "cut short");
  try {
    tls.Read(buffer, sizeof buffer, 2s);
    ADD_FAILURE() << "a cut connection read as a clean end";
  } catch (const TlsError& error) {
    EXPECT_EQ(error.cause(), TlsError::Cause::kUncleanClose) << error.what();
  }
  // Writing to it fails as an error; a SIGPIPE would end this test binary instead.
  EXPECT_THROW(for (int i = 0; i < 1000; ++i) tls.Write(std::string(65536, 'x')),
               platform::SocketError);
  EXPECT_FALSE(tls.Shutdown(100ms));
}

TEST_F(TlsSocketTest, RefusedAndStalledHandshakesEndWithinTheirDeadline) {
  const TlsContext context(cert_, key_);
  constexpr auto kDeadline = 300ms;
  // The first bytes of a TLS record of a ClientHello, and then nothing.
  const std::string half_hello("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11);
  struct Case {
    const char* name;
    int version;
    std::function<void(Client&)> client;
    std::string reason;  // empty: a time-out
  };
  const Case cases[] = {
      {"offers TLS 1.1 only", TLS1_1_VERSION,
       [](Client& peer) { EXPECT_ANY_THROW(peer.Handshake()); }, "unsupported protocol"},
      {"speaks plain FTP", TLS1_3_VERSION,
       [](Client& peer) { peer.socket().Write("USER anonymous\r\n"); }, "wrong version number"},
      {"closes at once", TLS1_3_VERSION, [](Client& peer) { peer.socket().Close(); },
       "the peer closed the connection without close_notify"},
      {"stays silent", TLS1_3_VERSION, [](Client&) {}, ""},
      {"stops halfway through its hello", TLS1_3_VERSION,
       [&](Client& peer) { peer.socket().Write(half_hello); }, ""},
  };
  for (const Case& c : cases) {
    std::promise<void> server_done;
    std::future<void> client;
    platform::TcpSocket socket = Accept(client, [&](const platform::SocketAddress& server) {
      Client peer(server, {.version = c.version});
      c.client(peer);
      server_done.get_future().wait();  // the connection stays open until the server gives up
    });
    TlsSocket tls(context, socket);
    const Clock::time_point start = Clock::now();
    std::string caught;
    try {
      tls.Handshake(kDeadline);
      caught = "no failure";
    } catch (const platform::SocketTimeout&) {
      caught = "";
    } catch (const TlsError& error) {
      caught = error.what();
    }
    const auto took = Clock::now() - start;
    server_done.set_value();
    client.get();
    EXPECT_NE(caught.find(c.reason), std::string::npos) << c.name << ": " << caught;
    EXPECT_EQ(caught.empty(), c.reason.empty()) << c.name << ": " << caught;
    EXPECT_LT(took, kDeadline + 1s) << c.name;
    if (c.reason.empty()) {
      EXPECT_GE(took, kDeadline) << c.name;
    }
  }
}

// Resumptions of a control connection's session by data connections: the one check that
// keeps a stranger off a passive port.
TEST_F(TlsSocketTest, ADataConnectionMustResumeItsControlConnectionsSession) {
  const TlsContext context(cert_, key_);
  struct Version {
    const char* name;
    ClientOptions options;
  };
  const Version versions[] = {
      {"TLS 1.3", {.version = TLS1_3_VERSION}},
      {"TLS 1.2 with tickets", {.version = TLS1_2_VERSION}},
      {"TLS 1.2 by session id", {.version = TLS1_2_VERSION, .tickets = false}},
  };
  enum class Offer { kControlSession, kNoSession, kOtherSession };
  struct Case {
    Offer offer;
    TlsSocket::Resumption rule;
    bool accepted;
  };
  constexpr auto kRequired = TlsSocket::Resumption::kRequired;
  constexpr auto kOptional = TlsSocket::Resumption::kOptional;
  const Case cases[] = {
      {Offer::kControlSession, kRequired, true}, {Offer::kNoSession, kRequired, false},
      {Offer::kOtherSession, kRequired, false},  {Offer::kControlSession, kOptional, true},
      {Offer::kNoSession, kOptional, true},      {Offer::kOtherSession, kOptional, true},
  };
  for (const Version& v : versions) {
    // Two control connections: ours, and another client's.
    TlsSession control;
    ClientSession sessions[2];
    for (ClientSession& session : sessions) {
      std::future<void> client;
      platform::TcpSocket socket = Accept(client, [&](const platform::SocketAddress& server) {
        Client peer(server, v.options);
        peer.Handshake();
        EXPECT_EQ(peer.ReadToEnd(), "220 ready");  // TLS 1.3 tickets come after the handshake
        session = peer.Session();
      });
      TlsSocket tls(context, socket);
      tls.Handshake(2s);
      tls.Write("220 ready");
      tls.Shutdown(1s);
      client.get();
      if (control.empty())
        control = tls.Session();
    }
    for (const Case& c : cases) {
      const std::string name = std::string(v.name) + ", offer " +
                               std::to_string(static_cast<int>(c.offer)) +
                               (c.rule == kRequired ? ", required" : ", optional");
      ClientOptions options = v.options;
      options.resume = c.offer == Offer::kControlSession ? sessions[0].get()
                       : c.offer == Offer::kOtherSession ? sessions[1].get()
                                                         : nullptr;
      std::future<void> client;
      platform::TcpSocket socket = Accept(client, [&](const platform::SocketAddress& server) {
        Client peer(server, options);
        peer.Handshake();
        EXPECT_EQ(SSL_session_reused(peer.ssl()) == 1, c.offer != Offer::kNoSession) << name;
      });
      TlsSocket tls(context, socket);
      tls.ResumeFrom(control, c.rule);
      bool accepted = true;
      try {
        tls.Handshake(2s);
        EXPECT_EQ(tls.Resumed(), c.offer != Offer::kNoSession) << name;
      } catch (const TlsError& error) {
        accepted = false;
        EXPECT_EQ(error.cause(), TlsError::Cause::kNotResumed) << name << ": " << error.what();
      }
      client.get();
      EXPECT_EQ(accepted, c.accepted) << name;
    }
  }
}

// A file goes out through the kernel's TLS offload where the kernel has it, else in
// records encrypted from a staged copy; either way from the file's position, byte for byte.
// A data connection gathers its records and sends them itself, a client that reads late
// leaving part of them waiting.
TEST_F(TlsSocketTest, AFileGoesOutWholeFromItsPosition) {
  const std::string content = RandomBytes((1 << 20) + 12345);
  const std::string path = dir_.File("data.bin");
  std::ofstream(path, std::ios::binary) << content;
  struct Case {
    TlsContext::KernelTls kernel;
    std::int64_t offset;
    std::size_t count;  // per call
    bool data_connection = false;
    std::chrono::milliseconds read_late{0};
  };
  const Case cases[] = {
      {TlsContext::KernelTls::kWhenAvailable, 0, 1 << 20},
      {TlsContext::KernelTls::kNever, 0, 1 << 20},
      {TlsContext::KernelTls::kNever, 100001, 5000},  // neither records nor stages line up
      {TlsContext::KernelTls::kNever, 0, 1 << 20, true, 300ms},
      {TlsContext::KernelTls::kNever, 100001, 5000, true},
  };
  for (const Case& c : cases) {
    const TlsContext context(cert_, key_, c.kernel);
    std::string received;
    std::future<void> client;
    platform::TcpSocket socket = Accept(client, [&](const platform::SocketAddress& server) {
      Client peer(server, {});
      peer.Handshake();
      std::this_thread::sleep_for(c.read_late);
      received = peer.ReadToEnd();
    });
    TlsSocket tls(context, socket);
    if (c.data_connection)
      tls.ResumeFrom(TlsSession(), TlsSocket::Resumption::kOptional);
    tls.Handshake(2s);
    if (c.kernel == TlsContext::KernelTls::kWhenAvailable) {
      std::cout << "kernel TLS offload: " << (tls.KernelSends() ? "in use" : "not offered") << "\n";
    } else {
      EXPECT_FALSE(tls.KernelSends());
    }
    platform::File file = platform::File::Open(path, platform::File::Mode::kRead);
    file.Seek(c.offset);
    for (;;) {
      const std::optional<std::size_t> sent = tls.TrySendFile(file, c.count);
      if (sent == 0u)
        break;
      if (!sent) {
        platform::SocketWait wait;
        tls.Watch(wait);
        ASSERT_TRUE(wait.Wait(2s));
      }
    }
    EXPECT_EQ(file.Position(), static_cast<std::int64_t>(content.size()));
    EXPECT_TRUE(tls.Shutdown(2s));
    client.get();
    EXPECT_TRUE(received == content.substr(static_cast<std::size_t>(c.offset)))
        << c.offset << ": " << received.size() << " bytes";
  }
}

TEST_F(TlsSocketTest, AnUnusablePairIsRefusedWithTheReason) {
  CreateSelfSigned(dir_.File("other.crt"), dir_.File("other.key"), "127.0.0.1");
  try {
    TlsContext context(cert_, dir_.File("other.key"));
    ADD_FAILURE() << "a key of another certificate was taken";
  } catch (const TlsError& error) {
    EXPECT_STREQ(error.what(), "the key does not match the certificate");
  }
}

}  // namespace
}  // namespace vantrel
