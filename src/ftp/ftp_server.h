#pragma once

// The FTP server clients meet: the command set, the login state machine and the data
// channel, with a host (see ftp_host.h) that decides everything about accounts and files.
// The engine keeps no file system of its own and hands the host the client's paths as
// written.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "ftp/checksum.h"
#include "ftp/data_channel.h"
#include "ftp/ftp_command_server.h"
#include "ftp/ftp_error.h"
#include "ftp/ftp_host.h"
#include "ftp/ftp_session.h"
#include "ftp/ftp_tls_options.h"
#include "ftp/mlst_facts.h"
#include "ftp/passive_pool.h"

namespace vantrel {

class ListingWriter;
class TlsSocket;
class TransferControl;

// Owned by the host, which it asks through `host` from the sessions' threads; configure
// it before SetActive(true).
class FtpServer : public FtpCommandServer {
 public:
  static constexpr int kDefaultControlPort = 21;
  static constexpr int kDefaultDataPortNumber = 20;

  // `host` and `clock` (where SITE ZONE reads "now") must outlive the server.
  explicit FtpServer(FtpHost host, const Clock& clock = DefaultClock());
  ~FtpServer() override;

  // The source port of active data connections, used when the process may bind it
  // (ports below 1024 need root); otherwise the system chooses one.
  int DefaultDataPort() const { return default_data_port_; }
  void SetDefaultDataPort(int port);
  // The passive port range; used when both are set and the host's passive address leaves
  // the port at 0. Negative values are refused; while the other end is set, the minimum must stay
  // below the maximum, so a host moving the range upwards sets the maximum first. With
  // every port of the range taken, a listener takes one the system chooses.
  int PASVBoundPortMin() const { return pasv_bound_port_min_; }
  void SetPASVBoundPortMin(int port);
  int PASVBoundPortMax() const { return pasv_bound_port_max_; }
  void SetPASVBoundPortMax(int port);
  // Where the passive listeners that wait for their clients are counted; null: nowhere. It
  // must outlive the server's activity, and may be shared with other servers.
  void SetPassiveListenerCount(std::atomic<int>* count);
  // How long a data connection may take to come about, and a passive listener may wait
  // for its transfer command.
  const DataChannelTimeouts& DataTimeouts() const { return data_timeouts_; }
  void SetDataTimeouts(DataChannelTimeouts timeouts);
  // When true, the names of AnonymousAccounts() log in with an e-mail address as
  // password, without asking the host.
  void SetAllowAnonymousLogin(bool allow);
  std::vector<std::string>& AnonymousAccounts();
  void SetAnonymousPassStrictCheck(bool strict);
  // Facts beyond size, type and modify that sessions may select.
  void SetMLSDFacts(MlstFacts facts);
  FtpSecurityOptions& SecurityOptions();
  // Last line of HELP; nothing extra when empty.
  void SetEndOfHelpLine(std::string line);
  // How long a connection may go without logging in, from its greeting; then it is told
  // so (421) and closed. A session that has logged in once is not held to it.
  static constexpr std::chrono::milliseconds kDefaultLoginDeadline{120000};
  std::chrono::milliseconds LoginDeadline() const { return login_deadline_; }
  void SetLoginDeadline(std::chrono::milliseconds deadline);
  // Encryption; a handshake must end within the line deadline. The implicit port is
  // TcpServer's SetImplicitTlsPort and needs a context here.
  const FtpTlsOptions& Tls() const { return tls_; }
  void SetTls(FtpTlsOptions options);

 protected:
  void InitializeCommandHandlers() override;
  std::unique_ptr<Connection> CreateConnection(platform::TcpSocket socket) override;
  void BeforeRun(Connection& connection) override;
  void AfterRun(Connection& connection) override;
  std::optional<Deadline> SessionDeadline(const FtpSession& session) const override;
  Reply SessionExpiredReply() const override;
  void AfterDeactivation() override { passive_pool_.Clear(); }
  void HandleUnknownCommand(FtpSession& session, const std::string& line) override;
  void CommandFailed(FtpSession& session, const std::string& command,
                     const std::exception& failure) override;
  void SessionFailed(Connection& connection, const std::exception& failure) override;
  void Refused(const platform::SocketAddress& peer, Refusal reason) override;

 private:
  using Routine = void (FtpServer::*)(Command&, FtpSession&);
  struct CommandSpec;

  // The routine behind `routine`, answering 530 first when `login` and nobody is logged in.
  std::function<void(Command&)> Guarded(Routine routine, bool login);
  void Register(const CommandSpec& entry);
  void RegisterSiteCommands();
  Reply UnknownCommand(std::string_view line) const;
  static Reply NotImplemented(const Command& command);
  static Reply ParameterError(const Command& command);
  static std::string UpperAscii(std::string_view text);

