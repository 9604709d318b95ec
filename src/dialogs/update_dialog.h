#pragma once

// "FTP Server Update": runs the update check each time it is shown and lists what the
// check reports, newest line on top, with short results on the progress bar.
//
// The check blocks on the network for as long as its time-outs allow, so it runs on a
// thread of its own and the dialog stays responsive. Everything the check reports is
// posted to the dialog in order through the main thread's event queue; the two questions
// (the server's message, the installer's file) are asked there too, and the check waits
// for the answer. Pumping the event loop from inside the blocking calls, as a single
// threaded design would, was rejected: a click on "Close" would then run inside a receive.

#include <QDialog>
#include <memory>
#include <string>
#include <thread>

class QListWidget;
class QProgressBar;

namespace vantrel {

class DialogPrompts;
class UpdateCheck;

// Created once by the main window and reused; main thread only. A check still running
// when the dialog closes is aborted; the destructor waits for its thread.
class UpdateDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kDefaultTitle = "FTP Server Update";

  UpdateDialog(DialogPrompts& prompts, std::string data_directory, QWidget* parent = nullptr);
  ~UpdateDialog() override;

  // The host to ask; empty for the built-in default.
  void SetServerName(const QString& name) { server_name_ = name; }
  // The caption; empty for kDefaultTitle.
  void SetTitle(const QString& title) { title_ = title; }
  // Where checks connect; tests point them at a server of their own.
  void SetPort(int port) { port_ = port; }
  void SetDefaultHost(std::string host) { default_host_ = std::move(host); }

  // From the start of a check until its last report has been shown.
  bool IsChecking() const { return checking_; }
  QString ProgressText() const { return progress_text_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  class Reporter;

  void Activate();
  void StartCheck();
  void StopCheck();
  void JoinWorker();

  // What the reporter delivers, on the main thread.
  void AddStatus(const QString& text);
  void SetProgressText(const QString& text);
  void SetProgress(qint64 position, qint64 maximum);
  void ShowServerMessage(const QString& text);
  QString ChooseTarget(const QString& suggested);
  void CheckFinished();

  DialogPrompts& prompts_;
  const std::string data_directory_;
  QString server_name_;
  QString title_;
  int port_;
  std::string default_host_;
  bool busy_ = false;
  bool checking_ = false;
  QString progress_text_;

  QListWidget* status_ = nullptr;
  QProgressBar* progress_ = nullptr;

  std::shared_ptr<Reporter> reporter_;
  std::unique_ptr<UpdateCheck> check_;
  std::thread worker_;
};

}  // namespace vantrel
