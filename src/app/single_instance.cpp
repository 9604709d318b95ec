#include "app/single_instance.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace vantrel {
namespace {

constexpr int kConnectTimeoutMs = 2000;
// The first copy answers from its event loop, which runs only once its window is loaded.
constexpr int kAnswerTimeoutMs = 15000;
constexpr int kMaxRequestBytes = 64;
constexpr char kRestoreRequest[] = "restore\n";
constexpr char kRestoredAnswer[] = "restored\n";

}  // namespace

SingleInstance::SingleInstance(QString socket_path, QObject* parent)
    : QObject(parent), socket_path_(std::move(socket_path)) {}

QString SingleInstance::DefaultSocketPath() {
  return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + "/vantrel.socket";
}

SingleInstance::Outcome SingleInstance::Claim() {
  QLockFile lock(socket_path_ + ".lock");
  lock.lock();
  bool answered = false;
  if (AskFirstCopy(answered))
    return answered ? Outcome::kOtherRestored : Outcome::kOtherSilent;
  Listen();
  return Outcome::kFirst;
}

// True when another copy listens; `answered` tells whether it confirmed the restore.
bool SingleInstance::AskFirstCopy(bool& answered) {
  QLocalSocket socket;
  socket.connectToServer(socket_path_);
  if (!socket.waitForConnected(kConnectTimeoutMs))
    return false;
  socket.write(kRestoreRequest);
  socket.waitForBytesWritten(kConnectTimeoutMs);
  QByteArray reply;
  while (!reply.endsWith('\n') && socket.waitForReadyRead(kAnswerTimeoutMs))
    reply += socket.readAll();
  answered = reply == kRestoredAnswer;
  return true;
}

void SingleInstance::Listen() {
  // Nobody answered, so a socket file left there belongs to a copy that crashed.
  QLocalServer::removeServer(socket_path_);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(socket_path_)) {
    // Without the socket this copy still works; only a later copy cannot find it.
    qWarning("vantrel: cannot listen on %s: %s", qPrintable(socket_path_),
             qPrintable(server_->errorString()));
    return;
  }
  connect(server_, &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
}

void SingleInstance::Release() {
  if (server_ == nullptr)
    return;
  server_->close();
  delete server_;
  server_ = nullptr;
}

void SingleInstance::OnConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequestBytes)
          socket->abort();  // not one of ours
        return;
      }
      if (socket->readLine(kMaxRequestBytes) == kRestoreRequest) {
        emit RestoreRequested();
        socket->write(kRestoredAnswer);
      }
      socket->disconnectFromServer();
    });
  }
}

}  // namespace vantrel
