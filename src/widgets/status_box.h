#pragma once

#include <QLabel>

namespace vantrel {

// The first panel of the status bar: a caption on a coloured box ("Running" on light
// green, "Stopped" on light red). Owned by the status bar; main thread only.
class StatusBox : public QLabel {
  Q_OBJECT

 public:
  explicit StatusBox(QWidget* parent = nullptr);

  void SetState(const QString& caption, const QColor& background);
  QColor Background() const { return background_; }

 private:
  QColor background_;
};

}  // namespace vantrel
