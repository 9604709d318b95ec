#include "service/ftp_listing_handler.h"

#include "accounts/ftp_path.h"
#include "accounts/path_mapper.h"
#include "accounts/users.h"
#include "common/clock.h"
#include "common/wildcard.h"
#include "ftp/ftp_error.h"
#include "ftp/ftp_list_output.h"
#include "ftp/ftp_session.h"
#include "log/log_queue.h"
#include "platform/file_tree.h"
#include "service/disk_listing.h"
#include "service/ftp_request.h"

namespace vantrel {
namespace {

std::unique_ptr<FTPListOutput> OneEntry(std::string_view name, const platform::PathFacts& facts) {
  auto listing = std::make_unique<FTPListOutput>();
  DescribeEntry(listing->Add(), name, facts);
  return listing;
}

}  // namespace

std::unique_ptr<ListingSource> FtpListingHandler::ListDirectory(FtpSession& session,
                                                                const std::string& path,
                                                                const std::string& command) {
  if (command == "MLST")
    return ListOne(session, path);
  const FtpRequest request = RequestOf(session);
  users_.SetOnlineActionPath(request.key(), "LIST", path);
  const auto resolved = ResolveFtpPath(session.CurrentDir(), path);
  if (!resolved)
    Missing(request, path);
  if (auto listing = ListEntries(session, request, *resolved, ""))
    return listing;
  if (command == "MLSD" || resolved->IsRoot())
    Missing(request, path);
  // A file lists its own entry; a pattern the entries of its directory that match it.
  const auto mapped = mapper_.MapPath(request.who, session.HomeDir(), session.CurrentDir(), path);
  if (const auto facts = mapped ? platform::StatPath(mapped->disk_path) : std::nullopt) {
    log_.LogLine(request.LogPrefix() + "> List file " + path);
    auto listing = OneEntry(resolved->segments.back(), *facts);
    listing->SetNamedByPath(true);
    return listing;
  }
  if (HasWildcard(resolved->segments.back())) {
    FtpPath directory = *resolved;
    directory.segments.pop_back();
    if (auto listing = ListEntries(session, request, directory, resolved->segments.back()))
      return listing;
  }
  Missing(request, path);
}

std::unique_ptr<ListingSource> FtpListingHandler::ListEntries(FtpSession& session,
                                                              const FtpRequest& request,
                                                              const FtpPath& directory,
                                                              const std::string& pattern) {
  FtpPath as_directory = directory;
  as_directory.trailing_separator = true;
  const std::string text = as_directory.Text();  // "/", "/a/b/"
  const auto mapped = mapper_.MapPath(request.who, session.HomeDir(), session.CurrentDir(), text);
  const auto here = mapped ? platform::StatPath(mapped->disk_path) : std::nullopt;
  auto reader =
      here && here->is_directory ? platform::DirectoryReader::Open(mapped->disk_path) : nullptr;
  if (!reader)
    return nullptr;
  log_.LogLine(request.LogPrefix() + "> List directory " + text + pattern);
  auto listing = std::make_unique<DiskListing>(std::move(reader), pattern);
  if (directory.IsRoot()) {
    // The root, however the client spelt it ("/a/..", "//"): it has no parent to show,
    // and it is where the virtual directories live.
    listing->AddAliases(mapper_.ListedAliases(request.who), clock_.Now());
    return listing;
  }
  if (!pattern.empty())
    return listing;
  listing->AddLeading(".", *here);
  // The parent the client would reach with "..", not the disk's: above a virtual
  // directory's own directory lies the operator's tree, which stays unseen.
  const auto parent_path =
      mapper_.MapPath(request.who, session.HomeDir(), session.CurrentDir(), text + "..");
  if (const auto parent = parent_path ? platform::StatPath(parent_path->disk_path) : std::nullopt)
    listing->AddLeading("..", *parent);
  return listing;
}

void FtpListingHandler::Missing(const FtpRequest& request, const std::string& path) {
  log_.LogLine(request.LogPrefix() + "> Directory " + path + " does not exist.");
  throw FtpError("Directory does not exist " + path);
}

std::unique_ptr<ListingSource> FtpListingHandler::ListOne(FtpSession& session,
                                                          const std::string& path) {
  const FtpRequest request = RequestOf(session);
  users_.SetOnlineActionPath(request.key(), "LIST", path);
  const auto mapped = mapper_.MapPath(request.who, session.HomeDir(), session.CurrentDir(), path);
  const auto facts = mapped ? platform::StatPath(mapped->disk_path) : std::nullopt;
  const auto resolved = ResolveFtpPath(session.CurrentDir(), path);
  if (!facts || !resolved) {
    log_.LogLine(request.LogPrefix() + "> File " + path + " does not exist.");
    throw FtpError("File does not exist " + path);
  }
  return OneEntry(resolved->IsRoot() ? "/" : resolved->segments.back(), *facts);
}

}  // namespace vantrel
