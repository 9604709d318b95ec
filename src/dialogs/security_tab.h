#pragma once

#include <QWidget>
#include <string>

class QFormLayout;
class QLayout;
class QLineEdit;

namespace vantrel {

class DialogPrompts;
class SettingsFields;
struct SettingsData;

// The settings dialog's "Security" tab: when connections are encrypted, on which extra
// port TLS starts at connect, the certificate and key files (with pickers), what data
// connections must do, HTTPS for the web site, and the load balancers trusted to name
// their clients. Owned by the dialog's tabs; main thread only.
class SecurityTab : public QWidget {
  Q_OBJECT

 public:
  // The file pickers open in `data_directory` while their edit is empty.
  SecurityTab(SettingsFields& fields, DialogPrompts& prompts, std::string data_directory,
              QWidget* parent);

  // The first failing check's message, or an empty text. `edited` holds every tab's
  // values, since the implicit port must not take a port another tab gives out.
  QString ValidationFailure(const SettingsData& edited) const;

 private:
  // The PROXY protocol switch and the balancers it trusts.
  void AddBalancerRows(SettingsFields& fields, QFormLayout& form);
  // The edit bound to `field` with its Browse button.
  QLayout* FileRow(SettingsFields& fields, const char* name, std::string SettingsData::*field,
                   const char* browse_name, const QString& caption);
  void Browse(QLineEdit& edit, const QString& caption);

  DialogPrompts& prompts_;
  const std::string data_directory_;
};

}  // namespace vantrel
