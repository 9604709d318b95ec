// Commands that describe the server and the session: HELP, FEAT, SYST, STAT, OPTS, SITE.

#include <algorithm>

#include "common/text.h"
#include "ftp/ftp_server.h"
#include "ftp/ftp_time.h"

namespace vantrel {
namespace {

// HELP lays words out in columns of this width, this many to a row, indented by four
// spaces: 74 characters, so a row with its "214-" stays inside 80 columns.
constexpr std::size_t kHelpColumnWidth = 10;
constexpr std::size_t kHelpColumns = 7;

std::vector<std::string> ColumnRows(const std::vector<std::string>& words) {
  std::vector<std::string> rows;
  for (std::size_t i = 0; i < words.size(); i += kHelpColumns) {
    std::string row = "    ";
    for (std::size_t j = i; j < std::min(i + kHelpColumns, words.size()); ++j) {
      std::string cell = words[j];
      cell.resize(std::max(kHelpColumnWidth, cell.size() + 1), ' ');
      row += cell;
    }
    row.erase(row.find_last_not_of(' ') + 1);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

void FtpServer::CmdHelp(Command& command, FtpSession&) {
  const std::string& topic = command.unparsed_params;
  if (!topic.empty()) {
    for (const auto& handler : Handlers()) {
      if (EqualsIgnoreCase(handler.command, topic)) {
        command.reply = Reply(214, handler.description);
        return;
      }
    }
    command.reply = Reply(502, "Unknown command " + topic + ".");
    return;
  }
  std::vector<std::string> words;
  for (const auto& handler : Handlers()) {
    if (handler.help_visible)
      words.push_back(handler.command + handler.help_super_script);
  }
  std::sort(words.begin(), words.end());
  std::vector<std::string> lines = {
      "The following commands are recognized (* => unimplemented, + => extension)."};
  for (auto& row : ColumnRows(words))
    lines.push_back(std::move(row));
  if (!end_of_help_line_.empty())
    lines.push_back(end_of_help_line_);
  command.reply = Reply(214, std::move(lines));
}

void FtpServer::CmdFeat(Command& command, FtpSession& session) {
  std::vector<std::string> lines = {"Extensions supported:"};
  const bool tls = TlsOffered(session);
  const auto add = [&lines, tls](std::initializer_list<const char*> features, bool tls_only) {
    if (tls || !tls_only)
      lines.insert(lines.end(), features.begin(), features.end());
  };
  add({"AUTH TLS;AUTH TLS-C;SSL;TLS-P;", "CCC", "CPSV"}, true);
  add({"EPRT", "EPSV", "LIST -laT", "MDTM YYYYMMDDHHMMSS filename", "MFMT", "MLSD"}, false);
  lines.push_back(FormatMlstFeature(MlstFacts::Basic().Union(mlsd_facts_), session.MLSTFacts()));
  add({"PBSZ", "PROT"}, true);
  add({"REST STREAM", "SITE ZONE", "SIZE", "SPSV"}, false);
  add({"SSCN"}, true);
  add({"STAT -laT", "TVFS", "UTF8", "XCRC filename;start;end", "XMD5 filename;start;end",
       "Compliance Level: 20020901 (IETF mlst-16)"},
      false);
  lines.emplace_back("End of extentions.");
  command.reply = Reply(211, std::move(lines), ReplyFormat::kIndented);
}

void FtpServer::CmdSyst(Command& command, FtpSession& session) {
  if (session.SecurityOptions().disable_syst_command) {
    command.reply = NotImplemented(command);
    return;
  }
  command.reply = Reply(215, "UNIX Type: L8");
}

void FtpServer::CmdStat(Command& command, FtpSession& session) {
  if (!command.unparsed_params.empty()) {
    StatPath(command, session);
    return;
  }
  if (session.SecurityOptions().disable_stat_command) {
    command.reply = NotImplemented(command);
    return;
  }
  command.reply = Reply(211, "End of Status");
}

void FtpServer::CmdOpts(Command& command, FtpSession& session) {
  const std::string& parameter = command.unparsed_params;
  const std::size_t space = parameter.find(' ');
  const std::string option = UpperAscii(parameter.substr(0, space));
  if (option == "UTF8") {
    OptsUtf8(command, space == std::string::npos ? "" : parameter.substr(space + 1));
    return;
  }
  if (option != "MLST") {
    command.reply = Reply(501, "Option not recognized.");
    return;
  }
  const std::string facts = space == std::string::npos ? "" : parameter.substr(space + 1);
  if (facts.find(' ') != std::string::npos) {
    command.reply = Reply(501, "Invalid MLST options");
    return;
  }
  session.SetMLSTFacts(SelectMlstFacts(facts, MlstFacts::Basic().Union(mlsd_facts_)));
  command.reply = Reply(200, "MLST OPTS " + FormatMlstSelection(session.MLSTFacts()));
}

void FtpServer::OptsUtf8(Command& command, std::string_view setting) {
  // Names travel as the bytes the client sends and the disk holds, which is UTF-8 on this
  // system already: "on" changes nothing, and "off" would promise a conversion that
  // never happens.
  const std::string value = UpperAscii(Trim(setting));
  if (value == "ON")
    command.reply = Reply(200, "UTF8 set to on");
  else if (value == "OFF")
    command.reply = Reply(504, "UTF8 cannot be turned off");
  else
    command.reply = Reply(501, "Invalid UTF8 options");
}

void FtpServer::RegisterSiteCommands() {
  struct SiteSpec {
    const char* word;
    Routine routine;
    bool login;
  };
  static const SiteSpec kSite[] = {
      {"HELP", &FtpServer::SiteHelp, true},
      {"ZONE", &FtpServer::SiteZone, false},
  };
  for (const auto& entry : kSite) {
    CommandHandler& handler = site_handlers_.emplace_back();
    handler.command = entry.word;
    handler.on_command = Guarded(entry.routine, entry.login);
  }
}

void FtpServer::CmdSite(Command& command, FtpSession&) {
  const std::string& line = command.unparsed_params;
  for (const auto& handler : site_handlers_) {
    Command sub(command.session, handler);
    if (!handler.Matches(line, sub.unparsed_params))
      continue;
    sub.raw_line = line;
    handler.on_command(sub);
    command.reply = sub.reply;
    return;
  }
  command.reply = UnknownCommand(line.empty() ? "SITE" : "SITE " + line);
}

void FtpServer::SiteHelp(Command& command, FtpSession&) {
  std::vector<std::string> lines = {"The following SITE commands are supported:"};
  for (auto& row : ColumnRows({"ZONE"}))
    lines.push_back(std::move(row));
  command.reply = Reply(214, std::move(lines));
}

void FtpServer::SiteZone(Command& command, FtpSession&) {
  const int offset = UtcOffsetMinutes(clock_.Now());
  command.reply = Reply(210, (offset >= 0 ? "UTC+" : "UTC") + std::to_string(offset));
}

}  // namespace vantrel
