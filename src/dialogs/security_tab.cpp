#include "dialogs/security_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "common/packed_list.h"
#include "config/address_pattern.h"
#include "dialogs/dialog_prompts.h"
#include "dialogs/settings_fields.h"
#include "widgets/controls.h"

namespace vantrel {
namespace {

constexpr int kMaxPort = 65535;
constexpr int kBalancerListHeight = 60;  // a few addresses

// In the order of the tlsmode values.
const QStringList kModes = {
    "Off",
    "Offered (clients may switch with AUTH TLS)",
    "Required for every login but anonymous",
    "Required for every login",
};

}  // namespace

SecurityTab::SecurityTab(SettingsFields& fields, DialogPrompts& prompts, std::string data_directory,
                         QWidget* parent)
    : QWidget(parent), prompts_(prompts), data_directory_(std::move(data_directory)) {
  auto* form = new QFormLayout(this);
  form->addRow("Encryption (TLS):", fields.Choice("tlsMode", kModes, &SettingsData::tlsmode, this));
  QLineEdit* implicit = fields.Number("tlsImplicitPort", &SettingsData::tlsimplicitport, this);
  implicit->setToolTip("A port where TLS starts at connect (commonly 990); 0 for none");
  form->addRow("Implicit TLS port (990):", implicit);
  form->addRow("Certificate file (PEM):", FileRow(fields, "tlsCertFile", &SettingsData::tlscertfile,
                                                  "browseTlsCertFile", "TLS Certificate File"));
  form->addRow("Private key file (PEM):", FileRow(fields, "tlsKeyFile", &SettingsData::tlskeyfile,
                                                  "browseTlsKeyFile", "TLS Private Key File"));
  auto* own = new QLabel(
      "With both files empty, the server creates a self-signed certificate in its data "
      "directory and logs its fingerprint.",
      this);
  own->setWordWrap(true);
  form->addRow(own);
  form->addRow(fields.Check("Data connections must be encrypted (PROT P)", "tlsRequireProtP",
                            &SettingsData::tlsrequireprotp, this));
  QCheckBox* reuse = fields.Check("Data connections must resume the login's TLS session",
                                  "tlsSessionReuse", &SettingsData::tlssessionreuse, this);
  reuse->setToolTip(
      "Keeps strangers off the passive ports; turn off only for old clients that cannot "
      "resume sessions");
  form->addRow(reuse);
  form->addRow(fields.Check("Web interface over HTTPS (same certificate)", "webInterfaceHttps",
                            &SettingsData::webinterfacehttps, this));
  AddBalancerRows(fields, *form);
}

void SecurityTab::AddBalancerRows(SettingsFields& fields, QFormLayout& form) {
  QCheckBox* proxy = fields.Check("Load balancers name their clients (PROXY protocol)",
                                  "proxyProtocol", &SettingsData::proxyprotocol, this);
  proxy->setToolTip(
      "Connections from the addresses below must begin with a PROXY header; everyone else "
      "is served as a direct client");
  form.addRow(proxy);
  QPlainTextEdit* trusted = fields.Lines("proxyTrusted", &SettingsData::proxytrusted, this);
  trusted->setMaximumHeight(kBalancerListHeight);
  form.addRow("Load balancers:", trusted);
}

QLayout* SecurityTab::FileRow(SettingsFields& fields, const char* name,
                              std::string SettingsData::*field, const char* browse_name,
                              const QString& caption) {
  QLineEdit* edit = fields.Text(name, field, this);
  auto* browse = NamedButton("Browse", browse_name, this);
  connect(browse, &QPushButton::clicked, this, [this, edit, caption] { Browse(*edit, caption); });
  auto* row = new QHBoxLayout();
  row->addWidget(edit, 1);
  row->addWidget(browse);
  return row;
}

void SecurityTab::Browse(QLineEdit& edit, const QString& caption) {
  const QString start = edit.text().isEmpty() ? QString::fromStdString(data_directory_)
                                              : QFileInfo(edit.text()).path();
  const QString path = prompts_.OpenFileName(
      this, {caption, start, edit.text(), "PEM files (*.pem *.crt *.key)", ""});
  if (!path.isEmpty())
    edit.setText(path);
}

QString SecurityTab::ValidationFailure(const SettingsData& edited) const {
  if (edited.tlsmode < 0 || edited.tlsmode >= kModes.size())
    return "Invalid encryption mode setting!";
  const int implicit = edited.tlsimplicitport;
  if (implicit < 0 || implicit > kMaxPort)
    return "Invalid implicit TLS port setting!";
  if (implicit != 0 && (implicit == edited.serverport || implicit == edited.webinterfaceport))
    return "Implicit TLS port must differ from the server and web interface ports!";
  if (edited.tlscertfile.empty() != edited.tlskeyfile.empty())
    return "Give both a certificate file and a key file, or neither!";
  const std::vector<std::string> balancers = SplitPacked(edited.proxytrusted);
  for (const std::string& item : balancers) {
    if (ReachOfPattern(item).kind == PatternReach::Kind::kNothing)
      return "Invalid load balancer address: " + QString::fromStdString(item) + "!";
  }
  if (edited.proxyprotocol && balancers.empty())
    return "Name the load balancers that send PROXY headers!";
  return QString();
}

}  // namespace vantrel
