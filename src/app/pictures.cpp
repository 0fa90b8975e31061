#include "app/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>

namespace qv::app::pictures {

namespace {

const QColor kScreenBlue(40, 80, 150);
const QColor kBezel(70, 70, 78);

// A small monitor: bezel, blue screen, stand. Returns the screen rectangle.
QRectF paintMonitor(QPainter& p, QSizeF size) {
  const qreal w = size.width(), h = size.height();
  const QRectF bezel(w * 0.08, h * 0.04, w * 0.84, h * 0.70);
  p.setPen(QPen(QColor(30, 30, 34), 1));
  p.setBrush(kBezel);
  p.drawRoundedRect(bezel, 5, 5);
  const QRectF screen = bezel.adjusted(w * 0.05, h * 0.05, -w * 0.05, -h * 0.07);
  QLinearGradient glow(screen.topLeft(), screen.bottomRight());
  glow.setColorAt(0, kScreenBlue.lighter(140));
  glow.setColorAt(1, kScreenBlue);
  p.setBrush(glow);
  p.drawRect(screen);
  p.setBrush(kBezel);
  p.drawRect(QRectF(w * 0.44, bezel.bottom(), w * 0.12, h * 0.10));
  p.drawRoundedRect(QRectF(w * 0.28, bezel.bottom() + h * 0.10, w * 0.44, h * 0.07), 3, 3);
  return screen;
}

void paintTarget(QPainter& p, QPointF c, qreal r) {
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::white, 1.5));
  p.drawEllipse(c, r, r);
  p.drawLine(QPointF(c.x() - r * 1.6, c.y()), QPointF(c.x() + r * 1.6, c.y()));
  p.drawLine(QPointF(c.x(), c.y() - r * 1.6), QPointF(c.x(), c.y() + r * 1.6));
}

// A pointing finger reduced to a rounded tip, touching at 'at'.
void paintFinger(QPainter& p, QPointF at, qreal size) {
  QPainterPath finger;
  finger.addRoundedRect(QRectF(at.x() - size * 0.18, at.y(), size * 0.36, size), size * 0.18, size * 0.18);
  p.setPen(QPen(QColor(120, 80, 50), 1));
  p.setBrush(QColor(240, 200, 160));
  p.drawPath(finger);
}

QPixmap canvas(QSize size) {
  QPixmap pix(size);
  pix.fill(Qt::transparent);
  return pix;
}

}  // namespace

QPixmap arrowGlyph(Arrow direction, const QColor& color) {
  QPixmap pix = canvas(QSize(10, 10));
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  QPolygonF up;
  up << QPointF(5, 1.5) << QPointF(9, 7.5) << QPointF(1, 7.5);
  p.translate(5, 5);
  p.rotate(90.0 * (static_cast<int>(direction) - 1));
  p.translate(-5, -5);
  p.drawPolygon(up);
  return pix;
}

QPixmap cursorImage(bool faint) {
  QPixmap pix = canvas(QSize(kCursorImageWidth, kCursorImageHeight));
  QPainter p(&pix);
  // The classic arrow outline, one pixel per unit.
  QPolygon arrow;
  arrow << QPoint(0, 0) << QPoint(0, 15) << QPoint(4, 11) << QPoint(7, 18) << QPoint(9, 17) << QPoint(6, 10)
        << QPoint(10, 10);
  const QColor outline = faint ? QColor(150, 150, 150) : Qt::black;
  const QColor fill = faint ? QColor(225, 225, 225) : Qt::white;
  p.setPen(outline);
  p.setBrush(fill);
  p.drawPolygon(arrow);
  return pix;
}

QPixmap initialPicture(QSize size) {
  QPixmap pix = canvas(size);
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF screen = paintMonitor(p, size);
  // A gear: the driver set up again from the stored limits.
  const QPointF c = screen.center();
  const qreal r = screen.height() * 0.28;
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(230, 230, 235));
  for (int i = 0; i < 8; ++i) {
    p.save();
    p.translate(c);
    p.rotate(i * 45.0);
    p.drawRect(QRectF(-r * 0.18, -r * 1.25, r * 0.36, r * 0.5));
    p.restore();
  }
  p.drawEllipse(c, r, r);
  p.setBrush(kScreenBlue);
  p.drawEllipse(c, r * 0.4, r * 0.4);
  return pix;
}

QPixmap calibrationPicture(QSize size) {
  QPixmap pix = canvas(size);
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF s = paintMonitor(p, size);
  const qreal r = s.height() * 0.08;
  const QPointF top(s.center().x(), s.top() + r * 2.2), right(s.right() - r * 2.2, s.center().y()),
      bottom(s.center().x(), s.bottom() - r * 2.2), left(s.left() + r * 2.2, s.center().y());
  for (QPointF t : {top, right, bottom, left}) paintTarget(p, t, r);
  paintFinger(p, right, s.height() * 0.55);
  return pix;
}

QPixmap drawPicture(QSize size) {
  QPixmap pix = canvas(size);
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF s = paintMonitor(p, size);
  p.fillRect(s.adjusted(1, 1, 0, 0), Qt::white);
  QPainterPath trace;
  trace.moveTo(s.left() + s.width() * 0.12, s.bottom() - s.height() * 0.25);
  trace.cubicTo(s.left() + s.width() * 0.3, s.top() + s.height() * 0.05, s.left() + s.width() * 0.5,
                s.bottom() + s.height() * 0.1, s.right() - s.width() * 0.3, s.top() + s.height() * 0.3);
  trace.quadTo(s.right() - s.width() * 0.15, s.top() + s.height() * 0.15, s.right() - s.width() * 0.1,
               s.top() + s.height() * 0.45);
  p.setPen(QPen(QColor(200, 30, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(trace);
  // The pen resting at the end of the trace.
  p.save();
  p.translate(s.right() - s.width() * 0.1, s.top() + s.height() * 0.45);
  p.rotate(-35);
  p.setPen(QPen(QColor(30, 30, 30), 1));
  p.setBrush(QColor(250, 210, 60));
  p.drawRect(QRectF(-2.5, -s.height() * 0.6, 5, s.height() * 0.5));
  QPolygonF tip;
  tip << QPointF(-2.5, -s.height() * 0.1) << QPointF(2.5, -s.height() * 0.1) << QPointF(0, 0);
  p.setBrush(QColor(230, 190, 140));
  p.drawPolygon(tip);
  p.restore();
  return pix;
}

QPixmap windowIcon() {
  QPixmap pix = canvas(QSize(32, 32));
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  paintMonitor(p, QSizeF(32, 32));
  paintTarget(p, QPointF(16, 13), 3.5);
  return pix;
}

}  // namespace qv::app::pictures
