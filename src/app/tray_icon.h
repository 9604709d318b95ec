#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <array>

#include "widgets/status_icons.h"

class QMenu;
class QSystemTrayIcon;

namespace vantrel {

// The notification-area icon with its hint and menu ("Restore", "Start", "Stop", "Exit",
// "Cancel"). It only reports what the operator chose; the main window acts. Owned by the
// main window; main thread only. Where the desktop has no notification area the state is
// kept all the same, so the window behaves alike everywhere.
class TrayIcon : public QObject {
  Q_OBJECT

 public:
  explicit TrayIcon(QObject* parent = nullptr);
  ~TrayIcon() override;

  void SetStatus(int icon_index, const QString& hint);
  int IconIndex() const { return icon_index_; }
  QString Hint() const { return hint_; }

  void SetVisible(bool visible);
  bool IsVisible() const { return visible_; }

 signals:
  void RestoreRequested();
  void StartRequested();
  void StopRequested();
  void ExitRequested();

 private:
  QSystemTrayIcon* icon_;
  QMenu* menu_;
  std::array<QIcon, kStatusIconCount> status_icons_;
  int icon_index_ = -1;
  QString hint_;
  bool visible_ = false;
};

}  // namespace vantrel
