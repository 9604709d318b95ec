#include "dialogs/packed_list_editor.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <vector>

#include "common/packed_list.h"

namespace vantrel {
namespace {

QLineEdit* NamedEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  return edit;
}

QPushButton* NamedButton(const QString& caption, const char* name, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  return button;
}

}  // namespace

PackedListEditor::PackedListEditor(const Rules& rules, QWidget* parent)
    : QWidget(parent), rules_(rules) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new QLabel(rules_.list_label, this));
  list_ = new QListWidget(this);
  list_->setObjectName("list");
  layout->addWidget(list_, 1);

  edits_ = new QGridLayout();
  key_ = NamedEdit("key", this);
  if (!rules_.key_label.isEmpty())
    edits_->addWidget(new QLabel(rules_.key_label, this), 0, 0);
  edits_->addWidget(key_, 0, 1);
  if (!rules_.value_label.isEmpty()) {
    value_ = NamedEdit("value", this);
    edits_->addWidget(new QLabel(rules_.value_label, this), 1, 0);
    edits_->addWidget(value_, 1, 1);
  }
  layout->addLayout(edits_);

  auto* buttons = new QHBoxLayout();
  auto* add = NamedButton("Add", "add", this);
  auto* modify = NamedButton("Modify", "modify", this);
  auto* remove = NamedButton("Delete", "delete", this);
  for (QPushButton* button : {add, modify, remove})
    buttons->addWidget(button);
  buttons->addStretch();
  layout->addLayout(buttons);

  connect(list_, &QListWidget::itemSelectionChanged, this, &PackedListEditor::FillFromSelection);
  connect(add, &QPushButton::clicked, this, &PackedListEditor::AddItem);
  connect(modify, &QPushButton::clicked, this, &PackedListEditor::ModifyItem);
  connect(remove, &QPushButton::clicked, this, &PackedListEditor::DeleteItem);
}

void PackedListEditor::SetPacked(const std::string& packed) {
  list_->clear();
  for (const std::string& item : SplitPacked(packed))
    list_->addItem(QString::fromStdString(item));
}

std::string PackedListEditor::Packed() const {
  std::vector<std::string> items;
  for (int row = 0; row < list_->count(); ++row)
    items.push_back(list_->item(row)->text().toStdString());
  return JoinPacked(items);
}

void PackedListEditor::ClearEdits() {
  key_->clear();
  if (IsPair())
    value_->clear();
}

QPushButton* PackedListEditor::AddEditButton(const QString& caption, const char* name) {
  auto* button = NamedButton(caption, name, this);
  edits_->addWidget(button, IsPair() ? 1 : 0, 2);
  return button;
}

void PackedListEditor::SetValueText(const QString& text) {
  (IsPair() ? value_ : key_)->setText(text);
}

int PackedListEditor::SelectedRow() const {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? -1 : list_->row(selected.constFirst());
}

bool PackedListEditor::EditsComplete() const {
  if (key_->text().isEmpty())
    return false;
  return !IsPair() || !rules_.value_required || !value_->text().isEmpty();
}

QString PackedListEditor::ItemText() const {
  return IsPair() ? key_->text() + "=" + value_->text() : key_->text();
}

void PackedListEditor::FillFromSelection() {
  const int row = SelectedRow();
  if (!rules_.fill_on_select || row < 0)
    return;
  const QString item = list_->item(row)->text();
  if (!IsPair()) {
    key_->setText(item);
    return;
  }
  const std::string text = item.toStdString();
  const NameValue pair = SplitNameValue(text);
  key_->setText(QString::fromStdString(std::string(pair.name)));
  value_->setText(QString::fromStdString(std::string(pair.value)));
}

void PackedListEditor::AddItem() {
  if (!EditsComplete())
    return;
  list_->addItem(ItemText());
  ClearEdits();
}

void PackedListEditor::ModifyItem() {
  const int row = SelectedRow();
  if (row < 0 || !EditsComplete())
    return;
  list_->item(row)->setText(ItemText());
  ClearEdits();
}

void PackedListEditor::DeleteItem() {
  const int row = SelectedRow();
  if (row < 0 || (rules_.delete_needs_key && key_->text().isEmpty()))
    return;
  delete list_->takeItem(row);
  // Nothing stays selected, so a second "Delete" cannot take the next item unasked.
  list_->clearSelection();
  list_->setCurrentItem(nullptr);
  ClearEdits();
}

}  // namespace vantrel
