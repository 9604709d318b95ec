#include "app/session_monitor.h"

#include <QLocale>

#include "widgets/status_icons.h"

namespace vantrel {

MonitorView SessionMonitor::Tick(bool running, int clients) {
  MonitorView view;
  view.running = running;
  if (running) {
    if (clients < 1) {
      // The picture blinks while the server waits for someone.
      tray_icon_ = tray_icon_ == kIconIdleOn ? kIconIdleOff : kIconIdleOn;
      view.tray_hint = "FTP Server\nRunning\nNo Clients.";
    } else {
      tray_icon_ = kIconClients;
      view.tray_hint = QString("FTP Server\nRunning\n%1 Client(s).").arg(clients);
    }
    view.status_text = "Running";
  } else {
    tray_icon_ = kIconStopped;
    view.tray_hint = "FTP Server\nStopped";
    view.status_text = "Stopped";
  }
  view.tray_icon = tray_icon_;
  view.clients_text = clients < 1 ? QString("No Clients") : QString("%1 Client(s)").arg(clients);
  return view;
}

QString OnlineFigure(DateTime start, DateTime now) {
  if (start == 0)
    return "Stopped";
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  const double hours = (now - start) * 24.0;
  return locale.toString(hours, 'f', 2) + " hours";
}

}  // namespace vantrel
