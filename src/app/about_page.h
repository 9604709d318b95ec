#pragma once

#include <QWidget>

#include "app/branding.h"

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantrel {

struct AboutFigures {
  QString online;
  QString connections;
  QString sessions;
  QString downloaded;
  QString uploaded;
};

// The "About.." tab: title, version and build date, credits, the running totals and the
// update server's name with its two buttons. Owned by the main window's tabs; main thread
// only. It shows what it is given and reports the buttons.
class AboutPage : public QWidget {
  Q_OBJECT

 public:
  explicit AboutPage(QWidget* parent = nullptr);

  void SetTitle(const QString& title);
  void SetVersion(const QString& version, const QString& date);
  // Without a branding file both credit lines are empty.
  void ApplyBranding(const std::optional<Branding>& branding);
  void ShowFigures(const AboutFigures& figures);
  QString UpdateServer() const;

 signals:
  void CheckForUpdateClicked();
  void GoToClicked();

 private:
  QWidget* CreateBanner();
  QWidget* CreateFigures();
  QWidget* CreateUpdateRow();

  QLabel* title_ = nullptr;
  QLabel* logo_ = nullptr;
  QLabel* version_ = nullptr;
  QLabel* date_ = nullptr;
  QLabel* company_ = nullptr;
  QLabel* author_ = nullptr;
  QLabel* online_ = nullptr;
  QLabel* connections_ = nullptr;
  QLabel* sessions_ = nullptr;
  QLabel* downloaded_ = nullptr;
  QLabel* uploaded_ = nullptr;
  QLineEdit* update_server_ = nullptr;
  QPushButton* check_for_update_ = nullptr;
};

}  // namespace vantrel
