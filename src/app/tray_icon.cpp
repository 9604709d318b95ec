#include "app/tray_icon.h"

#include <QMenu>
#include <QSystemTrayIcon>

#include "widgets/status_icons.h"

namespace vantrel {

TrayIcon::TrayIcon(QObject* parent)
    : QObject(parent), icon_(new QSystemTrayIcon(this)), menu_(new QMenu()) {
  for (int i = 0; i < kStatusIconCount; ++i)
    status_icons_[static_cast<std::size_t>(i)] = DrawStatusIcon(i);
  connect(menu_->addAction("Restore"), &QAction::triggered, this, &TrayIcon::RestoreRequested);
  connect(menu_->addAction("Start"), &QAction::triggered, this, &TrayIcon::StartRequested);
  connect(menu_->addAction("Stop"), &QAction::triggered, this, &TrayIcon::StopRequested);
  menu_->addSeparator();
  connect(menu_->addAction("Exit"), &QAction::triggered, this, &TrayIcon::ExitRequested);
  menu_->addAction("Cancel");  // closes the menu, nothing more
  icon_->setContextMenu(menu_);
  connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick)
      emit RestoreRequested();
  });
  SetStatus(kIconIdleOn, "FTP Server");
}

TrayIcon::~TrayIcon() {
  delete menu_;  // a context menu has no parent: the tray does not own it
}

void TrayIcon::SetStatus(int icon_index, const QString& hint) {
  if (icon_index != icon_index_) {
    icon_index_ = icon_index;
    icon_->setIcon(status_icons_[static_cast<std::size_t>(
        icon_index >= 0 && icon_index < kStatusIconCount ? icon_index : kIconStopped)]);
  }
  if (hint != hint_) {
    hint_ = hint;
    icon_->setToolTip(hint);
  }
}

void TrayIcon::SetVisible(bool visible) {
  visible_ = visible;
  if (QSystemTrayIcon::isSystemTrayAvailable())
    icon_->setVisible(visible);
}

}  // namespace vantrel
