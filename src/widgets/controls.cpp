#include "widgets/controls.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <climits>

namespace vantrel {
namespace {

constexpr int kNumberWidth = 120;

}  // namespace

QPushButton* NamedButton(const QString& caption, const char* name, QWidget* parent,
                         const QString& hint) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  if (!hint.isEmpty()) {
    button->setToolTip(hint);
    button->setStatusTip(hint);
  }
  return button;
}

QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons) {
  auto* row = new QHBoxLayout();
  for (QPushButton* button : buttons)
    row->addWidget(button);
  row->addStretch();
  return row;
}

QLineEdit* NumberEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setValidator(new QIntValidator(0, INT_MAX, edit));
  edit->setMaximumWidth(kNumberWidth);
  return edit;
}

int NumberIn(const QLineEdit& edit) {
  bool ok = false;
  const int value = edit.text().trimmed().toInt(&ok);
  return ok ? value : 0;
}

}  // namespace vantrel
