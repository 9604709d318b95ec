#include "dialogs/update_dialog.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "dialogs/dialog_prompts.h"
#include "platform/process.h"
#include "service/update_check.h"
#include "service/version.h"

namespace vantrel {

// The check's listener: runs on the checking thread and hands every report to the dialog
// through its event queue. Once cancelled (the dialog closed) nothing more reaches the
// dialog and a question waiting for its answer returns unanswered, so the checking thread
// never waits for a window that is gone.
class UpdateDialog::Reporter : public UpdateCheckListener,
                               public std::enable_shared_from_this<Reporter> {
 public:
  explicit Reporter(UpdateDialog* dialog) : dialog_(dialog) {}

  void Status(const std::string& text) override {
    Post([text = QString::fromStdString(text)](UpdateDialog& d) { d.AddStatus(text); });
  }
  void ProgressText(const std::string& text) override {
    Post([text = QString::fromStdString(text)](UpdateDialog& d) { d.SetProgressText(text); });
  }
  void Progress(std::int64_t position, std::int64_t maximum) override {
    Post([=](UpdateDialog& d) { d.SetProgress(position, maximum); });
  }
  void ShowMessage(const std::string& text) override {
    Ask([text = QString::fromStdString(text)](UpdateDialog& d) {
      d.ShowServerMessage(text);
      return QString();
    });
  }
  std::optional<std::string> ChooseTarget(const std::string& suggested) override {
    const std::optional<QString> target =
        Ask([suggested = QString::fromStdString(suggested)](UpdateDialog& d) {
          return d.ChooseTarget(suggested);
        });
    if (!target || target->isEmpty())
      return std::nullopt;
    return target->toStdString();
  }
  void Finished() {
    Post([](UpdateDialog& d) { d.CheckFinished(); });
  }

  // Main thread.
  void Cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    answered_.notify_all();
  }

 private:
  bool IsCancelled() {
    std::lock_guard lock(mutex_);
    return cancelled_;
  }

  template <typename Fn>
  void Post(Fn deliver) {
    QMetaObject::invokeMethod(
        dialog_,
        [self = shared_from_this(), deliver = std::move(deliver)] {
          if (!self->IsCancelled())
            deliver(*self->dialog_);
        },
        Qt::QueuedConnection);
  }

  std::optional<QString> Ask(std::function<QString(UpdateDialog&)> question) {
    {
      std::lock_guard lock(mutex_);
      if (cancelled_)
        return std::nullopt;
      answer_.reset();
    }
    QMetaObject::invokeMethod(
        dialog_,
        [self = shared_from_this(), question = std::move(question)] {
          if (self->IsCancelled())
            return;
          const QString answer = question(*self->dialog_);
          std::lock_guard lock(self->mutex_);
          self->answer_ = answer;
          self->answered_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [this] { return answer_.has_value() || cancelled_; });
    return cancelled_ ? std::nullopt : answer_;
  }

  UpdateDialog* const dialog_;
  std::mutex mutex_;
  std::condition_variable answered_;
  bool cancelled_ = false;         // guarded by mutex_
  std::optional<QString> answer_;  // guarded by mutex_
};

namespace {

// QProgressBar counts in int; a larger download is shown in proportion.
int Scaled(qint64 value, qint64 maximum) {
  if (maximum <= INT_MAX)
    return static_cast<int>(value);
  return static_cast<int>(value / (maximum / INT_MAX + 1));
}

}  // namespace

UpdateDialog::UpdateDialog(DialogPrompts& prompts, std::string data_directory, QWidget* parent)
    : QDialog(parent),
      prompts_(prompts),
      data_directory_(std::move(data_directory)),
      port_(UpdateCheckOptions::kPort),
      default_host_(UpdateCheckOptions::kDefaultHost) {
  setObjectName("fupdate");
  setWindowTitle(kDefaultTitle);
  status_ = new QListWidget(this);
  status_->setObjectName("status");
  progress_ = new QProgressBar(this);
  progress_->setObjectName("progress");
  progress_->setTextVisible(true);
  progress_->setAlignment(Qt::AlignCenter);
  SetProgressText(QString());
  auto* close = new QPushButton("Close", this);
  close->setObjectName("close");
  connect(close, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(status_, 1);
  auto* row = new QHBoxLayout();
  row->addWidget(new QLabel("Progress:", this));
  row->addWidget(progress_, 1);
  row->addWidget(close);
  layout->addLayout(row);
  resize(480, 300);
}

UpdateDialog::~UpdateDialog() {
  StopCheck();
  JoinWorker();
}

void UpdateDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous())
    return;  // restored from the task bar: the check goes on
  busy_ = false;
  // After the window is up, so that the first line is drawn in a visible dialog.
  QTimer::singleShot(0, this, &UpdateDialog::Activate);
}

void UpdateDialog::hideEvent(QHideEvent* event) {
  if (!event->spontaneous())  // a minimized dialog keeps checking
    StopCheck();
  QDialog::hideEvent(event);
}

void UpdateDialog::Activate() {
  setWindowTitle(title_.isEmpty() ? QString(kDefaultTitle) : title_);
  if (!busy_ && isVisible())
    StartCheck();
}

void UpdateDialog::StartCheck() {
  busy_ = true;
  // A check that an earlier close aborted may still be on its way out.
  JoinWorker();
  status_->clear();
  progress_->setRange(0, 100);
  progress_->setValue(0);
  SetProgressText(QString());

  UpdateCheckOptions options;
  options.host = server_name_.trimmed().toStdString();
  options.port = port_;
  options.default_host = default_host_;
  options.program_name =
      QFileInfo(QString::fromStdString(platform::ExecutablePath())).fileName().toStdString();
  options.own_build = kVersionBuild;
  options.data_directory = data_directory_;
  reporter_ = std::make_shared<Reporter>(this);
  check_ = std::make_unique<UpdateCheck>(std::move(options), *reporter_);
  checking_ = true;
  worker_ = std::thread([check = check_.get(), reporter = reporter_] {
    check->Run();
    reporter->Finished();
  });
}

void UpdateDialog::StopCheck() {
  if (reporter_)
    reporter_->Cancel();
  if (check_)
    check_->Abort();
  checking_ = false;
}

void UpdateDialog::JoinWorker() {
  if (worker_.joinable())
    worker_.join();
  check_.reset();
}

void UpdateDialog::AddStatus(const QString& text) {
  status_->insertItem(0, QTime::currentTime().toString("HH:mm:ss") + "> " + text);
}

void UpdateDialog::SetProgressText(const QString& text) {
  progress_text_ = text;
  QString format = text;
  progress_->setFormat(format.replace('%', "%%"));
}

void UpdateDialog::SetProgress(qint64 position, qint64 maximum) {
  progress_->setRange(0, Scaled(maximum, maximum));
  progress_->setValue(Scaled(std::min(position, maximum), maximum));
}

void UpdateDialog::ShowServerMessage(const QString& text) {
  QString lines = text;
  lines.replace('\r', '\n');
  while (lines.endsWith('\n'))
    lines.chop(1);
  prompts_.Information(this, windowTitle(), lines);
}

QString UpdateDialog::ChooseTarget(const QString& suggested) {
  const FileRequest request{"Save Update As", QFileInfo(suggested).path(), suggested,
                            "All files (*)", QString()};
  return prompts_.SaveFileName(this, request);
}

void UpdateDialog::CheckFinished() {
  checking_ = false;
}

}  // namespace vantrel
