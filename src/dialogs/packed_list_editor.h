#pragma once

// The list editors of the settings dialog and the account editor: the items of one packed
// list, edits for a new or changed item, and "Add", "Modify", "Delete". A pair list
// (banned addresses, admin users, virtual directories) has a key and a value edit and
// items of the form key "=" value; a plain list (file extensions) has the key edit only.
// The lists differ only in which edits an action needs, so one widget serves them all.

#include <QWidget>
#include <string>

class QGridLayout;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vantrel {

// Owned by the dialog that shows it; main thread only.
class PackedListEditor : public QWidget {
  Q_OBJECT

 public:
  struct Rules {
    QString list_label;
    QString key_label;
    QString value_label;         // empty: a plain list
    bool value_required = true;  // a pair list's Add and Modify need the value too
    bool fill_on_select = true;  // selecting an item copies it into the edits
    bool delete_needs_key = false;
  };

  // Children are named "list", "key", "value", "add", "modify" and "delete".
  explicit PackedListEditor(const Rules& rules, QWidget* parent = nullptr);

  void SetPacked(const std::string& packed);
  std::string Packed() const;
  void ClearEdits();

  // A button beside the value edit (a pair list's "Browse"), or beside the key edit of a
  // plain list.
  QPushButton* AddEditButton(const QString& caption, const char* name);
  void SetValueText(const QString& text);

 private:
  void FillFromSelection();
  void AddItem();
  void ModifyItem();
  void DeleteItem();
  bool IsPair() const { return value_ != nullptr; }
  bool EditsComplete() const;
  QString ItemText() const;
  int SelectedRow() const;

  const Rules rules_;
  QListWidget* list_ = nullptr;
  QLineEdit* key_ = nullptr;
  QLineEdit* value_ = nullptr;  // null for a plain list
  QGridLayout* edits_ = nullptr;
};

}  // namespace vantrel
