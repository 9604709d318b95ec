// vantrel: the desktop program. One copy per user; a second copy shows the first one's
// window and ends. The window is a shell over the same service host as the daemon.

#include <QMessageBox>
#include <QProcess>
#include <QSocketNotifier>
#include <cstdio>

#include "app/application.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "platform/open_file_limit.h"
#include "platform/process.h"
#include "platform/termination_notifier.h"
#include "service/data_directory.h"
#include "service/service.h"

int main(int argc, char** argv) {
  vantrel::platform::KeepFreedHeapForReuse();
  // Before the service sizes its connection ceiling from it.
  vantrel::platform::RaiseOpenFileLimit();
  vantrel::Application application(argc, argv);

  // Before anything is loaded: a second copy must leave every file alone.
  vantrel::SingleInstance single_instance(vantrel::SingleInstance::DefaultSocketPath());
  switch (single_instance.Claim()) {
    case vantrel::SingleInstance::Outcome::kFirst:
      break;
    case vantrel::SingleInstance::Outcome::kOtherRestored:
      return 0;
    case vantrel::SingleInstance::Outcome::kOtherSilent:
      std::fprintf(stderr, "vantrel: another copy is running but does not answer\n");
      return 1;
  }

  // A termination request closes the window like the operator would, saving everything.
  vantrel::platform::TerminationNotifier termination;

  const auto directory = vantrel::ResolveDataDirectory(std::nullopt);
  if (!directory) {
    QMessageBox::critical(nullptr, "Vantrel", "No usable data directory was found.");
    return 1;
  }
  int result = 0;
  bool restart = false;
  {
    vantrel::Service service(*directory);
    vantrel::MainWindow window(service);
    QObject::connect(&single_instance, &vantrel::SingleInstance::RestoreRequested, &window,
                     &vantrel::MainWindow::RestoreAndRaise);
    QSocketNotifier termination_watch(termination.descriptor(), QSocketNotifier::Read);
    QObject::connect(&termination_watch, &QSocketNotifier::activated, &window, [&] {
      if (!termination.Consume())
        return;
      window.CloseWithoutQuestion();
      vantrel::Application::quit();  // even while a message box is open
    });
    QObject::connect(&window, &vantrel::MainWindow::RestartRequested, &window, [&] {
      restart = true;
      vantrel::Application::quit();  // the settings dialog is still open
    });
    window.show();
    result = application.exec();
  }
  // Every file is saved by now. The new copy must find no first copy to hand over to.
  if (restart) {
    single_instance.Release();
    if (!QProcess::startDetached(QCoreApplication::applicationFilePath(), {}))
      std::fprintf(stderr, "vantrel: could not start the program again\n");
  }
  return result;
}
