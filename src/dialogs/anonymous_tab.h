#pragma once

#include <QWidget>
#include <string>

class QCheckBox;
class QLayout;
class QLineEdit;

namespace vantrel {

class DialogPrompts;
class PackedListEditor;
class SettingsFields;

// The settings dialog's "Anonymous" tab: whether anonymous users may log in, their home,
// rights, virtual directories and speed limits, with pickers for the directories. Owned
// by the dialog's tabs; main thread only.
class AnonymousTab : public QWidget {
  Q_OBJECT

 public:
  // The virtual-directory picker opens in `data_directory`.
  AnonymousTab(SettingsFields& fields, DialogPrompts& prompts, std::string data_directory,
               QWidget* parent);

  // The check's message, or an empty text.
  QString ValidationFailure() const;

 private:
  QLayout* CreateRights(SettingsFields& fields);
  QLayout* CreateSpeeds(SettingsFields& fields);
  void BrowseHome();
  void BrowseVirtual();

  DialogPrompts& prompts_;
  const std::string data_directory_;
  QCheckBox* allow_anonymous_;
  QLineEdit* home_;
  PackedListEditor* virtual_ = nullptr;
};

}  // namespace vantrel
