#pragma once

// The FTP server clients meet: the command set, the login state machine, Unix-style path
// joining, and events through which the host decides everything about accounts and
// files. The engine keeps no file system of its own.
//
// Handlers refuse by throwing FtpError (any std::exception but a socket failure works the
// same way; a socket failure ends the session): the command is answered with its failure
// code and the message. Commands whose event is not bound answer that they are not
// implemented rather than pretend to succeed.

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
#include "ftp/ftp_error.h"
#include "ftp/ftp_server_context.h"
#include "ftp/ftp_stream.h"
#include "ftp/mlst_facts.h"

namespace vantrel {

// Owned by the host; configure and bind events before SetActive(true). Events run in the
// session's thread, concurrently for different sessions.
class FTPServer : public CmdTCPServer {
 public:
  static constexpr int kDefaultControlPort = 21;
  static constexpr int kDefaultDataPortNumber = 20;

  // `clock` is where SITE ZONE reads "now"; it must outlive the server.
  explicit FTPServer(const Clock& clock = DefaultClock());
  ~FTPServer() override;

  int DefaultDataPort() const { return default_data_port_; }
  void SetDefaultDataPort(int port);
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

  // PASS for a normal user: set `authenticated` to admit.
  std::function<void(FTPServerContext&, const std::string& username, const std::string& password,
                     bool& authenticated)>
      OnUserLogin;
  // After a successful login, before the 230 goes out. Throwing ends the login again.
  std::function<void(FTPServerContext&)> OnAfterUserLogin;
  // CWD, XCWD, CDUP, XCUP with the joined path; may change it, which becomes current.
  std::function<void(FTPServerContext&, std::string& directory)> OnChangeDirectory;
  // SIZE: leave `size` negative when there is no such file.
  std::function<void(FTPServerContext&, const std::string& file_name, std::int64_t& size)>
      OnGetFileSize;
  // MDTM: the file's local modification time; 0 or less when there is no such file.
  std::function<void(FTPServerContext&, const std::string& file_name, DateTime& date)>
      OnGetFileDate;
  std::function<void(FTPServerContext&, const std::string& from, const std::string& to)>
      OnRenameFile;
  std::function<void(FTPServerContext&, const std::string& path)> OnDeleteFile;
  std::function<void(FTPServerContext&, const std::string& path)> OnMakeDirectory;
  std::function<void(FTPServerContext&, const std::string& path)> OnRemoveDirectory;
  // XCRC, XMD5, MD5, MMD5: a readable stream on the file, or none when it does not exist.
  std::function<void(FTPServerContext&, const std::string& file_name,
                     std::unique_ptr<FtpStream>& stream)>
      OnCRCFile;
  std::function<void(FTPServerContext&, const std::string& path, bool& exists)> OnFileExistCheck;
  std::function<void(FTPServerContext&, const std::string& target,
                     const std::vector<std::string>& parts)>
      OnCombineFiles;

 protected:
  void InitializeCommandHandlers() override;
  std::unique_ptr<Context> CreateContext(platform::TcpSocket connection) override;
  void HandleUnknownCommand(Context& context, const std::string& line) override;

 private:
  using Routine = void (FTPServer::*)(Command&, FTPServerContext&);
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
    kUnavailable,  // needs a facility this server does not offer
  };
  struct CommandSpec;

  bool EventBound(Event event) const;
  void Register(const CommandSpec& spec);
  void RegisterSiteCommands();
  Reply UnknownCommand(std::string_view line) const;
  static Reply NotImplemented(const Command& command);
  static std::string UpperAscii(std::string_view text);
  std::string Process(const FTPServerContext& session, std::string_view path) const;

  // Login.
  void CmdUser(Command& command, FTPServerContext& session);
  void CmdPass(Command& command, FTPServerContext& session);
  void AcceptLogin(Command& command, FTPServerContext& session, const char* text);
  void RefuseLogin(Command& command, FTPServerContext& session);
  // Navigation.
  void CmdCwd(Command& command, FTPServerContext& session);
  void CmdCdup(Command& command, FTPServerContext& session);
  void CmdPwd(Command& command, FTPServerContext& session);
  void ChangeDirectory(FTPServerContext& session, std::string directory);
  // Session settings.
  void CmdQuit(Command& command, FTPServerContext& session);
  void CmdRein(Command& command, FTPServerContext& session);
  void CmdType(Command& command, FTPServerContext& session);
  void CmdStru(Command& command, FTPServerContext& session);
  void CmdMode(Command& command, FTPServerContext& session);
  void CmdAllo(Command& command, FTPServerContext& session);
  void CmdRest(Command& command, FTPServerContext& session);
  void CmdSuccessful(Command& command, FTPServerContext& session);
  void CmdAbor(Command& command, FTPServerContext& session);
  void CmdNoted(Command& command, FTPServerContext& session);
  void CmdCommandNotImplemented(Command& command, FTPServerContext& session);
  void CmdNotImplemented(Command& command, FTPServerContext& session);
  void CmdUnknown(Command& command, FTPServerContext& session);
  void CmdNeedsDataChannel(Command& command, FTPServerContext& session);
  void CmdNeedsListing(Command& command, FTPServerContext& session);
  // Files.
  void CmdSize(Command& command, FTPServerContext& session);
  void CmdMdtm(Command& command, FTPServerContext& session);
  void CmdRnfr(Command& command, FTPServerContext& session);
  void CmdRnto(Command& command, FTPServerContext& session);
  void CmdDele(Command& command, FTPServerContext& session);
  void CmdMkd(Command& command, FTPServerContext& session);
  void CmdRmd(Command& command, FTPServerContext& session);
  void CmdRangeChecksum(Command& command, FTPServerContext& session);
  void CmdMd5(Command& command, FTPServerContext& session);
  void CmdMmd5(Command& command, FTPServerContext& session);
  void CmdComb(Command& command, FTPServerContext& session);
  // The checksum of the named file (a client name, not yet joined); nothing when the
  // host has no stream for it.
  std::optional<std::string> FileChecksum(FTPServerContext& session, std::string_view name,
                                          ChecksumKind kind, std::int64_t start,
                                          std::int64_t count);
  // Information.
  void CmdHelp(Command& command, FTPServerContext& session);
  void CmdFeat(Command& command, FTPServerContext& session);
  void CmdSyst(Command& command, FTPServerContext& session);
  void CmdStat(Command& command, FTPServerContext& session);
  void CmdOpts(Command& command, FTPServerContext& session);
  void CmdSite(Command& command, FTPServerContext& session);
  void SiteHelp(Command& command, FTPServerContext& session);
  void SiteZone(Command& command, FTPServerContext& session);
  void SiteDirStyle(Command& command, FTPServerContext& session);

  const Clock& clock_;
  int default_data_port_ = kDefaultDataPortNumber;
  Reply reply_unknown_site_command_{500, "Invalid SITE command."};
  bool allow_anonymous_login_ = false;
  std::vector<std::string> anonymous_accounts_{"anonymous", "ftp", "guest"};
  bool anonymous_pass_strict_check_ = true;
  MlstFacts mlsd_facts_;
  FTPSecurityOptions security_options_;
  std::string end_of_help_line_;
  std::vector<CommandHandler> site_handlers_;
};

}  // namespace vantrel
