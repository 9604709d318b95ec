#include "widgets/status_icons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace vantrel {
namespace {

// A server cabinet: a dark rounded body with two drive slots.
void PaintCabinet(QPainter& painter, const QRectF& area) {
  QLinearGradient body(area.topLeft(), area.bottomRight());
  body.setColorAt(0, QColor(0x4a, 0x6f, 0xa5));
  body.setColorAt(1, QColor(0x1c, 0x2e, 0x4a));
  painter.setPen(QPen(QColor(0x10, 0x1a, 0x2a), area.width() / 32));
  painter.setBrush(body);
  painter.drawRoundedRect(area, area.width() / 8, area.width() / 8);

  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xd8, 0xe4, 0xf4));
  const qreal slot_height = area.height() / 10;
  for (int i = 0; i < 2; ++i) {
    const qreal top = area.top() + area.height() * (0.18 + 0.22 * i);
    painter.drawRoundedRect(
        QRectF(area.left() + area.width() * 0.15, top, area.width() * 0.7, slot_height),
        slot_height / 3, slot_height / 3);
  }
}

void PaintLamp(QPainter& painter, const QPointF& centre, qreal radius, const QColor& colour) {
  QRadialGradient glow(centre - QPointF(radius / 3, radius / 3), radius * 1.2);
  glow.setColorAt(0, colour.lighter(170));
  glow.setColorAt(1, colour);
  painter.setPen(QPen(colour.darker(200), radius / 5));
  painter.setBrush(glow);
  painter.drawEllipse(centre, radius, radius);
}

// Two arrows, down and up: data is moving.
void PaintArrows(QPainter& painter, const QRectF& area) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  const qreal w = area.width();
  const qreal h = area.height();
  QPainterPath down;
  down.moveTo(area.left() + w * 0.12, area.top() + h * 0.35);
  down.lineTo(area.left() + w * 0.44, area.top() + h * 0.35);
  down.lineTo(area.left() + w * 0.28, area.top() + h * 0.62);
  down.closeSubpath();
  QPainterPath up;
  up.moveTo(area.left() + w * 0.56, area.top() + h * 0.62);
  up.lineTo(area.left() + w * 0.88, area.top() + h * 0.62);
  up.lineTo(area.left() + w * 0.72, area.top() + h * 0.35);
  up.closeSubpath();
  painter.drawPath(down);
  painter.drawPath(up);
}

QPixmap DrawStatusPixmap(int index, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF cabinet(size * 0.12, size * 0.04, size * 0.62, size * 0.92);
  PaintCabinet(painter, cabinet);

  const QPointF lamp_centre(size * 0.72, size * 0.74);
  const qreal lamp_radius = size * 0.22;
  switch (index) {
    case kIconIdleOn:
      PaintLamp(painter, lamp_centre, lamp_radius, QColor(0x2e, 0xcc, 0x40));
      break;
    case kIconIdleOff:
      PaintLamp(painter, lamp_centre, lamp_radius, QColor(0x1b, 0x5e, 0x20));
      break;
    case kIconClients: {
      PaintLamp(painter, lamp_centre, lamp_radius, QColor(0x2e, 0xcc, 0x40));
      const QRectF lamp_box(lamp_centre.x() - lamp_radius, lamp_centre.y() - lamp_radius,
                            2 * lamp_radius, 2 * lamp_radius);
      PaintArrows(painter, lamp_box);
      break;
    }
    default:
      PaintLamp(painter, lamp_centre, lamp_radius, QColor(0xe5, 0x39, 0x35));
      break;
  }
  return pixmap;
}

}  // namespace

QIcon DrawStatusIcon(int index) {
  QIcon icon;
  for (const int size : {16, 22, 32, 48, 64})
    icon.addPixmap(DrawStatusPixmap(index, size));
  return icon;
}

QPixmap DrawLogo(int size) {
  return DrawStatusPixmap(kIconClients, size);
}

}  // namespace vantrel
