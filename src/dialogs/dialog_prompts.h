#pragma once

// The questions the dialogs ask the operator in windows of their own: message boxes and
// the file and folder pickers. They run modal event loops, which a test cannot click
// through, so every dialog asks through this interface and a test hands in answers.

#include <QString>

class QWidget;

namespace vantrel {

// What a file picker opens with. The filter is in Qt's form: "Log files (*.txt)".
struct FileRequest {
  QString caption;
  QString directory;
  QString file_name;
  QString filter;
  QString default_suffix;  // without the dot; added when the operator types none
};

// Owned by the main window (or a test) and outliving every dialog that uses it. Main
// thread only.
class DialogPrompts {
 public:
  virtual ~DialogPrompts() = default;

  virtual void Information(QWidget* parent, const QString& title, const QString& text) = 0;
  virtual void Error(QWidget* parent, const QString& title, const QString& text) = 0;
  // Yes/No; true for Yes.
  virtual bool Question(QWidget* parent, const QString& title, const QString& text) = 0;
  // Each returns the chosen path, or an empty text when the operator cancelled.
  virtual QString ChooseDirectory(QWidget* parent, const QString& caption,
                                  const QString& start) = 0;
  // Never asks about overwriting: the callers that care ask themselves.
  virtual QString SaveFileName(QWidget* parent, const FileRequest& request) = 0;
  virtual QString OpenFileName(QWidget* parent, const FileRequest& request) = 0;
};

// The real windows: QMessageBox and QFileDialog.
class StandardPrompts : public DialogPrompts {
 public:
  void Information(QWidget* parent, const QString& title, const QString& text) override;
  void Error(QWidget* parent, const QString& title, const QString& text) override;
  bool Question(QWidget* parent, const QString& title, const QString& text) override;
  QString ChooseDirectory(QWidget* parent, const QString& caption, const QString& start) override;
  QString SaveFileName(QWidget* parent, const FileRequest& request) override;
  QString OpenFileName(QWidget* parent, const FileRequest& request) override;
};

}  // namespace vantrel
