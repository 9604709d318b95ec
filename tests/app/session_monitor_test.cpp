#include "app/session_monitor.h"

#include <gtest/gtest.h>

#include "app/qt_printers.h"
#include "widgets/status_icons.h"

namespace vantrel {
namespace {

TEST(SessionMonitor, TicksFollowTheServiceAndBlinkWhileIdle) {
  const struct {
    bool running;
    int clients;
    int icon;
    const char* hint;
    const char* status;
    const char* clients_text;
  } ticks[] = {
      {false, 0, kIconStopped, "FTP Server\nStopped", "Stopped", "No Clients"},
      {true, 0, kIconIdleOn, "FTP Server\nRunning\nNo Clients.", "Running", "No Clients"},
      {true, 0, kIconIdleOff, "FTP Server\nRunning\nNo Clients.", "Running", "No Clients"},
      {true, 0, kIconIdleOn, "FTP Server\nRunning\nNo Clients.", "Running", "No Clients"},
      {true, 2, kIconClients, "FTP Server\nRunning\n2 Client(s).", "Running", "2 Client(s)"},
      {true, 0, kIconIdleOn, "FTP Server\nRunning\nNo Clients.", "Running", "No Clients"},
      {false, 1, kIconStopped, "FTP Server\nStopped", "Stopped", "1 Client(s)"},
  };
  SessionMonitor monitor;
  int step = 0;
  for (const auto& t : ticks) {
    const MonitorView view = monitor.Tick(t.running, t.clients);
    EXPECT_EQ(view.running, t.running) << "tick " << step;
    EXPECT_EQ(view.tray_icon, t.icon) << "tick " << step;
    EXPECT_EQ(view.tray_hint, t.hint) << "tick " << step;
    EXPECT_EQ(view.status_text, t.status) << "tick " << step;
    EXPECT_EQ(view.clients_text, t.clients_text) << "tick " << step;
    ++step;
  }
}

TEST(OnlineFigure, HoursSinceTheStartOrStopped) {
  const DateTime start = 46000.25;
  EXPECT_EQ(OnlineFigure(0, start), "Stopped");
  EXPECT_EQ(OnlineFigure(start, start), "0.00 hours");
  EXPECT_EQ(OnlineFigure(start, start + 90.0 / (24 * 60)), "1.50 hours");
  EXPECT_EQ(OnlineFigure(start, start + 1000.0 / 24), "1000.00 hours") << "no group separators";
}

}  // namespace
}  // namespace vantrel
