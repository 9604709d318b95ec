#include "accounts/access_policy.h"

#include "accounts/users.h"
#include "config/settings.h"

namespace vantrel {

AccessPolicy::AccessPolicy(Users& users, const Settings& settings)
    : users_(users), settings_(settings) {}

bool AccessPolicy::IsMember(const Credentials& who) const {
  return users_.Authenticate(who.key, who.user, who.pass);
}

bool AccessPolicy::IsAllowed(FileOperation operation, const Credentials& who,
                             std::string_view disk_path) const {
  if (operation == FileOperation::kList || operation == FileOperation::kInspect)
    return true;
  return IsMember(who) ? MemberMay(operation, who, disk_path) : AnonymousMay(operation, disk_path);
}

bool AccessPolicy::MemberMay(FileOperation operation, const Credentials& who,
                             std::string_view disk_path) const {
  const auto& [key, user, pass] = who;
  switch (operation) {
    case FileOperation::kChangeDirectory:
      return users_.CanChangeDirectory(key, user, pass);
    case FileOperation::kRetrieve:
    case FileOperation::kChecksumRange:
      return users_.CanDownload(key, user, pass);
    case FileOperation::kStore:
    case FileOperation::kSetModifiedTime:
      return users_.CanUpload(key, user, pass, disk_path);
    case FileOperation::kRename:
      return users_.CanRename(key, user, pass);
    case FileOperation::kDeleteFile:
      return users_.CanDeleteFile(key, user, pass);
    case FileOperation::kMakeDirectory:
      return users_.CanMakeDirectory(key, user, pass);
    case FileOperation::kRemoveDirectory:
      return users_.CanRemoveDirectory(key, user, pass);
    case FileOperation::kList:
    case FileOperation::kInspect:
      return true;
  }
  return false;
}

bool AccessPolicy::AnonymousMay(FileOperation operation, std::string_view disk_path) const {
  switch (operation) {
    case FileOperation::kChangeDirectory:
      return settings_.Get(&SettingsData::anonymous_allowchangedir);
    case FileOperation::kRetrieve:
    case FileOperation::kChecksumRange:
      return settings_.Get(&SettingsData::anonymous_allowdownload);
    case FileOperation::kStore:
    case FileOperation::kSetModifiedTime:
      return settings_.Get(&SettingsData::anonymous_allowupload) &&
             !settings_.IsUploadPrevented(disk_path);
    case FileOperation::kRename:
      return settings_.Get(&SettingsData::anonymous_allowrename);
    case FileOperation::kDeleteFile:
      return settings_.Get(&SettingsData::anonymous_allowdelete);
    case FileOperation::kMakeDirectory:
      return settings_.Get(&SettingsData::anonymous_allowcreatedir);
    case FileOperation::kRemoveDirectory:
      return settings_.Get(&SettingsData::anonymous_allowdeletedir);
    case FileOperation::kList:
    case FileOperation::kInspect:
      return true;
  }
  return false;
}

int AccessPolicy::DownloadLimit(const Credentials& who) const {
  return IsMember(who) ? users_.GetDownloadLimit(who.user)
                       : settings_.Get(&SettingsData::anonymous_download);
}

int AccessPolicy::UploadLimit(const Credentials& who) const {
  return IsMember(who) ? users_.GetUploadLimit(who.user)
                       : settings_.Get(&SettingsData::anonymous_upload);
}

}  // namespace vantrel
