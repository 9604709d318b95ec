#pragma once

// What the refresh tick shows about the service: the tray's picture and hint, the
// status box and the client count. Kept apart from the window so the rules can be
// checked without one.

#include <QString>

#include "common/date_time.h"

namespace vantrel {

struct MonitorView {
  bool running = false;
  int tray_icon = 0;
  QString tray_hint;
  QString status_text;   // "Running" or "Stopped"
  QString clients_text;  // "No Clients" or n + " Client(s)"
};

// Owned by the main window; main thread only. Holds the blink phase between ticks.
class SessionMonitor {
 public:
  MonitorView Tick(bool running, int clients);

 private:
  int tray_icon_ = 0;
};

// "Stopped" while `start` is 0, else the hours since `start`, two decimals, the locale's
// decimal separator, and " hours".
QString OnlineFigure(DateTime start, DateTime now);

}  // namespace vantrel
