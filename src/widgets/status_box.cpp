#include "widgets/status_box.h"

namespace vantrel {

StatusBox::StatusBox(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignCenter);
  setAutoFillBackground(true);
  setFrameShape(QFrame::StyledPanel);
  setMinimumWidth(90);
}

void StatusBox::SetState(const QString& caption, const QColor& background) {
  background_ = background;
  QPalette colours = palette();
  colours.setColor(QPalette::Window, background);
  // The box is light whatever the desktop theme, so its text is always dark.
  colours.setColor(QPalette::WindowText, Qt::black);
  setPalette(colours);
  setText(caption);
}

}  // namespace vantrel
