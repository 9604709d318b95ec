#include "dialogs/general_tab.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "dialogs/settings_fields.h"
#include "widgets/controls.h"

namespace vantrel {
namespace {

constexpr int kMaxPort = 65535;

}  // namespace

GeneralTab::GeneralTab(SettingsFields& fields, QWidget* parent)
    : QWidget(parent),
      greeting_(fields.Lines("greetingText", &SettingsData::greetingtext, this)),
      server_port_(fields.Number("serverPort", &SettingsData::serverport, this)),
      data_port_(fields.Number("dataPort", &SettingsData::dataport, this)),
      start_at_login_(new QCheckBox("Start at Login", this)) {
  auto* form = new QFormLayout(this);
  greeting_->setMaximumHeight(70);
  form->addRow("Greeting Text:", greeting_);
  form->addRow("Server port (21):", server_port_);
  form->addRow("Data Port (20):", data_port_);
  form->addRow("Max client count:",
               fields.Number("maxClientCount", &SettingsData::maxclientcount, this));
  QLineEdit* per_address =
      fields.Number("maxClientsPerAddress", &SettingsData::maxclientsperaddress, this);
  per_address->setToolTip("Connections one address may hold at once; 0 for no limit");
  form->addRow("Max clients per address:", per_address);
  auto* reply = fields.Lines("maxClientCountReply", &SettingsData::maxclientcountreply, this);
  reply->setMaximumHeight(50);
  form->addRow("Max Connection Count Reply:", reply);
  form->addRow("Passive mode Ip address:",
               fields.Text("pasvIpAddr", &SettingsData::pasvipaddr, this));
  form->addRow("Port range start:",
               fields.Number("pasvRangeStart", &SettingsData::pasvrangestart, this));
  form->addRow("Range length:", fields.Number("pasvRangeSize", &SettingsData::pasvrangesize, this));

  form->addRow(
      fields.Check("Do not Confirm Close", "confirmExit", &SettingsData::confirmexit, this));
  start_at_login_->setObjectName("startAtLogin");
  start_at_login_->setToolTip("Launch ftp server automatically on login");
  form->addRow(start_at_login_);
  form->addRow(fields.Check("Start FTP Server on Program Startup", "startOnStartup",
                            &SettingsData::startonstartup, this));
  QCheckBox* minimized =
      fields.Check("Start Minimized,", "startMinimized", &SettingsData::startminimized, this);
  minimized->setToolTip("Minimize application on startup");
  form->addRow(minimized);
  form->addRow(fields.Check("Show trayicon (if not, Restore on Another Instance)", "showTrayIcon",
                            &SettingsData::showtrayicon, this));
}

QString GeneralTab::ValidationFailure() const {
  // A port the system cannot bind is as invalid as 0.
  const int server_port = NumberIn(*server_port_);
  if (server_port < 1 || server_port > kMaxPort)
    return "Invalid server port setting!";
  const int data_port = NumberIn(*data_port_);
  if (data_port < 1 || data_port > kMaxPort)
    return "Invalid data port setting!";
  if (greeting_->toPlainText().trimmed().isEmpty())
    return "Invalid greetings text!";
  return QString();
}

}  // namespace vantrel
