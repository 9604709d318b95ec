#include "service/ftp_listing_handler.h"

#include "accounts/ftp_path.h"
#include "accounts/path_mapper.h"
#include "accounts/users.h"
#include "common/clock.h"
#include "ftp/ftp_error.h"
#include "ftp/ftp_list_output.h"
#include "ftp/ftp_server_context.h"
#include "log/log_queue.h"
#include "platform/file_tree.h"
#include "service/ftp_request.h"

namespace vantrel {
namespace {

void AddEntry(FTPListOutput& listing, const std::string& name, const platform::PathFacts& facts) {
  FTPListItem& item = listing.Add();
  item.file_name = name;
  item.size = facts.is_directory ? 0 : facts.size;
  item.modified_date = ToDateTime(facts.modified);
  item.item_type = facts.is_directory ? FtpListItemType::kDirectory : FtpListItemType::kFile;
}

void AddVirtualDirectory(FTPListOutput& listing, const std::string& alias, DateTime now) {
  FTPListItem& item = listing.Add();
  item.file_name = alias;
  item.modified_date = now;
  item.item_type = FtpListItemType::kDirectory;
}

}  // namespace

void FtpListingHandler::ListDirectory(FTPServerContext& session, const std::string& path,
                                      FTPListOutput& listing, const std::string& command) {
  if (command == "MLST") {
    ListOne(session, path, listing);
    return;
  }
  const FtpRequest request = RequestOf(session);
  const auto mapped = mapper_.MapPath(request.who, session.HomeDir(), session.CurrentDir(), path);
  users_.SetOnlineActionPath(request.key(), "LIST", path);
  const auto here = mapped ? platform::StatPath(mapped->disk_path) : std::nullopt;
  const auto entries =
      here && here->is_directory ? platform::ListDirectory(mapped->disk_path) : std::nullopt;
  if (!entries) {
    log_.LogLine(request.LogPrefix() + "> Directory " + path + " does not exist.");
    throw FtpError("Directory does not exist " + path);
  }
  log_.LogLine(request.LogPrefix() + "> List directory " + path);
  // The client's root however it is spelt ("/a/..", "//"): it has no parent to show, and
  // it is where the virtual directories live.
  const auto resolved = ResolveFtpPath(session.CurrentDir(), path);
  const bool root = !resolved || resolved->IsRoot();
  if (!root) {
    AddEntry(listing, ".", *here);
    // The parent the client would reach with "..", not the disk's: above a virtual
    // directory's own directory lies the operator's tree, which stays unseen.
    const auto parent_path = mapper_.MapPath(request.who, session.HomeDir(), session.CurrentDir(),
                                             resolved->Text() + "/..");
    if (const auto parent =
            parent_path ? platform::StatPath(parent_path->disk_path) : std::nullopt) {
      AddEntry(listing, "..", *parent);
    }
  }
  for (const auto& entry : *entries) {
    if (!entry.name.starts_with('.'))
      AddEntry(listing, entry.name, entry.facts);
  }
  if (root) {
    const DateTime now = clock_.Now();
    for (const auto& alias : mapper_.ListedAliases(request.who)) {
      AddVirtualDirectory(listing, alias, now);
    }
  }
}

void FtpListingHandler::ListOne(FTPServerContext& session, const std::string& path,
                                FTPListOutput& listing) {
  const FtpRequest request = RequestOf(session);
  users_.SetOnlineActionPath(request.key(), "LIST", path);
  const auto mapped = mapper_.MapPath(request.who, session.HomeDir(), session.CurrentDir(), path);
  const auto facts = mapped ? platform::StatPath(mapped->disk_path) : std::nullopt;
  const auto resolved = ResolveFtpPath(session.CurrentDir(), path);
  if (!facts || !resolved) {
    log_.LogLine(request.LogPrefix() + "> File " + path + " does not exist.");
    throw FtpError("File does not exist " + path);
  }
  AddEntry(listing, resolved->IsRoot() ? "/" : resolved->segments.back(), *facts);
}

}  // namespace vantrel
