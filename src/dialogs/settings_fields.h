#pragma once

// The controls of the settings dialog, each bound to one field of SettingsData when it is
// made, so that filling the controls and storing them back walk the one list and cannot
// drift apart as tabs gain controls. The tabs make their controls here.

#include <QString>
#include <string>
#include <variant>
#include <vector>

#include "config/settings.h"
#include "dialogs/packed_list_editor.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace vantrel {

// Owned by the settings dialog; main thread only.
class SettingsFields {
 public:
  // Each makes a control named `name` (the tests find it by that name) in `parent`.
  QLineEdit* Number(const char* name, int SettingsData::*field, QWidget* parent);
  QCheckBox* Check(const QString& caption, const char* name, bool SettingsData::*field,
                   QWidget* parent);
  QLineEdit* Text(const char* name, std::string SettingsData::*field, QWidget* parent);
  // One packed-list item a line.
  QPlainTextEdit* Lines(const char* name, std::string SettingsData::*field, QWidget* parent);
  PackedListEditor* List(const char* name, const PackedListEditor::Rules& rules,
                         std::string SettingsData::*field, QWidget* parent);

  // Every control from `values`, with the list editors' edits emptied.
  void Fill(const SettingsData& values) const;
  void Store(SettingsData& values) const;

 private:
  struct NumberField {
    QLineEdit* edit;
    int SettingsData::*field;
  };
  struct CheckField {
    QCheckBox* box;
    bool SettingsData::*field;
  };
  struct TextField {
    QLineEdit* edit;
    std::string SettingsData::*field;
  };
  struct LinesField {
    QPlainTextEdit* memo;
    std::string SettingsData::*field;
  };
  struct ListField {
    PackedListEditor* editor;
    std::string SettingsData::*field;
  };
  using Field = std::variant<NumberField, CheckField, TextField, LinesField, ListField>;

  std::vector<Field> fields_;
};

}  // namespace vantrel
