#include "service/update_check.h"

#include <algorithm>

#include "common/text.h"
#include "platform/file_system.h"

namespace vantrel {
namespace {

constexpr std::size_t kBlockSize = 4096;

// The server writes plain decimal numbers; hexadecimal or trailing text is no number.
std::optional<std::int64_t> ParseDecimal(std::string_view text) {
  text = Trim(text);
  const bool negative = !text.empty() && text.front() == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  return ParseInteger(text);
}

std::string Fraction(std::int64_t position, std::int64_t maximum) {
  return std::to_string(position) + " / " + std::to_string(maximum);
}

}  // namespace

UpdateCheck::UpdateCheck(UpdateCheckOptions options, UpdateCheckListener& listener)
    : options_(std::move(options)),
      host_(options_.host.empty() ? options_.default_host : options_.host),
      listener_(listener),
      client_(options_.connect_timeout, options_.io_timeout) {}

void UpdateCheck::Abort() {
  client_.Abort();
}

std::string UpdateCheck::Endpoint() const {
  return host_ + ":" + std::to_string(options_.port);
}

void UpdateCheck::Run() {
  listener_.Status("Connecting to " + Endpoint() + "..");
  if (!client_.Connect(host_, options_.port)) {
    listener_.Status("Failed to connect.");
    listener_.ProgressText("Connection Error.");
    return;
  }
  ReadMessage();
  if (!ReadNewerBuild())
    return;

  const std::optional<std::string> target =
      listener_.ChooseTarget(options_.data_directory + kInstallerName);
  if (!target) {
    listener_.Status("Updating interrupted");
    listener_.ProgressText("Interrupted.");
    return;
  }
  if (!RequestFile())
    return;
  const std::optional<std::int64_t> size = ReadFileSize();
  if (size)
    Download(*target, *size);
  client_.Close();
}

void UpdateCheck::ReadMessage() {
  listener_.Status("Connected");
  client_.SendRequest("GETMESSAGE", options_.program_name);
  if (client_.ReceiveLine() == "YES") {
    std::string message;
    // A server that never sends the empty line is cut off at the limit.
    for (std::string line = client_.ReceiveLine();
         !line.empty() && message.size() < kMaxMessageBytes; line = client_.ReceiveLine()) {
      message += line + "\r";
    }
    listener_.Status("Message received.");
    listener_.ShowMessage(message);
  } else {
    listener_.Status("No message(s) available.");
  }
  client_.Close();
}

std::optional<std::int64_t> UpdateCheck::ReadNewerBuild() {
  if (!client_.Connect(host_, options_.port)) {
    listener_.Status("Failed to connect.");
    listener_.ProgressText("Connection Error.");
    return std::nullopt;
  }
  client_.SendRequest("GETBUILD", options_.program_name);
  listener_.Status("Build info request sent");
  const std::string reply = client_.ReceiveLine();
  listener_.Status("Reply received");
  std::optional<std::int64_t> newer;
  if (reply == "YES") {
    const std::optional<std::int64_t> build = ParseDecimal(client_.ReceiveLine());
    if (!build) {
      listener_.Status("Invalid build number received");
      listener_.ProgressText("Check Failed.");
    } else if (*build > options_.own_build) {
      listener_.Status("Update available (b" + std::to_string(*build) + ").");
      newer = build;
    } else {
      listener_.Status("No update available at the moment (b" + std::to_string(*build) + ").");
      listener_.ProgressText("No Update Available.");
    }
  } else if (reply == "HDR") {
    listener_.Status("Header check failed");
    listener_.ProgressText("Header Check Failed.");
  } else if (reply == "ERR") {
    listener_.Status("Error occured while checking update");
  } else if (reply == "FNF") {
    listener_.Status("File was not found on server");
    listener_.ProgressText("Revision File Missing.");
  } else if (reply == "UCM") {
    listener_.Status("Unknown command reply from server");
  } else {
    listener_.Status("Unknown response from server");
  }
  client_.Close();
  return newer;
}

bool UpdateCheck::RequestFile() {
  listener_.Status("Re-connecting to " + Endpoint() + "..");
  if (!client_.Connect(host_, options_.port)) {
    listener_.Status("Failed to re-connect.");
    listener_.ProgressText("Connection Error.");
    return false;
  }
  listener_.Status("Connected.");
  client_.SendRequest("GETFILE", kInstallerName);
  listener_.Status("Get file request sent");
  const std::string reply = client_.ReceiveLine();
  listener_.Status("Reply received");
  if (reply == "YES")
    return true;
  if (reply == "ERR") {
    listener_.Status("Error occured while downloading update");
  } else if (reply == "FNF") {
    listener_.Status("Installer was not found on server");
    listener_.ProgressText("Update File Missing.");
  } else if (reply == "UCM") {
    listener_.Status("Unknown command response from server");
  } else {
    listener_.Status("Unknown response from server");
  }
  client_.Close();
  return false;
}

std::optional<std::int64_t> UpdateCheck::ReadFileSize() {
  const std::string line = client_.ReceiveLine();
  if (line == "ERR") {
    listener_.Status("Error retrieving file size");
    listener_.ProgressText("Download Failed.");
    return std::nullopt;
  }
  const std::optional<std::int64_t> size = ParseDecimal(line);
  if (!size || *size < 0) {
    listener_.Status("Invalid file size received");
    listener_.ProgressText("Download Failed.");
    return std::nullopt;
  }
  listener_.Status("File size received");
  listener_.Progress(0, *size);
  listener_.ProgressText(Fraction(0, *size));
  return size;
}

void UpdateCheck::Download(const std::string& target, std::int64_t size) {
  std::optional<platform::FileWriter> file;
  try {
    file.emplace(target);
  } catch (const platform::FileError&) {
    listener_.Status("Error opening target file");
    return;
  }
  listener_.Status("Downloading file..");
  std::int64_t total = 0;
  bool intact = true;
  char block[kBlockSize];
  for (std::size_t count; (count = client_.ReceiveBlock(block, sizeof block)) > 0;) {
    total += static_cast<std::int64_t>(count);
    ShowDownloaded(total, size);
    // More than announced is no longer the installer the size line promised.
    if (total > size) {
      intact = false;
      break;
    }
    try {
      file->Write(std::string_view(block, count));
    } catch (const platform::FileError&) {
      listener_.Status("Error writing file");
      intact = false;
      break;
    }
  }
  try {
    file->Close();
  } catch (const platform::FileError&) {
    if (intact)
      listener_.Status("Error writing file");
    intact = false;
  }
  if (intact && total == size) {
    listener_.Status("File downloaded succesfully.");
    listener_.ProgressText("Download Done.");
  } else {
    listener_.Status("Error downloading file.");
    listener_.ProgressText("Download Failed.");
  }
}

void UpdateCheck::ShowDownloaded(std::int64_t total, std::int64_t size) {
  const std::int64_t permille = size > 0 ? total / std::max<std::int64_t>(size / 1000, 1) : 1000;
  if (permille == shown_permille_ && total != size)
    return;
  shown_permille_ = permille;
  listener_.Progress(total, size);
  listener_.ProgressText(Fraction(total, size));
}

}  // namespace vantrel
