#include "service/ftp_listing_handler.h"

#include "accounts/online_clients.h"
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

std::unique_ptr<FtpListOutput> OneEntry(std::string_view name, const platform::PathFacts& facts) {
  auto listing = std::make_unique<FtpListOutput>();
  DescribeEntry(listing->Add(), name, facts);
  return listing;
}

}  // namespace

std::unique_ptr<ListingSource> FtpListingHandler::List(FtpSession& session,
                                                       std::string_view argument,
                                                       ListingScope scope) {
  const FtpRequest request = RequestOf(session, records_);
  const auto path = request.Resolve(session.CurrentDir(), argument);
  // How the log, the online table and the refusals name it: the current directory when
  // the client named none.
  const std::string name = argument.empty() ? session.CurrentDir() : Named(path, argument);
  online_.SetActionPath(request.key, "LIST", name);
  if (scope == ListingScope::kEntry)
    return ListOne(request, path, name);
  if (!path)
    Missing(request, name);
  if (auto listing = ListEntries(request, path->ftp, ""))
    return listing;
  if (scope == ListingScope::kDirectory || path->ftp.IsRoot())
    Missing(request, name);
  // A file lists its own entry; a pattern the entries of its directory that match it.
  if (const auto facts = platform::StatPath(path->disk_path)) {
    log_.LogLine(request.LogPrefix() + "> List file " + name);
    auto listing = OneEntry(path->ftp.segments.back(), *facts);
    listing->SetNamedByPath(true);
    return listing;
  }
  if (HasWildcard(path->ftp.segments.back())) {
    FtpPath directory = path->ftp;
    directory.segments.pop_back();
    if (auto listing = ListEntries(request, directory, path->ftp.segments.back()))
      return listing;
  }
  Missing(request, name);
}

std::unique_ptr<ListingSource> FtpListingHandler::ListEntries(const FtpRequest& request,
                                                              const FtpPath& directory,
                                                              const std::string& pattern) {
  FtpPath as_directory = directory;
  as_directory.trailing_separator = true;
  const std::string text = as_directory.Text();  // "/", "/a/b/"
  const auto mapped = request.Resolve("/", text);
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
    listing->AddAliases(request.record->listed_aliases, clock_.Now());
    return listing;
  }
  if (!pattern.empty())
    return listing;
  listing->AddLeading(".", *here);
  // The parent the client would reach with "..", not the disk's: above a virtual
  // directory's own directory lies the operator's tree, which stays unseen.
  const auto parent_path = request.Resolve(text, "..");
  if (const auto parent = parent_path ? platform::StatPath(parent_path->disk_path) : std::nullopt)
    listing->AddLeading("..", *parent);
  return listing;
}

void FtpListingHandler::Missing(const FtpRequest& request, const std::string& path) {
  log_.LogLine(request.LogPrefix() + "> Directory " + path + " does not exist.");
  throw FtpError("Directory does not exist " + path);
}

std::unique_ptr<ListingSource> FtpListingHandler::ListOne(const FtpRequest& request,
                                                          const std::optional<ResolvedPath>& path,
                                                          const std::string& name) {
  const auto facts = path ? platform::StatPath(path->disk_path) : std::nullopt;
  if (!facts) {
    log_.LogLine(request.LogPrefix() + "> File " + name + " does not exist.");
    throw FtpError("File does not exist " + name);
  }
  return OneEntry(path->ftp.IsRoot() ? "/" : path->ftp.segments.back(), *facts);
}

}  // namespace vantrel