  // Login.
  void CmdUser(Command& command, FtpSession& session);
  void CmdPass(Command& command, FtpSession& session);
  void AcceptLogin(Command& command, FtpSession& session, const char* text);
  void RefuseLogin(Command& command, FtpSession& session);
  // Navigation.
  void CmdCwd(Command& command, FtpSession& session);
  void CmdCdup(Command& command, FtpSession& session);
  void CmdPwd(Command& command, FtpSession& session);
  void ChangeDirectory(FtpSession& session, std::string_view path);
  // Session settings.
  void CmdQuit(Command& command, FtpSession& session);
  void CmdRein(Command& command, FtpSession& session);
  void CmdType(Command& command, FtpSession& session);
  void CmdStru(Command& command, FtpSession& session);
  void CmdMode(Command& command, FtpSession& session);
  void CmdAllo(Command& command, FtpSession& session);
  void CmdRest(Command& command, FtpSession& session);
  void CmdSuccessful(Command& command, FtpSession& session);
  void CmdAbor(Command& command, FtpSession& session);
  void CmdNoted(Command& command, FtpSession& session);
  void CmdCommandNotImplemented(Command& command, FtpSession& session);
  void CmdNotImplemented(Command& command, FtpSession& session);
  void CmdUnknown(Command& command, FtpSession& session);
  // Data channel.
  void CmdPort(Command& command, FtpSession& session);
  void CmdEprt(Command& command, FtpSession& session);
  // The checks PORT and EPRT share before they read their argument.
  bool ActiveAllowed(Command& command, FtpSession& session) const;
  void PrepareActive(Command& command, FtpSession& session, const platform::SocketAddress& target);
  void CmdPasv(Command& command, FtpSession& session);
  void CmdEpsv(Command& command, FtpSession& session);
  void CmdSpsv(Command& command, FtpSession& session);
  // A bound passive channel and the address its reply names.
  struct PreparedPassive {
    std::unique_ptr<DataChannel> channel;
    std::string announce_ip;  // empty: the bound address
  };
  // Drops the session's channel, asks the host where to listen and binds a listener; the
  // caller installs the channel once its reply is settled.
  PreparedPassive PreparePassive(FtpSession& session, platform::IpVersion version,
                                 bool reply_names_address);
  // Installs the channel; the address and port to announce.
  platform::SocketAddress AnnouncePassive(FtpSession& session, PreparedPassive prepared);
  // Where a passive listener's port came from. Only listeners on a port asked for or
  // taken from the range go back to the pool afterwards: the system would give a new
  // port each time.
  enum class PortSource { kAsked, kRange, kSystem, kRangeExhausted };
  // A listener on `ip` for a passive channel: one kept in the pool when it has the port
  // wanted, else a new one.
  std::unique_ptr<platform::TcpListener> ListenPassive(const std::string& ip,
                                                       platform::IpVersion version, int port);
  // The same, choosing the port as the range and `port` say.
  std::unique_ptr<platform::TcpListener> BindPassive(const std::string& ip, int port,
                                                     PortSource& source);

  bool RefusedAfterEpsvAll(Command& command, const FtpSession& session) const;
  // `count` descriptors from the shared budget for what the command is about to open;
  // when none are left, throws the refusal (425 for a data connection, 450 for a file)
  // after telling the host.
  DescriptorGrant Reserve(FtpSession& session, DescriptorUse use, int count);
  // The channel a transfer command consumes; nothing (after answering 425) without one.
  std::unique_ptr<DataChannel> TakeChannel(Command& command, FtpSession& session);
  struct NamedTransfer {
    std::unique_ptr<DataChannel> channel;  // null: refused, the reply is set
    std::int64_t restart = 0;
  };
  // What RETR, STOR and APPE consume: the REST offset, which serves the one transfer that
  // follows it whatever becomes of that transfer, and the channel, refused (501) when the
  // command names no file.
  NamedTransfer TakeNamedTransfer(Command& command, FtpSession& session);
  void CmdRetr(Command& command, FtpSession& session);
  void CmdStor(Command& command, FtpSession& session);
  void CmdStou(Command& command, FtpSession& session);
  void Store(Command& command, FtpSession& session, std::unique_ptr<DataChannel> channel,
             const std::string& name, bool append, std::int64_t restart, const Reply& preliminary);
  std::string UniqueFileName(FtpSession& session);
  void CmdList(Command& command, FtpSession& session);
  void CmdMlsd(Command& command, FtpSession& session);
  void CmdMlst(Command& command, FtpSession& session);
  void StatPath(Command& command, FtpSession& session);
  // The host's listing of the client's `path`, holding the budget's place for the
  // directory it reads until it closes; nothing (after answering 550) when the host refuses.
  std::unique_ptr<ListingSource> OpenListing(Command& command, FtpSession& session,
                                             std::string_view path, ListingScope scope);
  static Reply StatusReply(const FtpSession& session);
  // Sends `preliminary`, opens the channel, moves the stream's bytes (or, without a
  // stream, the listing's text) and answers how it ended. The stream, when there is one,
  // is destroyed before the final reply.
  enum class Direction { kSend, kReceive };
  void RunTransfer(Command& command, FtpSession& session, DataChannel& channel,
                   const Reply& preliminary, std::unique_ptr<FtpStream> stream,
                   ListingWriter* listing, Direction direction);
  // Files.
  void CmdSize(Command& command, FtpSession& session);
  void CmdMdtm(Command& command, FtpSession& session);
  void CmdMfmt(Command& command, FtpSession& session);
  void CmdRnfr(Command& command, FtpSession& session);
  void CmdRnto(Command& command, FtpSession& session);
  void CmdDele(Command& command, FtpSession& session);
  void CmdMkd(Command& command, FtpSession& session);
  void CmdRmd(Command& command, FtpSession& session);
  void CmdRangeChecksum(Command& command, FtpSession& session);
  void CmdMd5(Command& command, FtpSession& session);
  void CmdMmd5(Command& command, FtpSession& session);

