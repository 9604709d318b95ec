#pragma once

// The web administration interface as the service sees it: the HTTP engine with the
// site's pages bound to its events, started from the settings and stopped with the FTP
// service.

#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "platform/socket_address.h"
#include "service/ftp_session_handlers.h"

namespace vantrel {

class CustomHTTPServer;
class WebPages;

// Owned by the service host, created after the units it is given and destroyed before
// them. Start, Stop and Active belong to the controlling thread; the pages run on the
// engine's connection threads.
class WebInterface {
 public:
  WebInterface(const ServiceUnits& units, std::string data_directory,
               const Clock& clock = DefaultClock());
  ~WebInterface();
  WebInterface(const WebInterface&) = delete;
  WebInterface& operator=(const WebInterface&) = delete;

  // Configures the engine from the settings (port, title, session time-out) and starts
  // it; logs the started line, or the failure line when it cannot listen. Nothing when it
  // runs already.
  void Start();
  // Stops the engine if it runs, closing every connection, and logs that it stopped.
  void Stop();
  bool Active() const;
  // Where the engine listens while active (ports chosen by the system filled in).
  std::vector<platform::SocketAddress> Addresses() const;

 private:
  void BindEvents();

  ServiceUnits units_;
  std::unique_ptr<WebPages> pages_;
  std::unique_ptr<CustomHTTPServer> server_;
};

}  // namespace vantrel
