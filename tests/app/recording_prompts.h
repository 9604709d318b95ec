#pragma once

// The dialogs' questions answered by the test: every message box and picker is written to
// a log ("error: text", "save: caption|directory|file|filter|suffix") and answered from
// the fields below, so a test never waits for a window nobody clicks.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <stdexcept>
#include <string>

#include "dialogs/dialog_prompts.h"

namespace vantrel {

class RecordingPrompts : public DialogPrompts {
 public:
  QStringList log;
  bool question_answer = true;
  QString directory_answer;  // empty: the operator cancels
  QString file_answer;

  void Information(QWidget*, const QString&, const QString& text) override {
    log << "information: " + text;
  }
  void Error(QWidget*, const QString&, const QString& text) override { log << "error: " + text; }
  bool Question(QWidget*, const QString&, const QString& text) override {
    log << "question: " + text;
    return question_answer;
  }
  QString ChooseDirectory(QWidget*, const QString& caption, const QString& start) override {
    log << "directory: " + caption + "|" + start;
    return directory_answer;
  }
  QString SaveFileName(QWidget*, const FileRequest& request) override {
    log << "save: " + Describe(request);
    return file_answer;
  }
  QString OpenFileName(QWidget*, const FileRequest& request) override {
    log << "open: " + Describe(request);
    return file_answer;
  }

  // The entries of one kind, without their "kind: " prefix.
  QStringList Of(const QString& kind) const {
    QStringList texts;
    for (const QString& entry : log) {
      if (entry.startsWith(kind + ": "))
        texts << entry.mid(kind.size() + 2);
    }
    return texts;
  }

 private:
  static QString Describe(const FileRequest& r) {
    return r.caption + "|" + r.directory + "|" + r.file_name + "|" + r.filter + "|" +
           r.default_suffix;
  }
};

// The child control of that object name, as the operator would find it; a missing one
// fails the test at once.
template <typename Widget>
Widget& Child(QWidget& parent, const char* name) {
  auto* widget = parent.findChild<Widget*>(name);
  if (widget == nullptr)
    throw std::runtime_error(std::string("no widget ") + name);
  return *widget;
}

// Acts on the next modal dialog once its event loop runs: the way a test clicks through
// an exec() that the code under test opens. Gives up after `timeout_ms`.
inline void WhenModalShown(std::function<void(QDialog&)> act, int timeout_ms = 10000) {
  auto* timer = new QTimer();
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, clock, act, timeout_ms] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr && clock->elapsed() < timeout_ms)
      return;
    timer->stop();
    timer->deleteLater();
    if (dialog != nullptr)
      act(*dialog);
  });
  timer->start();
}

}  // namespace vantrel