  // The checksum of the named file (a client name, not yet joined); nothing when the
  // host has no stream for it or `control` says to stop (an ABOR, a client gone).
  std::optional<std::string> FileChecksum(FtpSession& session, std::string_view name,
                                          ChecksumKind kind, std::int64_t start, std::int64_t count,
                                          TransferControl& control);
  // After a checksum that `control` stopped: answers the ABOR, or ends a session whose
  // client left. False when nothing stopped it.
  bool EndStoppedChecksum(Command& command, FtpSession& session, const TransferControl& control);
  // Encryption.
  bool TlsOffered(const FtpSession& session) const;
  // Starts TLS on the control connection; a failed or stalled handshake ends the session.
  void StartControlTls(FtpSession& session);
  void CmdAuth(Command& command, FtpSession& session);
  void CmdPbsz(Command& command, FtpSession& session);
  void CmdProt(Command& command, FtpSession& session);
  void CmdCcc(Command& command, FtpSession& session);
  void CmdSscn(Command& command, FtpSession& session);
  void CmdCpsv(Command& command, FtpSession& session);
  // The refusal a USER gets before AUTH under a mode that requires TLS; false when none.
  bool RefusedBeforeAuth(Command& command, const FtpSession& session, bool anonymous) const;
  // 521 for a transfer before PROT P where data must be protected; false when allowed.
  bool RefusedUnprotected(Command& command, const FtpSession& session) const;
  // For a data connection under PROT P: the TLS server over `data`, after its handshake,
  // or null with `reply` set (522) when the handshake failed or did not resume.
  std::unique_ptr<TlsSocket> ProtectDataConnection(FtpSession& session, platform::TcpSocket& data,
                                                   Reply& reply);
  // Information.
  void CmdHelp(Command& command, FtpSession& session);
  void CmdFeat(Command& command, FtpSession& session);
  void CmdSyst(Command& command, FtpSession& session);
  void CmdStat(Command& command, FtpSession& session);
  void CmdOpts(Command& command, FtpSession& session);
  void OptsUtf8(Command& command, std::string_view setting);
  void CmdSite(Command& command, FtpSession& session);
  void SiteHelp(Command& command, FtpSession& session);
  void SiteZone(Command& command, FtpSession& session);

  const FtpHost host_;
  const Clock& clock_;
  int default_data_port_ = kDefaultDataPortNumber;
  int pasv_bound_port_min_ = 0;
  int pasv_bound_port_max_ = 0;
  DataChannelTimeouts data_timeouts_;
  PassivePool passive_pool_;
  std::atomic<int>* passive_listener_count_ = nullptr;
  // STOU's names count up from here; shared by the sessions so that two of them never
  // try the same name at the same moment.
  std::atomic<std::uint32_t> unique_name_counter_;
  bool allow_anonymous_login_ = false;
  std::vector<std::string> anonymous_accounts_{"anonymous", "ftp", "guest"};
  bool anonymous_pass_strict_check_ = true;
  MlstFacts mlsd_facts_;
  // Asked once an activation: asking takes a socket, which EPSV must not open unbudgeted.
  bool ipv6_available_ = false;
  FtpSecurityOptions security_options_;
  std::string end_of_help_line_;
  std::chrono::milliseconds login_deadline_ = kDefaultLoginDeadline;
  FtpTlsOptions tls_;
  std::vector<CommandHandler> site_handlers_;
};

}  // namespace vantrel
