// vantreld: the FTP server without a window. It loads like the desktop program, always
// starts serving (exiting with status 1 when the FTP port cannot be had), prints the log
// to standard output, reads its files again on SIGHUP without dropping a session, and on
// SIGINT or SIGTERM stops and saves exactly as closing the window does.

#include <chrono>
#include <cstdio>
#include <iostream>

#include "common/date_time.h"
#include "daemon/daemon_options.h"
#include "platform/daemon_signals.h"
#include "platform/open_file_limit.h"
#include "platform/process.h"
#include "service/data_directory.h"
#include "service/service.h"
#include "service/version.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void PrintLogLines(vantrel::Service& service) {
  service.LogTick([](vantrel::DateTime time, const std::string& line) {
    std::cout << vantrel::FormatLocalDateTime(time) << "> " << line << '\n';
  });
  std::cout.flush();
}

int Serve(const std::string& data_directory, const vantrel::ClientDeadlines& deadlines) {
  vantrel::platform::KeepFreedHeapForReuse();
  // Before the service sizes its connection ceiling from it.
  vantrel::platform::RaiseOpenFileLimit();
  vantrel::Service service(data_directory);
  service.SetClientDeadlines(deadlines);
  service.Load();
  service.StartServer();
  PrintLogLines(service);
  // A daemon that cannot serve says so by its exit status, so that a service manager
  // retries it. Nothing ran, so nothing is saved: the files stay as the operator left them.
  if (!service.IsRunning())
    return 1;

  constexpr auto kLogPeriod = 500ms;
  constexpr auto kRefreshPeriod = 2000ms;
  auto next_log = Clock::now() + kLogPeriod;
  auto next_refresh = Clock::now() + kRefreshPeriod;
  for (;;) {
    const auto next = std::min(next_log, next_refresh);
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
    const auto signal = vantrel::platform::DaemonSignals::Wait(wait);
    if (signal == vantrel::platform::DaemonSignal::kStop)
      break;
    if (signal == vantrel::platform::DaemonSignal::kReload) {
      service.Reload();
      PrintLogLines(service);
    }
    const auto now = Clock::now();
    if (now >= next_refresh) {
      service.RefreshTick();
      next_refresh = now + kRefreshPeriod;
    }
    if (now >= next_log) {
      PrintLogLines(service);
      next_log = now + kLogPeriod;
    }
  }
  service.Shutdown();
  PrintLogLines(service);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const vantrel::DaemonOptions options =
      vantrel::ParseDaemonOptions(std::vector<std::string>(argv + 1, argv + argc));
  switch (options.action) {
    case vantrel::DaemonOptions::Action::kHelp:
      std::cout << vantrel::DaemonUsage() << "\n\n"
                << "Serves FTP (and the web administration site when enabled) from the\n"
                << "settings and accounts in the data directory; reads them again on SIGHUP;\n"
                << "stops on SIGINT or SIGTERM.\n"
                << "  --data-dir DIR  keep the state files in DIR instead of beside the program\n"
                << "  --client-deadlines LINE,LOGIN,REQUEST\n"
                << "                  seconds a command line may take from its first byte\n"
                << "                  (60), a connection to log in (120), and a web request\n"
                << "                  to arrive (30)\n";
      return 0;
    case vantrel::DaemonOptions::Action::kVersion:
      std::cout << "vantreld " << vantrel::kVersionText << '\n';
      return 0;
    case vantrel::DaemonOptions::Action::kUsageError:
      std::cerr << "vantreld: " << options.error << '\n' << vantrel::DaemonUsage() << '\n';
      return 2;
    case vantrel::DaemonOptions::Action::kServe:
      break;
  }
  // Before any thread exists, so that only the main loop ever receives the signals.
  vantrel::platform::DaemonSignals::Block();
  const auto directory = vantrel::ResolveDataDirectory(options.data_directory);
  if (!directory) {
    std::cerr << "vantreld: no usable data directory\n";
    return 1;
  }
  return Serve(*directory, options.deadlines);
}
