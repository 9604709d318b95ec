#include "ftp/ftp_server.h"

#include "common/text.h"
#include "platform/resolver.h"

namespace vantrel {
namespace {

// REST and ALLO figures: a plain decimal count, anything else counts as 0.
std::int64_t CountOrZero(std::string_view text) {
  text = Trim(text);
  if (text.empty())
    return 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return 0;
  }
  return ParseInteger(text).value_or(0);
}

}  // namespace

struct FtpServer::CommandSpec {
  const char* word;
  Routine routine;
  bool login;          // answer 530 before the routine runs when not logged in
  int exception_code;  // 0: the server's exception reply
  const char* syntax;
  bool unimplemented = false;  // marked "*" by HELP
  bool visible = true;
};

FtpServer::FtpServer(FtpHost host, const Clock& clock)
    : host_(host),
      clock_(clock),
      unique_name_counter_(
          static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count())) {
  SetDefaultPort(kDefaultControlPort);
  Greeting().SetCode(220);
  MaxConnectionReply().SetCode(421);
  ReplyUnknownCommand() = Reply(500, "Unknown Command");
  ExceptionReply() = Reply(500, "Unknown Internal Error");
}

FtpServer::~FtpServer() {
  SetActive(false);
}

void FtpServer::SetDefaultDataPort(int port) {
  RequireInactive();
  if (port < 0 || port > 65535)
    throw Error("Invalid port number " + std::to_string(port));
  default_data_port_ = port;
}

void FtpServer::SetPassiveListenerCount(std::atomic<int>* count) {
  RequireInactive();
  passive_listener_count_ = count;
}

void FtpServer::SetPASVBoundPortMin(int port) {
  RequireInactive();
  if (port < 0)
    throw Error("Property can not be a negative number.");
  if (port > 65535)
    throw Error("Invalid port number " + std::to_string(port));
  if (pasv_bound_port_max_ != 0 && port >= pasv_bound_port_max_)
    throw Error("PASVBoundPortMin must be less than PASVBoundPortMax.");
  pasv_bound_port_min_ = port;
}

void FtpServer::SetPASVBoundPortMax(int port) {
  RequireInactive();
  if (port < 0)
    throw Error("Property can not be a negative number.");
  if (port > 65535)
    throw Error("Invalid port number " + std::to_string(port));
  if (pasv_bound_port_min_ != 0 && port <= pasv_bound_port_min_)
    throw Error("PASVBoundPortMax must be greater than PASVBoundPortMin.");
  pasv_bound_port_max_ = port;
}

void FtpServer::SetDataTimeouts(DataChannelTimeouts timeouts) {
  RequireInactive();
  if (timeouts.accept.count() <= 0 || timeouts.connect.count() <= 0)
    throw Error("Data connection time-outs must be positive");
  data_timeouts_ = timeouts;
}

void FtpServer::SetAllowAnonymousLogin(bool allow) {
  RequireInactive();
  allow_anonymous_login_ = allow;
}

std::vector<std::string>& FtpServer::AnonymousAccounts() {
  RequireInactive();
  return anonymous_accounts_;
}

void FtpServer::SetAnonymousPassStrictCheck(bool strict) {
  RequireInactive();
  anonymous_pass_strict_check_ = strict;
}

void FtpServer::SetMLSDFacts(MlstFacts facts) {
  RequireInactive();
  mlsd_facts_ = facts;
}

FtpSecurityOptions& FtpServer::SecurityOptions() {
  RequireInactive();
  return security_options_;
}

void FtpServer::SetEndOfHelpLine(std::string line) {
  RequireInactive();
  end_of_help_line_ = std::move(line);
}

std::unique_ptr<Connection> FtpServer::CreateConnection(platform::TcpSocket socket) {
  // ABOR may come as Telnet "synch", its last byte urgent; it must reach the line reader.
  socket.SetOutOfBandInline();
  return std::make_unique<FtpSession>(std::move(socket), security_options_);
}

void FtpServer::AfterRun(Connection& connection) {
  // A prepared channel (a passive listener) closes before the host hears of the end.
  FtpSession& session = SessionOf(connection);
  session.SetDataChannel(nullptr);
  host_.session.SessionEnded(session);
}

