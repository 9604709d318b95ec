#pragma once

// One copy per user: the first copy listens on a local socket in the user's runtime
// directory; a later copy connects, asks it to show its window and waits for the answer,
// and then ends without loading or writing anything. A lock file makes the check and the
// start of listening one step, so two copies started at once cannot both become first.
//
// Looking for the first copy's window by its class, as the platform of the original
// design allowed, was rejected: a window is not visible across desktops and sessions of
// one user, and it could not be told to restore itself.

#include <QObject>
#include <QString>

class QLocalServer;

namespace vantrel {

// Owned by the program's entry; main thread only.
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  enum class Outcome {
    kFirst,          // this copy runs; RestoreRequested arrives when another one starts
    kOtherRestored,  // another copy runs and showed its window
    kOtherSilent,    // another copy runs but did not answer in time
  };

  // `socket_path`: where the first copy listens (see DefaultSocketPath).
  explicit SingleInstance(QString socket_path, QObject* parent = nullptr);

  // The user's runtime directory + "/vantrel.socket".
  static QString DefaultSocketPath();

  Outcome Claim();
  // Stops answering, so that a copy started from here (a restart) becomes the first.
  void Release();

 signals:
  void RestoreRequested();

 private:
  bool AskFirstCopy(bool& answered);
  void Listen();
  void OnConnection();

  QString socket_path_;
  QLocalServer* server_ = nullptr;
};

}  // namespace vantrel
