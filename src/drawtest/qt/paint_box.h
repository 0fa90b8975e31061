#pragma once
// PaintBox1: the drawing test's canvas. Drawings go to the screen at the next paint, in
// the order they were given; the canvas keeps no record of them, so whatever the system
// asks it to repaint (after clearing, resizing, uncovering) comes back white.
#include "drawtest/canvas.h"

#include <QRect>
#include <QWidget>

#include <functional>
#include <vector>

class QContextMenuEvent;
class QMouseEvent;
class QPaintEvent;

namespace qv::drawtest {

class PaintBox final : public QWidget, public DrawCanvas {
public:
  using ButtonEvent = std::function<void(Qt::MouseButton button, QPoint at)>;
  using PointEvent = std::function<void(QPoint at)>;

  explicit PaintBox(QWidget* parent = nullptr);

  Size outerSize() const override;
  int textWidth(std::string_view text) const override;
  int textHeight(std::string_view text) const override;
  void draw(CanvasOp op) override;
  void clear() override;

  // True from a drawing or a clearing until the paint that puts it on the screen.
  bool awaitingPaint() const { return awaitingPaint_; }

  // Event properties. Positions are in canvas pixels; while a button is held the canvas
  // keeps the pointer, so a drag beyond its edges reports points outside it.
  ButtonEvent OnMouseDown;
  ButtonEvent OnMouseUp;
  ButtonEvent OnDblClick;  // the second press of a double click
  PointEvent OnMouseMove;
  PointEvent OnContextMenu;  // the keyboard's menu key; mouse buttons come as presses and releases
  // Each drawing as it is painted, in order (for tests and measurements).
  std::function<void(const CanvasOp&)> OnPainted;

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

private:
  std::vector<CanvasOp> pending_;  // given but not yet painted
  QRect pendingArea_;              // where they will be painted
  bool awaitingPaint_ = false;
};

}  // namespace qv::drawtest