void FtpServer::InitializeCommandHandlers() {
  ipv6_available_ = platform::IsIpv6Available();
  using S = FtpServer;
  static const CommandSpec kCommands[] = {
      {"USER", &S::CmdUser, false, 0, "Syntax: USER <sp> <username>"},
      {"PASS", &S::CmdPass, false, 0, "Syntax: PASS <sp> <password>"},
      {"ACCT", &S::CmdCommandNotImplemented, false, 0, "Syntax: ACCT <sp> <account-information>",
       true},
      {"CWD", &S::CmdCwd, true, 550, "Syntax: CWD <sp> <pathname>"},
      {"XCWD", &S::CmdCwd, true, 550, "Syntax: XCWD <sp> <pathname>"},
      {"CDUP", &S::CmdCdup, true, 550, "Syntax: CDUP"},
      {"XCUP", &S::CmdCdup, true, 551, "Syntax: XCUP"},
      {"PWD", &S::CmdPwd, true, 550, "Syntax: PWD"},
      {"XPWD", &S::CmdPwd, true, 502, "Syntax: XPWD"},
      {"SMNT", &S::CmdCommandNotImplemented, false, 0, "Syntax: SMNT <sp> <pathname>", true},
      {"REIN", &S::CmdRein, true, 0, "Syntax: REIN"},
      {"QUIT", &S::CmdQuit, false, 0, "Syntax: QUIT"},
      {"PORT", &S::CmdPort, true, 0, "Syntax: PORT <sp> h1,h2,h3,h4,p1,p2"},
      {"EPRT", &S::CmdEprt, true, 501, "Syntax: EPRT <sp> |protocol|address|port|"},
      {"PASV", &S::CmdPasv, true, 0, "Syntax: PASV"},
      {"P@SW", &S::CmdPasv, true, 0, "Syntax: P@SW", false, false},
      {"EPSV", &S::CmdEpsv, true, 501, "Syntax: EPSV [<sp> protocol | <sp> ALL]"},
      {"SPSV", &S::CmdSpsv, true, 0, "Syntax: SPSV"},
      {"TYPE", &S::CmdType, true, 0, "Syntax: TYPE <sp> type-code (A or I)"},
      {"STRU", &S::CmdStru, true, 0, "Syntax: STRU <sp> structure-code (F, R or P)"},
      {"MODE", &S::CmdMode, true, 501, "Syntax: MODE <sp> mode-code (S)"},
      {"RETR", &S::CmdRetr, true, 550, "Syntax: RETR <sp> <pathname>"},
      {"STOR", &S::CmdStor, true, 551, "Syntax: STOR <sp> <pathname>"},
      {"STOU", &S::CmdStou, true, 551, "Syntax: STOU"},
      {"APPE", &S::CmdStor, true, 550, "Syntax: APPE <sp> <pathname>"},
      {"ALLO", &S::CmdAllo, true, 550,
       "Syntax: ALLO <sp> <decimal-integer> [<sp> R <sp> <decimal-integer>]"},
      {"REST", &S::CmdRest, true, 550, "Syntax: REST <sp> <marker>"},
      {"RNFR", &S::CmdRnfr, true, 550, "Syntax: RNFR <sp> <pathname>"},
      {"RNTO", &S::CmdRnto, true, 550, "Syntax: RNTO <sp> <pathname>"},
      {"ABOR", &S::CmdAbor, true, 550, "Syntax: ABOR"},
      {"DELE", &S::CmdDele, false, 550, "Syntax: DELE <sp> <pathname>"},
      {"RMD", &S::CmdRmd, true, 550, "Syntax: RMD <sp> <pathname>"},
      {"XRMD", &S::CmdRmd, true, 551, "Syntax: XRMD <sp> <pathname>"},
      {"MKD", &S::CmdMkd, true, 550, "Syntax: MKD <sp> <pathname>"},
      {"XMKD", &S::CmdMkd, true, 551, "Syntax: XMKD <sp> <pathname>"},
      {"LIST", &S::CmdList, true, 450, "Syntax: LIST [<sp> <pathname>]"},
      {"NLST", &S::CmdList, true, 450, "Syntax: NLST [<sp> <pathname>]"},
      {"MLSD", &S::CmdMlsd, true, 550, "Syntax: MLSD [<sp> <pathname>]"},
      {"MLST", &S::CmdMlst, true, 550, "Syntax: MLST [<sp> <pathname>]"},
      {"STAT", &S::CmdStat, true, 450, "Syntax: STAT [<sp> <pathname>]"},
      {"SIZE", &S::CmdSize, true, 550, "Syntax: SIZE <sp> <pathname>"},
      {"MDTM", &S::CmdMdtm, true, 550, "Syntax: MDTM <sp> <pathname>"},
      {"SYST", &S::CmdSyst, true, 501, "Syntax: SYST"},
      {"FEAT", &S::CmdFeat, false, 501, "Syntax: FEAT"},
      {"OPTS", &S::CmdOpts, false, 501, "Syntax: OPTS <sp> command [<sp> options]"},
      {"HELP", &S::CmdHelp, false, 0, "Syntax: HELP [<sp> <string>]"},
      {"SITE", &S::CmdSite, false, 501, "Syntax: SITE <sp> <string>"},
      {"NOOP", &S::CmdSuccessful, false, 550, "Syntax: NOOP"},
      {"XCRC", &S::CmdRangeChecksum, true, 550,
       "Syntax: XCRC <sp> \"<pathname>\" [<sp> start [<sp> end]]"},
      {"XMD5", &S::CmdRangeChecksum, true, 550,
       "Syntax: XMD5 <sp> \"<pathname>\" [<sp> start [<sp> end]]"},
      {"MD5", &S::CmdMd5, true, 504, "Syntax: MD5 <sp> <pathname>"},
      {"MMD5", &S::CmdMmd5, true, 504, "Syntax: MMD5 <sp> <pathname>[,<pathname>...]"},
      {"COMB", &S::CmdNotImplemented, true, 550,
       "Syntax: COMB <sp> \"<target>\" <sp> \"<part>\" [<sp> \"<part>\"...]", true},
      {"CLNT", &S::CmdNoted, false, 550, "Syntax: CLNT <sp> <client-name>"},
      {"MFMT", &S::CmdMfmt, true, 550, "Syntax: MFMT <sp> time-val <sp> <pathname>"},
      {"MFCT", &S::CmdNotImplemented, true, 550, "Syntax: MFCT <sp> time-val <sp> <pathname>",
       true},
      {"MFF", &S::CmdNotImplemented, true, 550, "Syntax: MFF <sp> facts <sp> <pathname>", true},
      {"AUTH", &S::CmdAuth, false, 501, "Syntax: AUTH <sp> mechanism", true},
      {"PBSZ", &S::CmdPbsz, false, 501, "Syntax: PBSZ <sp> size", true},
      {"PROT", &S::CmdProt, false, 501, "Syntax: PROT <sp> level", true},
      {"CCC", &S::CmdCcc, false, 501, "Syntax: CCC", true},
      {"SSCN", &S::CmdSscn, false, 501, "Syntax: SSCN [<sp> ON|OFF]", true},
      {"CPSV", &S::CmdCpsv, false, 501, "Syntax: CPSV", true},
      {"MIC", &S::CmdUnknown, false, 501, "Syntax: MIC <sp> data", true},
      {"CONF", &S::CmdUnknown, false, 501, "Syntax: CONF <sp> data", true},
      {"ENC", &S::CmdUnknown, false, 501, "Syntax: ENC <sp> data", true},
      {"MLFL", &S::CmdCommandNotImplemented, false, 0, "Syntax: MLFL", true},
      {"MAIL", &S::CmdCommandNotImplemented, false, 0, "Syntax: MAIL", true},
      {"MSND", &S::CmdCommandNotImplemented, false, 0, "Syntax: MSND", true},
      {"MSOM", &S::CmdCommandNotImplemented, false, 0, "Syntax: MSOM", true},
      {"MSAM", &S::CmdCommandNotImplemented, false, 0, "Syntax: MSAM", true},
      {"MRSQ", &S::CmdCommandNotImplemented, false, 0, "Syntax: MRSQ", true},
      {"MRCP", &S::CmdCommandNotImplemented, false, 0, "Syntax: MRCP", true},
  };
  for (const auto& entry : kCommands)
    Register(entry);
  RegisterSiteCommands();
}

