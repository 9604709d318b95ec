#include "dialogs/dialog_prompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace vantrel {
namespace {

QString RunFileDialog(QWidget* parent, const FileRequest& request, QFileDialog::AcceptMode mode) {
  QFileDialog dialog(parent, request.caption, request.directory, request.filter);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                     : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setDefaultSuffix(request.default_suffix);
  if (!request.file_name.isEmpty())
    dialog.selectFile(request.file_name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return QString();
  return dialog.selectedFiles().constFirst();
}

}  // namespace

void StandardPrompts::Information(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void StandardPrompts::Error(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::critical(parent, title, text, QMessageBox::Ok);
}

bool StandardPrompts::Question(QWidget* parent, const QString& title, const QString& text) {
  return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

QString StandardPrompts::ChooseDirectory(QWidget* parent, const QString& caption,
                                         const QString& start) {
  return QFileDialog::getExistingDirectory(parent, caption, start);
}

QString StandardPrompts::SaveFileName(QWidget* parent, const FileRequest& request) {
  return RunFileDialog(parent, request, QFileDialog::AcceptSave);
}

QString StandardPrompts::OpenFileName(QWidget* parent, const FileRequest& request) {
  return RunFileDialog(parent, request, QFileDialog::AcceptOpen);
}

}  // namespace vantrel
