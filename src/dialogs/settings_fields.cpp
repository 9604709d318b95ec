#include "dialogs/settings_fields.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "common/packed_list.h"
#include "widgets/controls.h"

namespace vantrel {
namespace {

// The memo's lines as packed-list items; the line break after the last line adds none.
std::string PackLines(const QPlainTextEdit& memo) {
  QStringList lines = memo.toPlainText().split('\n');
  while (!lines.isEmpty() && lines.constLast().isEmpty())
    lines.removeLast();
  std::vector<std::string> items;
  for (const QString& line : lines)
    items.push_back(line.toStdString());
  return JoinPacked(items);
}

QString UnpackLines(const std::string& packed) {
  QStringList lines;
  for (const std::string& item : SplitPacked(packed))
    lines << QString::fromStdString(item);
  return lines.join('\n');
}

}  // namespace

QLineEdit* SettingsFields::Number(const char* name, int SettingsData::*field, QWidget* parent) {
  QLineEdit* edit = NumberEdit(name, parent);
  fields_.push_back(NumberField{edit, field});
  return edit;
}

QCheckBox* SettingsFields::Check(const QString& caption, const char* name,
                                 bool SettingsData::*field, QWidget* parent) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  fields_.push_back(CheckField{box, field});
  return box;
}

QLineEdit* SettingsFields::Text(const char* name, std::string SettingsData::*field,
                                QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  fields_.push_back(TextField{edit, field});
  return edit;
}

QPlainTextEdit* SettingsFields::Lines(const char* name, std::string SettingsData::*field,
                                      QWidget* parent) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(name);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  fields_.push_back(LinesField{memo, field});
  return memo;
}

PackedListEditor* SettingsFields::List(const char* name, const PackedListEditor::Rules& rules,
                                       std::string SettingsData::*field, QWidget* parent) {
  auto* editor = new PackedListEditor(rules, parent);
  editor->setObjectName(name);
  fields_.push_back(ListField{editor, field});
  return editor;
}

void SettingsFields::Fill(const SettingsData& values) const {
  for (const Field& field : fields_) {
    std::visit(
        [&values](const auto& f) {
          using F = std::decay_t<decltype(f)>;
          if constexpr (std::is_same_v<F, NumberField>) {
            f.edit->setText(QString::number(values.*f.field));
          } else if constexpr (std::is_same_v<F, CheckField>) {
            f.box->setChecked(values.*f.field);
          } else if constexpr (std::is_same_v<F, TextField>) {
            f.edit->setText(QString::fromStdString(values.*f.field));
          } else if constexpr (std::is_same_v<F, LinesField>) {
            f.memo->setPlainText(UnpackLines(values.*f.field));
          } else {
            f.editor->SetPacked(values.*f.field);
            f.editor->ClearEdits();
          }
        },
        field);
  }
}

void SettingsFields::Store(SettingsData& values) const {
  for (const Field& field : fields_) {
    std::visit(
        [&values](const auto& f) {
          using F = std::decay_t<decltype(f)>;
          if constexpr (std::is_same_v<F, NumberField>)
            values.*f.field = NumberIn(*f.edit);
          else if constexpr (std::is_same_v<F, CheckField>)
            values.*f.field = f.box->isChecked();
          else if constexpr (std::is_same_v<F, TextField>)
            values.*f.field = f.edit->text().toStdString();
          else if constexpr (std::is_same_v<F, LinesField>)
            values.*f.field = PackLines(*f.memo);
          else
            values.*f.field = f.editor->Packed();
        },
        field);
  }
}

}  // namespace vantrel
