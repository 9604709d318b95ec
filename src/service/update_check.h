#pragma once

// One run of the update check: ask the update server for a message to the operator, then
// for its newest build, and when that is newer than ours, download the installer to a
// file the operator picks. Each step reports status lines and short results through a
// listener, in the order the operator reads them.
//
// The check blocks on the network, so a window runs it on a thread of its own; the two
// places where the operator must answer (reading the message, picking the target file)
// are listener calls that return only once answered. Keeping the sequence free of any
// window type is what lets a test drive it against a scripted server.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "service/update_client.h"

namespace vantrel {

// Implemented by whoever shows the check (the update dialog). Called on the checking
// thread, one call at a time, in the order the steps happen.
class UpdateCheckListener {
 public:
  virtual ~UpdateCheckListener() = default;

  virtual void Status(const std::string& text) = 0;
  // The short result shown on the progress bar.
  virtual void ProgressText(const std::string& text) = 0;
  virtual void Progress(std::int64_t position, std::int64_t maximum) = 0;
  // Returns once the operator has read `text` (lines each followed by CR).
  virtual void ShowMessage(const std::string& text) = 0;
  // The file to save the installer in, starting from `suggested`; nothing when the
  // operator cancels.
  virtual std::optional<std::string> ChooseTarget(const std::string& suggested) = 0;
};

struct UpdateCheckOptions {
  static constexpr int kPort = 4995;
  static constexpr const char* kDefaultHost = "update.vantrel.org";

  std::string host;  // empty: kDefaultHost
  int port = kPort;
  std::string default_host = kDefaultHost;
  std::string program_name;    // our executable's file name, sent with the first two requests
  std::int64_t own_build = 0;  // only a greater build is offered
  std::string data_directory;  // ends in "/"; where the installer is suggested
  std::chrono::milliseconds connect_timeout{10000};
  std::chrono::milliseconds io_timeout{30000};
};

// Owned by the window that runs it. Run() on one thread; Abort() from any thread.
class UpdateCheck {
 public:
  static constexpr const char* kInstallerName = "VantrelInstall.exe";
  // Reading a message stops once it holds this many bytes: it is meant to be read in a
  // box, and a server that never ends it must not hold the check.
  static constexpr std::size_t kMaxMessageBytes = 64 * 1024;

  UpdateCheck(UpdateCheckOptions options, UpdateCheckListener& listener);

  void Run();
  // Ends the connection in use, which ends a download as one cut short; a check that has
  // not reached the network yet does not connect.
  void Abort();

 private:
  // The host and port as the status lines name them.
  std::string Endpoint() const;
  void ReadMessage();
  // The newer build, or nothing when there is none or the server said no.
  std::optional<std::int64_t> ReadNewerBuild();
  bool RequestFile();
  std::optional<std::int64_t> ReadFileSize();
  void Download(const std::string& target, std::int64_t size);
  // Reports the bar during a download; only when the shown fraction moves, so a fast
  // download does not flood the window with repaints.
  void ShowDownloaded(std::int64_t total, std::int64_t size);

  const UpdateCheckOptions options_;
  const std::string host_;
  UpdateCheckListener& listener_;
  UpdateClient client_;
  std::int64_t shown_permille_ = -1;
};

}  // namespace vantrel
