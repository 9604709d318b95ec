#pragma once

// Builders of the controls every window and dialog makes alike, so that a button's hint
// or a number field's rules cannot differ from one dialog to the next.

#include <QString>
#include <initializer_list>

class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QWidget;

namespace vantrel {

// A button with an object name (the tests and screenshots find controls by it) and, when
// given, a hint shown as its tool tip and in the main window's message panel.
QPushButton* NamedButton(const QString& caption, const char* name, QWidget* parent,
                         const QString& hint = QString());

// The buttons side by side from the left, the rest of the row empty.
QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons);

// An edit that takes whole numbers from 0 up, as narrow as such numbers need.
QLineEdit* NumberEdit(const char* name, QWidget* parent);

// The number in an edit; an empty edit or one that holds no number counts as 0.
int NumberIn(const QLineEdit& edit);

}  // namespace vantrel
