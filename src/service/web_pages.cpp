#include "service/web_pages.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

#include "accounts/auto_ban.h"
#include "accounts/users.h"
#include "common/byte_size.h"
#include "common/connection_key.h"
#include "common/error.h"
#include "common/packed_list.h"
#include "config/address_pattern.h"
#include "config/settings.h"
#include "log/log_queue.h"
#include "log/metrics.h"
#include "log/statistics.h"
#include "net/connection.h"
#include "service/members.h"
#include "web/html_escape.h"
#include "web/http_request.h"
#include "web/http_response.h"
#include "web/http_session.h"
#include "web/request_origin.h"

namespace vantrel {
namespace {

constexpr std::chrono::milliseconds kReadTimeout{300000};
constexpr const char* kCrLf = "\r\n";
constexpr const char* kBackLink = "<br><a href=\"/\">Back</a><br>";
constexpr int kMemberCells = 7;
constexpr const char* kMetricsPath = "/metrics";

std::string Line(const std::string& text) {
  return text + kCrLf;
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

struct Permission {
  const char* param;
  const char* text;
  bool AccountFields::*flag;
};

// In the order of the forms' check boxes.
constexpr Permission kPermissions[] = {
    {"allowdownload", "Allow download", &AccountFields::allow_download},
    {"allowupload", "Allow upload", &AccountFields::allow_upload},
    {"allowrename", "Allow rename", &AccountFields::allow_rename},
    {"allowdeletefile", "Allow delete files", &AccountFields::allow_deletefile},
    {"allowchangedir", "Allow change directories", &AccountFields::allow_changedirectory},
    {"allowcreatedir", "Allow create directories", &AccountFields::allow_makedirectory},
    {"allowdeletedir", "Allow delete directories", &AccountFields::allow_deletedirectory},
};

struct TextField {
  const char* label;
  const char* type;
  const char* name;
};

constexpr TextField kAddFieldsBefore[] = {{"Username", "edit", "addnewmember"},
                                          {"Password", "password", "pass"},
                                          {"Home Directory", "edit", "home"}};
constexpr TextField kMemberFieldsBefore[] = {{"Username", "edit", "modifymember"},
                                             {"Password", "password", "pass"},
                                             {"Home Directory", "edit", "home"}};
constexpr TextField kFieldsAfter[] = {{"Virtual Directories", "edit", "virtualdir"},
                                      {"File Control", "edit", "filecontrol"}};

std::string RowStart(const std::string& label) {
  return "<tr bgcolor=#dddddd><td width=20%><font size=2 color=#000000>" + label +
         "</td><td bgcolor=#dddddd>";
}

std::string InputRow(const TextField& field, const std::string* value) {
  std::string row = RowStart(field.label) + "<input type=\"" + field.type +
                    "\" size=\"40\" name=\"" + field.name + "\"";
  if (value != nullptr)
    row += " value=\"" + EscapeHtml(*value) + "\"";
  return Line(row + "></td></tr>");
}

std::string SubmitRow(const std::string& caption) {
  return Line(RowStart("") + "<input type=\"submit\" value=\"" + caption + "\"></td></tr>");
}

std::string OptionsLabel(const Permission& permission) {
  return &permission == &kPermissions[0] ? "Options" : "";
}

std::string AddFormRows() {
  std::string rows;
  for (const auto& field : kAddFieldsBefore)
    rows += InputRow(field, nullptr);
  for (const auto& permission : kPermissions) {
    rows += Line(RowStart(OptionsLabel(permission)) +
                 "<font size=2 color=#000000><input type=\"checkbox\" CHECKED name=\"" +
                 permission.param + "\">" + permission.text + "</td></tr>");
  }
  for (const auto& field : kFieldsAfter)
    rows += InputRow(field, nullptr);
  return rows + SubmitRow("Add new member");
}

std::string MemberFormRows(const AccountFields& account) {
  const std::string* before[] = {&account.user, &account.pass, &account.home};
  const std::string* after[] = {&account.virtualdir, &account.filecontrol};
  std::string rows;
  for (std::size_t i = 0; i < std::size(kMemberFieldsBefore); ++i)
    rows += InputRow(kMemberFieldsBefore[i], before[i]);
  for (const auto& permission : kPermissions) {
    rows += Line(RowStart(OptionsLabel(permission)) + "<input type=\"checkbox\" " +
                 (account.*permission.flag ? "CHECKED" : "") + " name=\"" + permission.param +
                 "\"><font size=2 color=#000000>" + permission.text + "</td></tr>");
  }
  for (std::size_t i = 0; i < std::size(kFieldsAfter); ++i)
    rows += InputRow(kFieldsAfter[i], after[i]);
  return rows + SubmitRow("Modify member");
}

std::string LoginPage() {
  const auto row = [](const char* label, const char* type, const char* name) {
    return Line(std::string("<tr><td bgcolor=#dddddd width=20%><font size=2 color=#000000>") +
                label + "</td><td bgcolor=#dddddd><input type=\"" + type +
                "\" size=\"40\" name=\"" + name + "\"></td></tr>");
  };
  return Line("<font color=#0000ff>Login</font><br>") + Line("<table width=100%>") +
         Line("<form name=\"ftpserverloginform\" method=\"post\">") +
         row("Username", "edit", "username") + row("Password", "password", "password") +
         Line(
             "<tr><td colspan=2 bgcolor=#dddddd><input type=\"submit\" value=\"Try to "
             "login\"></td></tr>") +
         Line("</form>") + Line("</table>");
}

std::string StatisticsRow(const char* label, const std::string& value) {
  return Line(std::string("<tr><td width=25%><font size=2 color=#000000>") + label +
              "</td><td bgcolor=#dddddd><font size=2 color=#0000ff>" + value + "</td></tr>");
}

std::string MemberActionForm(const char* form, const char* param, const char* caption,
                             const std::string& name) {
  return std::string("<form name=\"") + form + "\" method=\"post\"><td width=4%>" +
         "<input type=\"hidden\" name=\"" + param + "\" value=\"" + EscapeHtml(name) + "\">" +
         "<input type=\"submit\" value=\"" + caption + "\"></td></form>";
}

std::string MemberRow(const AccountRow& account) {
  std::vector<std::string> cells = AccountCells(account);
  cells.resize(kMemberCells, "-");
  std::string row = "<tr>";
  for (std::size_t cell = 0; cell < cells.size(); ++cell) {
    // The password is there for the operator to select, not to be read over a shoulder.
    const char* colour = cell == 1 ? "#dddddd" : "#000000";
    row += std::string("<td bgcolor=#dddddd><font size=2 color=") + colour + ">" +
           EscapeHtml(cells[cell]) + "</td>";
  }
  const std::string& user = account.fields.user;
  if (user.empty()) {
    row += "<td bgcolor=#dddddd></td>";
  } else {
    row += MemberActionForm("viewmemberform", "viewmember", "View", user);
    row += MemberActionForm("deletememberform", "deletemember", "Delete", user);
  }
  return Line(row + "</tr>");
}

AccountFields FieldsFromForm(const std::string& name, const NameValueList& params) {
  AccountFields fields;
  fields.user = name;
  fields.pass = params.Value("pass");
  fields.home = params.Value("home");
  for (const auto& permission : kPermissions)
    fields.*permission.flag = !params.Value(permission.param).empty();
  fields.virtualdir = params.Value("virtualdir");
  fields.filecontrol = params.Value("filecontrol");
  fields.download = 0;
  fields.upload = 0;
  return fields;
}

struct Login {
  std::string user;
  std::string password;
};

// What a request asks the site to do. Only a POST may log in or change an account: a
// link or an image on any page can make a browser send a GET with the same fields.
struct Action {
  std::string login_user;  // non-empty: a login attempt
  std::string add;
  std::string modify;
  std::string view;
  std::string remove;
};

Action ActionOf(const HttpRequestInfo& request) {
  const NameValueList& params = request.params;
  Action action;
  action.view = params.Value("viewmember");
  if (request.command_type != HttpCommandType::kPost)
    return action;
  action.login_user = params.Value("username");
  action.add = params.Value("addnewmember");
  action.modify = params.Value("modifymember");
  action.remove = params.Value("deletemember");
  return action;
}

// The session's login, after a login attempt (a POST with a user name) has replaced it.
Login TakeLogin(HttpSession& session, const Action& action, const NameValueList& params) {
  return session.WithContent([&](NameValueList& content) {
    if (content.Empty()) {
      content.Add("username=");
      content.Add("password=");
    }
    if (!action.login_user.empty()) {
      content.SetValue("username", action.login_user);
      content.SetValue("password", params.Value("password"));
    }
    return Login{content.Value("username"), content.Value("password")};
  });
}

}  // namespace

WebPages::WebPages(const ServiceUnits& units, Members& members,
                   std::function<std::string()> metrics)
    : units_(units), members_(members), metrics_(std::move(metrics)) {}

void WebPages::Connect(Connection& context) {
  const std::string& ip = context.PeerAddress().ip;
  if (units_.settings.IsBanned(ip)) {
    units_.log.LogLine("HTTP> " + ip + "> Not allowed to Connect");
    throw Error("Not allowed to connect");
  }
  context.Socket().SetReadTimeout(kReadTimeout);
}

void WebPages::Exception(Connection&, const std::exception&) {}

std::string WebPages::Title() const {
  return EscapeHtml(units_.settings.Get(&SettingsData::servertitle));
}

bool WebPages::LoginHolds(const std::string& user, const std::string& password) const {
  // A name is required: an entry without "=" has an empty name, and a fresh session holds
  // an empty name, so without this check such an entry would admit every visitor.
  return !user.empty() && units_.settings.IsWebUser(user, password);
}

void WebPages::CommandGet(Connection& context, HttpRequestInfo& request,
                          HttpResponseInfo& response) {
  if (request.document == kMetricsPath) {
    MetricsPage(request.remote_ip, response);
    return;
  }
  if (!units_.settings.Get(&SettingsData::webinterfaceenabled)) {
    response.SetResponseNo(404);
    response.content_text = DefaultBody(404, response.response_text);
    return;
  }
  if (!request.session) {
    response.content_text =
        "<html><body><b>" + Title() + "</b><br>Error: Failed to create session</body></html>";
    return;
  }
  const std::string& ip = request.remote_ip;
  if (request.command_type == HttpCommandType::kPost && ComesFromOtherOrigin(request)) {
    units_.log.LogLine("HTTP> " + ip + "> refused a form sent from another site");
    response.SetResponseNo(403);
    response.content_text = DefaultBody(403, response.response_text);
    return;
  }
  const Action action = ActionOf(request);
  const Login login = TakeLogin(*request.session, action, request.params);
  std::string page;
  if (!LoginHolds(login.user, login.password)) {
    if (!action.login_user.empty()) {
      const auto& peer = context.PeerAddress();
      units_.auto_ban.RecordFailure(BanRule::kLogin, ConnectionKey(peer.ip, peer.port), login.user);
    }
    units_.log.LogLine("HTTP> " + ip + "> login");
    page = LoginPage();
  } else if (!action.add.empty()) {
    page = AddPage(request.params);
  } else if (!action.modify.empty()) {
    page = ModifyPage(request.params);
  } else if (!action.view.empty()) {
    page = ViewPage(ip, login.user, action.view);
  } else if (!action.remove.empty()) {
    page = DeletePage(action.remove);
  } else {
    page = MainPage(ip, login.user);
  }
  response.content_type = "text/html";
  response.content_text = Line("<html><body bgcolor=#ffffff><b>" + Title() + "</b><br>") +
                          Line("<hr>") + page + "</body></html>";
}

void WebPages::MetricsPage(const std::string& ip, HttpResponseInfo& response) {
  const std::vector<std::string> allowed =
      SplitPacked(units_.settings.Get(&SettingsData::metricsallowed));
  const auto matches = [&ip](const std::string& pattern) {
    return MatchAddressPattern(ip, pattern);
  };
  if (!metrics_ || std::none_of(allowed.begin(), allowed.end(), matches)) {
    units_.log.LogLine("HTTP> " + ip + "> metrics refused");
    response.SetResponseNo(403);
    response.content_text = DefaultBody(403, response.response_text);
    return;
  }
  response.content_type = kMetricsContentType;
  response.content_text = metrics_();
}

std::string WebPages::MainPage(const std::string& ip, const std::string& user) {
  units_.log.LogLine("HTTP> " + ip + ", " + user + " - main page");
  const Statistics& totals = units_.statistics;
  return Line("<font color=#0000ff>Server Statistics:</font><br>") + Line("<table width=100%>") +
         StatisticsRow("Connections", std::to_string(totals.GetConnections())) +
         StatisticsRow("Sessions", std::to_string(totals.GetSessions())) +
         StatisticsRow("Downloaded", FormatByteSize(totals.GetDownloaded())) +
         StatisticsRow("Uploaded", FormatByteSize(totals.GetUploaded())) + Line("</table>") +
         Line("<hr>") + Line("<font color=#0000ff>Members list:</font><br>") +
         Line("<table width=100%>") + MemberRows() + Line("</table>") + Line("<hr>") +
         Line("<font color=#0000ff>Add new member:</font><br>") + Line("<table width=100%>") +
         Line("<form name=\"addnewclientform\" method=\"post\">") + AddFormRows() +
         Line("</form>") + Line("</table>");
}

std::string WebPages::MemberRows() const {
  std::string rows;
  for (const AccountRow& account : units_.users.AccountRows())
    rows += MemberRow(account);
  return rows;
}

std::string WebPages::ViewPage(const std::string& ip, const std::string& user,
                               const std::string& name) {
  units_.log.LogLine("HTTP> " + ip + ", " + user + " - view member " + Quoted(name));
  const std::optional<AccountFields> account = units_.users.GetAccountByName(name);
  std::string page = Line("<font color=#0000ff>Member data:</font><br>");
  if (!account || account->user != name) {
    return page + "<font size=2 color=#ff0000>Failed to locate member " + EscapeHtml(name) +
           ".</font>" + Line(kBackLink);
  }
  return page + Line("<table width=1005><form name=\"modifyclientform\" method=\"post\">") +
         MemberFormRows(*account) + Line("</form>") + "</table>" +
         Line("<a href=\"/\">Back</a><br>");
}

std::string WebPages::AddPage(const NameValueList& params) {
  const std::string name = params.Value("addnewmember");
  const bool added = members_.Add(FieldsFromForm(name, params)).changed;
  const std::string result =
      added ? "<font size=2 color=#0000ff>New ftp member added (" + EscapeHtml(name) + ")"
            : std::string("<font size=2 color=#ff0000>Failed to add new ftp member");
  return result + Line(kBackLink);
}

std::string WebPages::ModifyPage(const NameValueList& params) {
  const std::string name = params.Value("modifymember");
  const bool modified = members_.Update(name, FieldsFromForm(name, params)).changed;
  const std::string shown = Quoted(EscapeHtml(name));
  const std::string result =
      modified ? "<font size=2 color=#0000ff>Ftp member " + shown + " modified succesfully."
               : "<font size=2 color=#ff0000>Failed to modify ftp member " + shown;
  return result + Line(kBackLink);
}

std::string WebPages::DeletePage(const std::string& name) {
  const bool deleted = members_.Remove(name).changed;
  const std::string shown = EscapeHtml(name);
  const std::string result =
      deleted ? "<font size=2 color=#0000ff>Ftp member " + shown + " deleted.</font>"
              : "<font size=2 color=#ff0000>Failed to delete Ftp member " + shown + ".</font>";
  return result + Line(kBackLink);
}

}  // namespace vantrel
