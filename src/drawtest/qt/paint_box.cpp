#include "drawtest/qt/paint_box.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace qv::drawtest {

namespace {

QString qtext(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QPoint qpoint(Point p) { return {p.x, p.y}; }

QRect textRect(const QFontMetrics& metrics, const CanvasOp& op) {
  const int width = std::max(metrics.horizontalAdvance(qtext(op.text)), op.minWidth);
  return {qpoint(op.from), QSize(width, metrics.height())};
}

}  // namespace

PaintBox::PaintBox(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PaintBox1"));
  // Paints add to what is on the screen: nothing is erased before a paint.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);  // moves without a button held, for the pen location
}

Size PaintBox::outerSize() const {
  const QRect outer = window()->frameGeometry();
  return {outer.width(), outer.height()};
}

int PaintBox::textWidth(std::string_view text) const { return fontMetrics().horizontalAdvance(qtext(text)); }

int PaintBox::textHeight(std::string_view text) const {
  return fontMetrics().size(Qt::TextSingleLine, qtext(text)).height();
}

void PaintBox::draw(CanvasOp op) {
  QRect area;
  switch (op.kind) {
    case CanvasOp::Kind::Pixel: area = QRect(qpoint(op.from), QSize(1, 1)); break;
    case CanvasOp::Kind::Line:
      area = QRect(QPoint(std::min(op.from.x, op.to.x), std::min(op.from.y, op.to.y)),
                   QPoint(std::max(op.from.x, op.to.x), std::max(op.from.y, op.to.y)));
      break;
    case CanvasOp::Kind::Text: area = textRect(fontMetrics(), op); break;
  }
  pending_.push_back(std::move(op));
  pendingArea_ |= area;
  awaitingPaint_ = true;
  update(area);
}

void PaintBox::clear() {
  pending_.clear();
  pendingArea_ = {};
  awaitingPaint_ = true;
  update();
}

void PaintBox::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  // What the system asks for beyond the new drawings comes back white: nothing else is kept.
  for (const QRect& r : event->region() - QRegion(pendingArea_)) painter.fillRect(r, Qt::white);
  painter.setPen(QPen(Qt::black, 0));
  const QFontMetrics metrics = fontMetrics();
  for (const CanvasOp& op : pending_) {
    switch (op.kind) {
      case CanvasOp::Kind::Pixel: painter.drawPoint(qpoint(op.from)); break;
      case CanvasOp::Kind::Line: painter.drawLine(qpoint(op.from), qpoint(op.to)); break;
      case CanvasOp::Kind::Text: {
        const QRect r = textRect(metrics, op);
        painter.fillRect(r, Qt::white);
        painter.drawText(QPoint(r.left(), r.top() + metrics.ascent()), qtext(op.text));
        break;
      }
    }
    if (OnPainted) OnPainted(op);
  }
  pending_.clear();
  pendingArea_ = {};
  awaitingPaint_ = false;
}

void PaintBox::mousePressEvent(QMouseEvent* event) {
  if (OnMouseDown) OnMouseDown(event->button(), event->position().toPoint());
  event->accept();
}

void PaintBox::mouseReleaseEvent(QMouseEvent* event) {
  if (OnMouseUp) OnMouseUp(event->button(), event->position().toPoint());
  event->accept();
}

void PaintBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (OnDblClick) OnDblClick(event->button(), event->position().toPoint());
  event->accept();
}

void PaintBox::mouseMoveEvent(QMouseEvent* event) {
  if (OnMouseMove) OnMouseMove(event->position().toPoint());
  event->accept();
}

void PaintBox::contextMenuEvent(QContextMenuEvent* event) {
  // A right press comes here before its release on this platform; the menu opens after the
  // release instead, so the canvas sees the whole press and release first.
  if (event->reason() != QContextMenuEvent::Mouse && OnContextMenu) OnContextMenu(event->pos());
  event->accept();
}

}  // namespace qv::drawtest
