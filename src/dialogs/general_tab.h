#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace vantrel {

class SettingsFields;

// The settings dialog's "General" tab: the greeting, the ports and limits, the passive
// range and the program's start-up and closing behaviour. "Start at Login" is no setting
// but the system's start-up entry, so the dialog answers its clicks. Owned by the
// dialog's tabs; main thread only.
class GeneralTab : public QWidget {
  Q_OBJECT

 public:
  GeneralTab(SettingsFields& fields, QWidget* parent);

  // The first failing check's message, or an empty text.
  QString ValidationFailure() const;
  QCheckBox& start_at_login() const { return *start_at_login_; }

 private:
  QPlainTextEdit* greeting_;
  QLineEdit* server_port_;
  QLineEdit* data_port_;
  QCheckBox* start_at_login_;
};

}  // namespace vantrel
