#include "dialogs/list_tabs.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <variant>

#include "common/packed_list.h"
#include "config/address_pattern.h"
#include "dialogs/settings_fields.h"

namespace vantrel {
namespace {

constexpr int kSentenceNumberWidth = 60;
constexpr int kAllowedListHeight = 60;  // a few addresses; the admin list takes the room

// A row of words with number edits among them: the limits sit inside the sentence that
// explains them.
void AddSentence(QVBoxLayout& layout, QWidget* parent,
                 std::initializer_list<std::variant<const char*, QLineEdit*>> parts) {
  auto* row = new QHBoxLayout();
  for (const auto& part : parts) {
    if (const auto* text = std::get_if<const char*>(&part)) {
      row->addWidget(new QLabel(*text, parent));
    } else {
      QLineEdit* edit = std::get<QLineEdit*>(part);
      edit->setMaximumWidth(kSentenceNumberWidth);
      row->addWidget(edit);
    }
  }
  row->addStretch();
  layout.addLayout(row);
}

QWidget* CreateAutoBanBox(SettingsFields& fields, QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(fields.Check("Enable auto-ban with following options:", "autoBan",
                                 &SettingsData::autoban, box));
  AddSentence(*layout, box,
              {"Add IP to banned list if it tries to download not existing file more than",
               fields.Number("autoBanDownloads", &SettingsData::autoban_downloads, box)});
  AddSentence(*layout, box,
              {"times, tries to login more than",
               fields.Number("autoBanLogins", &SettingsData::autoban_logins, box), "times or"});
  AddSentence(*layout, box,
              {"tries to make/remove/change directory",
               fields.Number("autoBanMkdir", &SettingsData::autoban_mkdir, box), "times within",
               fields.Number("autoBanMinutes", &SettingsData::autoban_minutes, box), "minutes."});
  return box;
}

}  // namespace

QWidget* CreateWebTab(SettingsFields& fields, QWidget* parent) {
  auto* page = new QWidget(parent);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(fields.Check("Web interface enabled", "webInterfaceEnabled",
                                 &SettingsData::webinterfaceenabled, page));
  auto* form = new QFormLayout();
  form->addRow("Authorization port:",
               fields.Number("webInterfacePort", &SettingsData::webinterfaceport, page));
  auto* timeout_row = new QHBoxLayout();
  timeout_row->addWidget(
      fields.Number("webInterfaceSessionTimeout", &SettingsData::webinterfacesessiontimeout, page));
  timeout_row->addWidget(new QLabel("milliseconds", page));
  timeout_row->addStretch();
  form->addRow("Session timeout:", timeout_row);
  form->addRow("Server Title:", fields.Text("serverTitle", &SettingsData::servertitle, page));
  layout->addLayout(form);
  layout->addWidget(
      fields.List("webInterfaceUsers", {"Admin user list:", "User name:", "Password:"},
                  &SettingsData::webinterfaceusers, page),
      1);
  layout->addWidget(fields.Check("Metrics at /metrics (also with the web interface off)",
                                 "metricsEnabled", &SettingsData::metricsenabled, page));
  auto* metrics_form = new QFormLayout();
  auto* allowed = fields.Lines("metricsAllowed", &SettingsData::metricsallowed, page);
  allowed->setMaximumHeight(kAllowedListHeight);
  metrics_form->addRow("Metrics allowed to:", allowed);
  layout->addLayout(metrics_form);
  return page;
}

QString WebTabValidationFailure(const SettingsData& edited) {
  for (const std::string& item : SplitPacked(edited.metricsallowed)) {
    if (ReachOfPattern(item).kind == PatternReach::Kind::kNothing)
      return "Invalid address for the metrics: " + QString::fromStdString(item) + "!";
  }
  return QString();
}

QWidget* CreateBannedTab(SettingsFields& fields, QWidget* parent) {
  auto* page = new QWidget(parent);
  auto* layout = new QVBoxLayout(page);
  PackedListEditor::Rules rules{"Banned Addresses:", "Address:", "Reason:"};
  rules.value_required = false;
  layout->addWidget(fields.List("bannedList", rules, &SettingsData::bannedlist, page), 1);
  layout->addWidget(CreateAutoBanBox(fields, page));
  return page;
}

QWidget* CreateFileControlTab(SettingsFields& fields, QWidget* parent) {
  auto* page = new QWidget(parent);
  auto* layout = new QVBoxLayout(page);
  PackedListEditor::Rules rules{"Prevent uploading files of type:", "Extension:", QString()};
  rules.delete_needs_key = true;
  layout->addWidget(fields.List("preventUploads", rules, &SettingsData::preventuploads, page), 1);
  return page;
}

}  // namespace vantrel
