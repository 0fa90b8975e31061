#include "calibration/qt/hand_pictures.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace qv::calibration {

namespace {

// A hand whose index finger points up, drawn on a 64 x 64 grid.
void drawUpwardHand(QPainter& p) {
  const QPen outline(Qt::black, 2);
  p.setPen(outline);
  p.setBrush(Qt::white);
  // Index finger.
  p.drawRoundedRect(QRectF(26, 3, 10, 34), 5, 5);
  // Thumb, lying along the left of the fist.
  p.drawRoundedRect(QRectF(12, 30, 12, 18), 5, 5);
  // Fist with the three folded fingers.
  p.drawRoundedRect(QRectF(20, 27, 28, 28), 6, 6);
  for (int i = 0; i < 3; ++i) p.drawLine(QLineF(36, 34 + 6 * i, 47, 34 + 6 * i));
  // The finger again over the fist, so its outline stays whole.
  p.setPen(Qt::NoPen);
  p.drawRect(QRectF(27, 26, 8, 8));
  p.setPen(outline);
  p.drawLine(QLineF(26, 26, 26, 36));
  p.drawLine(QLineF(36, 26, 36, 33));
  // Cuff.
  p.setBrush(QColor(0, 0, 128));
  p.drawRect(QRectF(21, 55, 26, 7));
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
