#pragma once

// The FTP server clients meet: the command set, the login state machine, Unix-style path
// joining, and events through which the host decides everything about accounts and
// files. The engine keeps no file system of its own.
//
// Handlers refuse by throwing FtpError (any std::exception but a socket failure works the
// same way; a socket failure ends the session): the command is answered with its failure
// code and the message. Commands whose event is not bound answer that they are not
// implemented rather than pretend to succeed.

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
#include "ftp/cmd_tcp_server.h"
#include "ftp/data_channel.h"
#include "ftp/ftp_error.h"
#include "ftp/ftp_list_output.h"
#include "ftp/ftp_session.h"
#include "ftp/ftp_stream.h"
#include "ftp/listing_source.h"
#include "ftp/mlst_facts.h"
#include "ftp/passive_address.h"
#include "ftp/passive_pool.h"

namespace vantrel {

class ListingWriter;
class TransferControl;

// Owned by the host; configure and bind events before SetActive(true). Events run in the
// session's thread, concurrently for different sessions.
class FTPServer : public CmdTCPServer {
 public:
  static constexpr int kDefaultControlPort = 21;
  static constexpr int kDefaultDataPortNumber = 20;

  // `clock` is where SITE ZONE reads "now"; it must outlive the server.
  explicit FTPServer(const Clock& clock = DefaultClock());
  ~FTPServer() override;

  // The source port of active data connections, used when the process may bind it
  // (ports below 1024 need root); otherwise the system chooses one.
  int DefaultDataPort() const { return default_data_port_; }
  void SetDefaultDataPort(int port);
  // The passive port range; used when both are set and OnPASVBeforeBind leaves the port
  // at 0. Negative values are refused; while the other end is set, the minimum must stay
  // below the maximum, so a host moving the range upwards sets the maximum first. With
  // every port of the range taken, a listener takes one the system chooses.
  int PASVBoundPortMin() const { return pasv_bound_port_min_; }
  void SetPASVBoundPortMin(int port);
  int PASVBoundPortMax() const { return pasv_bound_port_max_; }
  void SetPASVBoundPortMax(int port);
  // How long a data connection may take to come about, and a passive listener may wait
  // for its transfer command.
  const DataChannelTimeouts& DataTimeouts() const { return data_timeouts_; }
  void SetDataTimeouts(DataChannelTimeouts timeouts);
  // Reply of SITE subcommands that this configuration does not offer.
  Reply& ReplyUnknownSITCommand();
  // When true, the names of AnonymousAccounts() log in with an e-mail address as
  // password, without asking the host.
  void SetAllowAnonymousLogin(bool allow);
  std::vector<std::string>& AnonymousAccounts();
  void SetAnonymousPassStrictCheck(bool strict);
  // Facts beyond size, type and modify that sessions may select.
  void SetMLSDFacts(MlstFacts facts);
  FTPSecurityOptions& SecurityOptions();
  // Last line of HELP; nothing extra when empty.
  void SetEndOfHelpLine(std::string line);
  // How long a connection may go without logging in, from its greeting; then it is told
  // so (421) and closed. A session that has logged in once is not held to it.
  static constexpr std::chrono::milliseconds kDefaultLoginDeadline{120000};
  std::chrono::milliseconds LoginDeadline() const { return login_deadline_; }
  void SetLoginDeadline(std::chrono::milliseconds deadline);

  // PASS for a normal user: set `authenticated` to admit.
  std::function<void(FtpSession&, const std::string& username, const std::string& password,
                     bool& authenticated)>
      OnUserLogin;
  // After a successful login, before the 230 goes out. Throwing ends the login again.
  std::function<void(FtpSession&)> OnAfterUserLogin;
  // CWD, XCWD, CDUP, XCUP with the client's path ("/" for a CWD without one, ".." for
  // CDUP); sets it to the FTP path that becomes current.
  std::function<void(FtpSession&, std::string& directory)> OnChangeDirectory;
  // SIZE: leave `size` negative when there is no such file.
  std::function<void(FtpSession&, const std::string& file_name, std::int64_t& size)> OnGetFileSize;
  // MDTM: the file's local modification time; 0 or less when there is no such file.
  std::function<void(FtpSession&, const std::string& file_name, DateTime& date)> OnGetFileDate;
  std::function<void(FtpSession&, const std::string& from, const std::string& to)> OnRenameFile;
  std::function<void(FtpSession&, const std::string& path)> OnDeleteFile;
  // MKD: sets `path`, the client's, to the FTP path of the directory made.
  std::function<void(FtpSession&, std::string& path)> OnMakeDirectory;
  std::function<void(FtpSession&, const std::string& path)> OnRemoveDirectory;
  // XCRC, XMD5, MD5, MMD5: a readable stream on the file, or none when it does not exist.
  // `whole_file` is false when XCRC or XMD5 named a start or end position.
  std::function<void(FtpSession&, const std::string& file_name, bool whole_file,
                     std::unique_ptr<FtpStream>& stream)>
      OnCRCFile;
  // MFMT, and MDTM with a time stamp before the name: give the file the modification time
  // `time`. Bound only by a host that really sets it, since FEAT then announces it.
  std::function<void(FtpSession&, const std::string& file_name,
                     std::chrono::system_clock::time_point time)>
      OnSetModifiedTime;
  // MDTM with a time stamp, and STOU looking for a free name: whether a file (not a
  // directory) of that name exists.
  std::function<void(FtpSession&, const std::string& path, bool& exists)> OnFileExistCheck;
  // LIST, NLST, MLSD, STAT with a path and MLST: the entries of `path` (the client's, empty
  // when it named none) in listing order (see ListingSource). MLST asks about the entry itself.
  // `command` is the command word, `switches` the client's switch word ("-la") or empty. Throwing
  // refuses (550).
  std::function<std::unique_ptr<ListingSource>(FtpSession&, const std::string& path,
                                               const std::string& command,
                                               const std::string& switches)>
      OnListDirectory;
  // RETR: a readable stream on the file, or none (550). The engine seeks it to the
  // restart offset, sends it and destroys it before the final reply.
  std::function<void(FtpSession&, const std::string& file_name, std::unique_ptr<FtpStream>& stream)>
      OnRetrieveFile;
  // STOR, STOU, APPE: a writable stream, or none (550). With `append` (APPE, and STOR
  // resuming after REST) the file must be opened as it is, never truncated; the engine
  // then seeks to the end (APPE) or the restart offset (STOR).
  std::function<void(FtpSession&, const std::string& file_name, bool append,
                     std::unique_ptr<FtpStream>& stream)>
      OnStoreFile;
  // PASV, P@SW, EPSV, SPSV, before the passive listener binds: where it binds and what
  // the reply announces (see PassiveAddress). `version` is the control connection's.
  std::function<void(FtpSession&, PassiveAddress& address, platform::IpVersion version)>
      OnPASVBeforeBind;
  // PASV, P@SW, EPSV, after the bind: the address and port the reply names (the bound
  // ones unless OnPASVBeforeBind chose an address to announce), which the handler may
  // still change for the reply only.
  std::function<void(FtpSession&, std::string& ip, std::uint16_t& port,
                     platform::IpVersion version)>
      OnPASVReply;
  // A passive listener found every port of the range taken and took `port`, one the
  // system chose.
  std::function<void(FtpSession&, int port)> OnPassiveRangeExhausted;
  std::function<void(FtpSession&, const std::string& target, const std::vector<std::string>& parts)>
      OnCombineFiles;

