#pragma once

#include <QApplication>

namespace vantrel {

// The application object. An exception that escapes an event handler on the main thread
// is swallowed here, so one failing click cannot end a server that clients depend on.
// Created once by the program's entry; main thread only.
class Application : public QApplication {
  Q_OBJECT

 public:
  Application(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace vantrel
