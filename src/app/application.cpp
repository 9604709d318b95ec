#include "app/application.h"

#include <exception>

#include "service/version.h"

namespace vantrel {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName("vantrel");
  setApplicationDisplayName("Vantrel");
  setApplicationVersion(kVersionText);
}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& failure) {
    qWarning("vantrel: ignored an error on the main thread: %s", failure.what());
  } catch (...) {
    qWarning("vantrel: ignored an error on the main thread");
  }
  return false;
}

}  // namespace vantrel