 protected:
  void InitializeCommandHandlers() override;
  std::unique_ptr<Connection> CreateConnection(platform::TcpSocket socket) override;
  void BeforeRun(Connection& connection) override;
  void AfterRun(Connection& connection) override;
  std::optional<Deadline> SessionDeadline(const FtpSession& session) const override;
  Reply SessionExpiredReply() const override;
  void AfterDeactivation() override { passive_pool_.Clear(); }
  void HandleUnknownCommand(FtpSession& session, const std::string& line) override;

 private:
  using Routine = void (FTPServer::*)(Command&, FtpSession&);
  // The event a command needs; HELP marks commands whose event is missing.
  enum class Event {
    kNone,
    kChangeDirectory,
    kGetFileSize,
    kGetFileDate,
    kRenameFile,
    kDeleteFile,
    kMakeDirectory,
    kRemoveDirectory,
    kCRCFile,
    kCombineFiles,
    kSetModifiedTime,
    kRetrieveFile,
    kStoreFile,
    kStoreUnique,  // STOU also asks whether its name is free
    kUnavailable,  // needs a facility this server does not offer
  };
  struct CommandSpec;

  bool EventBound(Event event) const;
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
  void ChangeDirectory(FtpSession& session, std::string directory);
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
  // Drops the session's channel, raises OnPASVBeforeBind and binds a listener; the
  // caller installs the channel once its reply is settled.
  PreparedPassive PreparePassive(FtpSession& session, platform::IpVersion version,
                                 bool reply_names_address);
  // Raises OnPASVReply and installs the channel; the address and port to announce.
  platform::SocketAddress AnnouncePassive(FtpSession& session, PreparedPassive prepared,
                                          platform::IpVersion version, bool raise_reply);
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
  // The channel a transfer command consumes; nothing (after answering 425) without one.
  std::unique_ptr<DataChannel> TakeChannel(Command& command, FtpSession& session);
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
  // The host's listing of the client's `path`; nothing (after answering 550) when the host
  // refuses.
  std::unique_ptr<ListingSource> OpenListing(Command& command, FtpSession& session,
                                             std::string_view path, const std::string& switches);
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
  void CmdComb(Command& command, FtpSession& session);
  // The checksum of the named file (a client name, not yet joined); nothing when the
  // host has no stream for it or `control` says to stop (an ABOR, a client gone).
  std::optional<std::string> FileChecksum(FtpSession& session, std::string_view name,
                                          ChecksumKind kind, std::int64_t start, std::int64_t count,
                                          TransferControl& control);
  // After a checksum that `control` stopped: answers the ABOR, or ends a session whose
  // client left. False when nothing stopped it.
  bool EndStoppedChecksum(Command& command, FtpSession& session, const TransferControl& control);
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
  void SiteDirStyle(Command& command, FtpSession& session);

  const Clock& clock_;
  int default_data_port_ = kDefaultDataPortNumber;
  int pasv_bound_port_min_ = 0;
  int pasv_bound_port_max_ = 0;
  DataChannelTimeouts data_timeouts_;
  PassivePool passive_pool_;
  // STOU's names count up from here; shared by the sessions so that two of them never
  // try the same name at the same moment.
  std::atomic<std::uint32_t> unique_name_counter_;
  Reply reply_unknown_site_command_{500, "Invalid SITE command."};
  bool allow_anonymous_login_ = false;
  std::vector<std::string> anonymous_accounts_{"anonymous", "ftp", "guest"};
  bool anonymous_pass_strict_check_ = true;
  MlstFacts mlsd_facts_;
  FTPSecurityOptions security_options_;
  std::string end_of_help_line_;
  std::chrono::milliseconds login_deadline_ = kDefaultLoginDeadline;
  std::vector<CommandHandler> site_handlers_;
};

}  // namespace vantrel