std::function<void(Command&)> FtpServer::Guarded(Routine routine, bool login) {
  return [this, routine, login](Command& command) {
    if (login && !command.session.Authenticated()) {
      command.reply = Reply(530, "Not logged in.");
      return;
    }
    (this->*routine)(command, command.session);
  };
}

void FtpServer::Register(const CommandSpec& entry) {
  CommandHandler& handler = AddCommandHandler(entry.word);
  handler.description = {entry.syntax};
  handler.help_super_script = std::string(entry.unimplemented ? "*" : "");
  handler.help_visible = entry.visible;
  if (entry.exception_code != 0)
    handler.exception_reply.SetCode(entry.exception_code);
  handler.on_command = Guarded(entry.routine, entry.login);
}

std::string FtpServer::UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 32);
  }
  return upper;
}

Reply FtpServer::UnknownCommand(std::string_view line) const {
  const std::size_t end = line.find_first_of(" \t");
  std::string shown = UpperAscii(line.substr(0, end));
  if (end != std::string_view::npos)
    shown += line.substr(end);
  Reply reply = UnknownCommandReply();
  reply.SetText("'" + shown + "': command not understood.");
  return reply;
}

Reply FtpServer::NotImplemented(const Command& command) {
  return Reply(550, "\"" + command.handler.command + "\" Command not implemented.");
}

