#pragma once

#include <QColor>
#include <QWidget>

namespace vantrel {

// A panel whose background runs from one colour at the top to another at the bottom; the
// banners of the About tab stand on it. Owned by its parent; main thread only.
class GradientPanel : public QWidget {
  Q_OBJECT

 public:
  GradientPanel(QColor top, QColor bottom, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor top_;
  QColor bottom_;
};

}  // namespace vantrel
