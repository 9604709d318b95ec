// Commands about single files and directories. The engine hands the client's path to the
// host as written; the host resolves it, decides and touches the disk.

#include "accounts/ftp_path.h"
#include "common/text.h"
#include "ftp/ftp_server.h"
#include "ftp/ftp_time.h"
#include "ftp/transfer_control.h"

namespace vantrel {
namespace {

constexpr const char* kFileActionDone = "Requested file action okay, completed.";
// Each name costs a whole file's read; a longer list is refused rather than read.
constexpr std::size_t kMaxChecksumNames = 16;

// Words separated by blanks; a word in double quotes may hold blanks (an unclosed quote
// runs to the end).
std::vector<std::string> SplitQuotedWords(std::string_view text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ' || text[i] == '\t') {
      ++i;
      continue;
    }
    if (text[i] == '"') {
      const std::size_t close = text.find('"', i + 1);
      const std::size_t end = close == std::string_view::npos ? text.size() : close;
      words.emplace_back(text.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    const std::size_t end = std::min(text.find_first_of(" \t", i), text.size());
    words.emplace_back(text.substr(i, end - i));
    i = end;
  }
  return words;
}

// A whole-parameter file name, optionally in double quotes.
std::string_view Unquoted(std::string_view text) {
  text = Trim(text);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

std::int64_t NumberOrZero(const std::vector<std::string>& words, std::size_t index) {
  if (index >= words.size())
    return 0;
  const auto value = ParseInteger(words[index]);
  return value && *value > 0 ? *value : 0;
}

}  // namespace

std::optional<std::string> FtpServer::FileChecksum(FtpSession& session, std::string_view name,
                                                   ChecksumKind kind, std::int64_t start,
                                                   std::int64_t count, TransferControl& control) {
  const DescriptorGrant file = Reserve(session, DescriptorUse::kFile, 1);
  std::unique_ptr<FtpStream> stream =
      host_.files.OpenForChecksum(session, name, start == 0 && count < 0);
  if (!stream)
    return std::nullopt;
  // Watched between blocks as a transfer is: reading a large file must not outlast the
  // client's ABOR or the client itself.
  return StreamChecksum(*stream, kind, start, count, [&control] {
    control.Check();
    return !control.ShouldStop();
  });
}

bool FtpServer::EndStoppedChecksum(Command& command, FtpSession& session,
                                   const TransferControl& control) {
  if (!control.ShouldStop())
    return false;
  command.perform_reply = false;
  if (control.Lost()) {
    session.Disconnect();
    return true;
  }
  SendReply(session, Reply(426, "Checksum aborted."));
  SendReply(session, Reply(226, "ABOR Command successful."));
  return true;
}

void FtpServer::CmdSize(Command& command, FtpSession& session) {
  if (command.unparsed_params.empty()) {
    command.reply = ParameterError(command);
    return;
  }
  const std::optional<std::int64_t> size = host_.files.FileSize(session, command.unparsed_params);
  command.reply = size ? Reply(213, std::to_string(*size)) : Reply(550, kLocalError);
}

void FtpServer::CmdMdtm(Command& command, FtpSession& session) {
  const std::string& parameter = command.unparsed_params;
  if (parameter.empty()) {
    command.reply = ParameterError(command);
    return;
  }
  const std::size_t space = parameter.find(' ');
  const auto time = ParseTimestamp(std::string_view(parameter).substr(0, space));
  // "MDTM time file" asks to set the time, unless a file's whole name starts with one.
  if (time && space != std::string::npos && !host_.files.FileExists(session, parameter)) {
    host_.files.SetModifiedTime(session, parameter.substr(space + 1), *time);
    command.reply = Reply(253, "Date/time changed okay.");
    return;
  }
  const std::optional<DateTime> date = host_.files.FileTime(session, parameter);
  command.reply = date ? Reply(213, FormatUtcTimestamp(*date)) : Reply(550, kLocalError);
}

void FtpServer::CmdMfmt(Command& command, FtpSession& session) {
  const std::string& parameter = command.unparsed_params;
  const std::size_t space = parameter.find(' ');
  const std::string stamp = parameter.substr(0, space);
  const std::string name = space == std::string::npos ? "" : parameter.substr(space + 1);
  const auto time = ParseTimestamp(stamp);
  if (!time || name.empty()) {
    command.reply = ParameterError(command);
    return;
  }
  host_.files.SetModifiedTime(session, name, *time);
  command.reply = Reply(213, "Modify=" + stamp + " " + name);
}

void FtpServer::CmdRnfr(Command& command, FtpSession& session) {
  if (command.unparsed_params.empty()) {
    command.reply = ParameterError(command);
    return;
  }
  // Kept as the absolute path it names now: a CWD before the RNTO must not move it.
  const auto source = ResolveFtpPath(session.CurrentDir(), command.unparsed_params);
  session.SetRenameFrom(source ? source->Text() : command.unparsed_params);
  command.reply = Reply(350, "Requested file action pending further information.");
}

void FtpServer::CmdRnto(Command& command, FtpSession& session) {
  // A rename source serves one RNTO only; without one the host would be asked to move
  // the current directory.
  const std::string from = session.RenameFrom();
  session.SetRenameFrom("");
  if (from.empty()) {
    command.reply = Reply(503, "Bad sequence of commands.");
    return;
  }
  if (command.unparsed_params.empty()) {
    command.reply = ParameterError(command);
    return;
  }
  // A move to another file system copies: the file and its copy are open at once.
  const DescriptorGrant files = Reserve(session, DescriptorUse::kFile, 2);
  host_.files.RenameFile(session, from, command.unparsed_params);
  command.reply = Reply(250, "Ok");
}

void FtpServer::CmdDele(Command& command, FtpSession& session) {
  if (!session.Authenticated()) {
    command.reply = Reply(550, "Requested file action not taken.");
    return;
  }
  if (command.unparsed_params.empty()) {
    command.reply = ParameterError(command);
    return;
  }
  host_.files.DeleteFile(session, command.unparsed_params);
  command.reply = Reply(250, kFileActionDone);
}

void FtpServer::CmdMkd(Command& command, FtpSession& session) {
  if (command.unparsed_params.empty()) {
    command.reply = ParameterError(command);
    return;
  }
  const std::string path = host_.files.MakeDirectory(session, command.unparsed_params);
  // The path in the reply is how a client learns where the directory went.
  command.reply = Reply(257, QuotedPathname(path) + " created.");
}

void FtpServer::CmdRmd(Command& command, FtpSession& session) {
  if (command.unparsed_params.empty()) {
    command.reply = ParameterError(command);
    return;
  }
  host_.files.RemoveDirectory(session, command.unparsed_params);
  command.reply = Reply(250, kFileActionDone);
}

void FtpServer::CmdRangeChecksum(Command& command, FtpSession& session) {
  const std::vector<std::string> words = SplitQuotedWords(command.unparsed_params);
  if (words.empty() || words[0].empty()) {
    command.reply = ParameterError(command);
    return;
  }
  // "start end" name a range of positions: the bytes from start up to, not including,
  // end. No end (or 0) means up to the end of the file; no numbers, the whole file.
  const std::int64_t start = NumberOrZero(words, 1);
  const std::int64_t end = NumberOrZero(words, 2);
  if (end != 0 && end <= start) {
    command.reply = ParameterError(command);
    return;
  }
  const ChecksumKind kind =
      command.handler.command == "XCRC" ? ChecksumKind::kCrc32 : ChecksumKind::kMd5;
  TransferControl control(session, StatusReply(session));
  const auto checksum =
      FileChecksum(session, words[0], kind, start, end == 0 ? -1 : end - start, control);
  if (EndStoppedChecksum(command, session, control))
    return;
  command.reply = checksum ? Reply(250, *checksum) : Reply(550, kLocalError);
}

void FtpServer::CmdMd5(Command& command, FtpSession& session) {
  const std::string name(Unquoted(command.unparsed_params));
  if (name.empty()) {
    command.reply = ParameterError(command);
    return;
  }
  TransferControl control(session, StatusReply(session));
  const auto checksum = FileChecksum(session, name, ChecksumKind::kMd5, 0, -1, control);
  if (EndStoppedChecksum(command, session, control))
    return;
  command.reply = checksum ? Reply(251, name + " " + *checksum) : Reply(550, kLocalError);
}

void FtpServer::CmdMmd5(Command& command, FtpSession& session) {
  std::vector<std::string> names;
  std::string_view rest = command.unparsed_params;
  for (;;) {
    const std::size_t comma = rest.find(',');
    names.emplace_back(Unquoted(rest.substr(0, comma)));
    if (names.back().empty()) {
      command.reply = ParameterError(command);
      return;
    }
    if (comma == std::string_view::npos)
      break;
    if (names.size() == kMaxChecksumNames) {
      command.reply =
          Reply(501, "MMD5 takes at most " + std::to_string(kMaxChecksumNames) + " file names");
      return;
    }
    rest.remove_prefix(comma + 1);
  }
  TransferControl control(session, StatusReply(session));
  std::string text;
  for (const auto& name : names) {
    const auto checksum = FileChecksum(session, name, ChecksumKind::kMd5, 0, -1, control);
    if (EndStoppedChecksum(command, session, control))
      return;
    if (!checksum) {
      command.reply = Reply(550, kLocalError);
      return;
    }
    text += (text.empty() ? "" : ", ") + name + " " + *checksum;
  }
  command.reply = Reply(252, text);
}

}  // namespace vantrel
