// Encrypted FTP (RFC 4217): AUTH turns the control connection into a TLS server, PBSZ
// and PROT choose whether data connections follow it, and a mode may insist on it
// before any member logs in. Without a TLS context nothing here is offered, and the
// commands answer as a server that knows nothing of encryption.
//
// A protected data connection must by default resume the control connection's TLS
// session: a passive port is open to anybody who reaches it first, and only the client
// that logged in holds that session's secrets.

#include "common/error.h"
#include "common/text.h"
#include "ftp/ftp_server.h"
#include "net/tls_error.h"
#include "net/tls_socket.h"

namespace vantrel {
namespace {

constexpr const char* kNeedsAuth = "Security data exchange not completed; use AUTH TLS first.";

}  // namespace

void FtpServer::SetTls(FtpTlsOptions options) {
  RequireInactive();
  tls_ = std::move(options);
}

bool FtpServer::TlsOffered(const FtpSession& session) const {
  // With the mode off only the implicit port's sessions are encrypted; the normal port
  // then answers as a server that knows nothing of TLS.
  return tls_.context && (tls_.mode != FtpTlsMode::kOff || session.Encrypted());
}

void FtpServer::StartControlTls(FtpSession& session) {
  // Lines that came in clear after AUTH are dropped with the rest of the clear input,
  // and the reader starts afresh: nothing sent in clear may open an encrypted line.
  session.KeptLines().clear();
  session.LineReader() = CommandLineReader();
  try {
    session.StartTls(*tls_.context, LineDeadline());
  } catch (const TlsError&) {
    throw;
  } catch (const platform::SocketError& failure) {
    // A stalled handshake: one kind of failure for the log, whatever the socket said.
    throw TlsError(std::string("TLS handshake failed: ") + failure.what());
  }
  host_.session.SessionEncrypted(session);
}

void FtpServer::CmdAuth(Command& command, FtpSession& session) {
  if (!TlsOffered(session)) {
    CmdUnknown(command, session);
    return;
  }
  if (session.Encrypted()) {
    command.reply = Reply(503, "Already using TLS.");
    return;
  }
  const std::string mechanism = UpperAscii(command.unparsed_params);
  if (mechanism != "TLS" && mechanism != "TLS-C" && mechanism != "SSL" && mechanism != "TLS-P") {
    command.reply = Reply(504, "AUTH " + mechanism + " not supported.");
    return;
  }
  command.perform_reply = false;
  SendReply(session, Reply(234, "Using authentication type " + mechanism + "."));
  StartControlTls(session);
  // The older names promise protected data connections from the start.
  if (mechanism == "SSL" || mechanism == "TLS-P")
    session.SetProtectData(true);
}

void FtpServer::CmdPbsz(Command& command, FtpSession& session) {
  if (!TlsOffered(session)) {
    CmdUnknown(command, session);
  } else if (!session.Encrypted()) {
    command.reply = Reply(503, kNeedsAuth);
  } else if (command.unparsed_params.empty() || !AllDigits(command.unparsed_params)) {
    command.reply = ParameterError(command);
  } else {
    // A stream protocol has no buffer to size: every figure comes back as 0.
    command.reply = Reply(200, "PBSZ=0");
  }
}

void FtpServer::CmdProt(Command& command, FtpSession& session) {
  if (!TlsOffered(session)) {
    CmdNotImplemented(command, session);
    return;
  }
  if (!session.Encrypted()) {
    command.reply = Reply(503, kNeedsAuth);
    return;
  }
  const std::string level = UpperAscii(command.unparsed_params);
  if (level == "P") {
    session.SetProtectData(true);
    command.reply = Reply(200, "Protection level set to P.");
  } else if (level == "C" && tls_.require_protected_data) {
    command.reply = Reply(534, "Data connections must be protected; use PROT P.");
  } else if (level == "C") {
    session.SetProtectData(false);
    command.reply = Reply(200, "Protection level set to C.");
  } else if (level == "S" || level == "E") {
    command.reply = Reply(536, "Protection level " + level + " not supported.");
  } else {
    command.reply = Reply(504, "Protection level " + level + " not understood.");
  }
}

void FtpServer::CmdCcc(Command& command, FtpSession& session) {
  if (!TlsOffered(session)) {
    CmdUnknown(command, session);
  } else if (!session.Encrypted()) {
    command.reply = Reply(533, "The control connection is not protected.");
  } else {
    // Going back to clear text after the login would let anybody on the path take the
    // session over; it is not offered, whatever the option says.
    command.reply = Reply(534, "CCC not permitted; the control connection stays protected.");
  }
}

void FtpServer::CmdSscn(Command& command, FtpSession& session) {
  const std::string setting = UpperAscii(command.unparsed_params);
  if (!TlsOffered(session)) {
    CmdUnknown(command, session);
  } else if (setting.empty() || setting == "OFF") {
    command.reply = Reply(200, "SSCN:SERVER METHOD");
  } else if (setting == "ON") {
    // Client-side handshakes serve transfers between two servers, which need a data
    // connection to a third party's address; those are refused anyway.
    command.reply = Reply(504, "SSCN ON not supported; data connections use the server method.");
  } else {
    command.reply = ParameterError(command);
  }
}

void FtpServer::CmdCpsv(Command& command, FtpSession& session) {
  if (!TlsOffered(session)) {
    CmdUnknown(command, session);
  } else {
    command.reply = Reply(504, "CPSV not supported; use PASV.");
  }
}

bool FtpServer::RefusedBeforeAuth(Command& command, const FtpSession& session,
                                  bool anonymous) const {
  if (!TlsOffered(session) || session.Encrypted())
    return false;
  const bool required = tls_.mode == FtpTlsMode::kRequired ||
                        (tls_.mode == FtpTlsMode::kRequiredButAnonymous && !anonymous);
  if (!required)
    return false;
  command.reply = Reply(530, "This server requires TLS; use AUTH TLS.");
  return true;
}

bool FtpServer::RefusedUnprotected(Command& command, const FtpSession& session) const {
  if (!TlsOffered(session) || !tls_.require_protected_data ||
      (session.Encrypted() && session.ProtectData())) {
    return false;
  }
  command.reply = Reply(521, "Data connections must be protected; use PROT P.");
  return true;
}

std::unique_ptr<TlsSocket> FtpServer::ProtectDataConnection(FtpSession& session,
                                                            platform::TcpSocket& data,
                                                            Reply& reply) {
  auto tls = std::make_unique<TlsSocket>(*tls_.context, data);
  tls->ResumeFrom(session.ControlSession(), tls_.require_session_reuse
                                                ? TlsSocket::Resumption::kRequired
                                                : TlsSocket::Resumption::kOptional);
  try {
    tls->Handshake(LineDeadline());
    return tls;
  } catch (const TlsError& failure) {
    reply = failure.cause() == TlsError::Cause::kNotResumed
                ? Reply(522,
                        "Data connection must resume the TLS session of the control "
                        "connection.")
                : Reply(522, "TLS negotiation on the data connection failed.");
  } catch (const platform::SocketError&) {
    reply = Reply(522, "TLS negotiation on the data connection failed.");
  }
  return nullptr;
}

}  // namespace vantrel
