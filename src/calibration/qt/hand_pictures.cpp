#include "calibration/qt/hand_pictures.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace qv::calibration {

namespace {

// A hand whose index finger points up, drawn on a 64 x 64 grid: the fist with its three
// folded fingers, the thumb across it, the stretched index finger and the cuff.
void drawUpwardHand(QPainter& p) {
  const QPen outline(Qt::black, 2);
  p.setPen(outline);
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(17, 27, 34, 29), 7, 7);
  for (int i = 0; i < 3; ++i) p.drawLine(QLineF(39, 34 + 7 * i, 50, 34 + 7 * i));
  p.drawRoundedRect(QRectF(24, 2, 13, 40), 6, 6);
  p.drawRoundedRect(QRectF(9, 38, 24, 11), 5, 5);
  p.setBrush(QColor(0, 0, 128));
  p.drawRect(QRectF(19, 56, 30, 7));
}

}  // namespace

QPixmap handPicture(int direction) {
  QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.translate(32, 32);
  p.rotate(90.0 * direction);
  p.translate(-32, -32);
  drawUpwardHand(p);
  p.end();
  return QPixmap::fromImage(image);
}

}  // namespace qv::calibration