Reply FtpServer::ParameterError(const Command& command) {
  return Reply(501, "Error in parameters to " + command.handler.command);
}

void FtpServer::HandleUnknownCommand(FtpSession& session, const std::string& line) {
  SendReply(session, UnknownCommand(line));
}

void FtpServer::CommandFailed(FtpSession& session, const std::string& command,
                              const std::exception& failure) {
  host_.session.CommandFailed(session, command, failure);
}

void FtpServer::SessionFailed(Connection& connection, const std::exception& failure) {
  host_.session.SessionFailed(SessionOf(connection), failure);
}

void FtpServer::Refused(const platform::SocketAddress& peer, Refusal reason) {
  host_.session.ConnectionRefused(peer, reason);
}

void FtpServer::CmdQuit(Command& command, FtpSession&) {
  command.reply = Reply(221, "Goodbye.");
  command.disconnect = true;
}

void FtpServer::CmdRein(Command& command, FtpSession& session) {
  // Only the transfer settings start afresh; the login and the directory stay.
  session.SetDataType(FtpDataType::kAscii);
  session.SetDataStructure(FtpDataStructure::kFile);
  session.SetDataPort(0);
  session.SetPassiveMode(false);
  session.SetEPSVAll(false);
  session.SetDataChannel(nullptr);
  command.reply = Reply(220, "Service ready for new user.");
}

void FtpServer::CmdType(Command& command, FtpSession& session) {
  const std::string type = UpperAscii(command.unparsed_params);
  if (type == "A" || type == "I") {
    session.SetDataType(type == "A" ? FtpDataType::kAscii : FtpDataType::kBinary);
    command.reply = Reply(200, "Type set to " + type + ".");
  } else {
    command.reply = Reply(504, "Command not implemented for that parameter.");
  }
}

void FtpServer::CmdStru(Command& command, FtpSession& session) {
  const std::string structure = UpperAscii(command.unparsed_params);
  if (structure == "F") {
    session.SetDataStructure(FtpDataStructure::kFile);
  } else if (structure == "R") {
    session.SetDataStructure(FtpDataStructure::kRecord);
  } else if (structure == "P") {
    session.SetDataStructure(FtpDataStructure::kPage);
  } else {
    command.reply = Reply(504, "Command not implemented for that parameter.");
    return;
  }
  command.reply = Reply(200, "Structure set to " + structure + ".");
}

void FtpServer::CmdMode(Command& command, FtpSession& session) {
  // Deflate needs a compressor, and none is configured: only stream mode is offered.
  if (UpperAscii(command.unparsed_params) == "S") {
    session.SetDataMode(FtpDataMode::kStream);
    command.reply = Reply(200, "Mode set to S.");
  } else {
    command.reply = Reply(504, "Unimplemented mode.");
  }
}

void FtpServer::CmdAllo(Command& command, FtpSession& session) {
  const std::string argument = UpperAscii(command.unparsed_params);
  std::string size;
  if (argument.size() == 1) {
    size = argument;
  } else if (argument.starts_with("R ")) {
    size = argument.substr(2);
  } else {
    command.reply = Reply(504, "Command not implemented for that parameter.");
    return;
  }
  session.SetAlloSize(CountOrZero(size));
  command.reply = Reply(200, "ALLO Command successful.");
}

void FtpServer::CmdRest(Command& command, FtpSession& session) {
  session.SetRestartPosition(CountOrZero(command.unparsed_params));
  command.reply = Reply(350, "Requested file action pending further information.");
}

void FtpServer::CmdSuccessful(Command& command, FtpSession&) {
  command.reply = Reply(200, command.handler.command + " Command successful.");
}

void FtpServer::CmdAbor(Command& command, FtpSession& session) {
  // A running transfer sees ABOR itself; here at most a prepared channel is dropped.
  if (session.HasDataChannel()) {
    session.SetDataChannel(nullptr);
    command.reply = Reply(226, "Closing data connection.");
    return;
  }
  command.reply = Reply(226, "ABOR Command successful.");
}

void FtpServer::CmdNoted(Command& command, FtpSession&) {
  command.reply = Reply(200, "Noted.");
}

void FtpServer::CmdCommandNotImplemented(Command& command, FtpSession&) {
  command.reply = Reply(502, "\"" + command.handler.command + "\" Command not implemented.");
}

void FtpServer::CmdNotImplemented(Command& command, FtpSession&) {
  command.reply = NotImplemented(command);
}

void FtpServer::CmdUnknown(Command& command, FtpSession&) {
  command.reply = UnknownCommand(command.raw_line);
}

}  // namespace vantrel
