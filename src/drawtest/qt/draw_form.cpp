#include "drawtest/qt/draw_form.h"

#include "drawtest/qt/paint_box.h"
#include "platform/qt/qt_full_screen.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

namespace qv::drawtest {

namespace {

std::optional<PointerButton> pointerButton(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton: return PointerButton::Left;
    case Qt::RightButton: return PointerButton::Right;
    case Qt::MiddleButton: return PointerButton::Middle;
    default: return std::nullopt;  // other buttons are not the pen's
  }
}

Point point(QPoint p) { return {p.x(), p.y()}; }

QFont pixelFont(const QFont& base, int pixels) {
  QFont f = base;
  f.setPixelSize(pixels);
  return f;
}

}  // namespace

TDrawForm::TDrawForm(DrawTestState& state, StatisticsReader& reader, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TDrawForm"));
  // A sizing border and no caption bar.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint);
  setFont(pixelFont(font(), 13));
  QPalette black = palette();
  black.setColor(QPalette::WindowText, Qt::black);
  black.setColor(QPalette::Text, Qt::black);
  setPalette(black);

  panel2_ = new QWidget(this);
  panel2_->setObjectName(QStringLiteral("Panel2"));
  QPalette white = panel2_->palette();
  white.setColor(QPalette::Window, Qt::white);
  panel2_->setPalette(white);
  panel2_->setAutoFillBackground(true);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(panel2_);

  paintBox1_ = new PaintBox(panel2_);
  auto* inner = new QVBoxLayout(panel2_);
  inner->setContentsMargins(0, 0, 0, 0);
  inner->addWidget(paintBox1_);

  button1_ = new QPushButton(QStringLiteral("Menu"), panel2_);
  button1_->setObjectName(QStringLiteral("Button1"));
  button1_->setFont(pixelFont(font(), 17));
  button1_->setAutoDefault(false);
  button1_->setGeometry(0, 0, 65, 33);
  button1_->raise();
  connect(button1_, &QPushButton::clicked, this, [this] { Button1Click(); });

  buildMenu();

  // Full-screen from its creation on the monitor that holds the main window (its parent),
  // bars and docks included.
  platform::makeFullScreenOn(*this, parent);

  drawTest_ = std::make_unique<DrawTest>(state, reader, *paintBox1_);
  connectCanvas();
}

TDrawForm::~TDrawForm() = default;

void TDrawForm::buildMenu() {
  popupMenu1_ = new QMenu(this);
  popupMenu1_->setObjectName(QStringLiteral("PopupMenu1"));
  L1_ = popupMenu1_->addAction(QStringLiteral("&Show Pen Location"));
  L1_->setObjectName(QStringLiteral("L1"));
  L1_->setCheckable(true);
  C1_ = popupMenu1_->addAction(QStringLiteral("&Clear Screen"));
  C1_->setObjectName(QStringLiteral("C1"));
  N1_ = popupMenu1_->addSeparator();
  N1_->setObjectName(QStringLiteral("N1"));
  E1_ = popupMenu1_->addAction(QStringLiteral("&Exit"));
  E1_->setObjectName(QStringLiteral("E1"));
  connect(L1_, &QAction::triggered, this, [this] { M1Click(); });
  connect(C1_, &QAction::triggered, this, [this] { C1Click(); });
  connect(E1_, &QAction::triggered, this, [this] { E1Click(); });
}

void TDrawForm::connectCanvas() {
  paintBox1_->OnMouseDown = [this](Qt::MouseButton button, QPoint at) {
    if (auto b = pointerButton(button)) drawTest_->PaintBox1MouseDown(*b, point(at));
  };
  paintBox1_->OnMouseUp = [this](Qt::MouseButton button, QPoint at) {
    const auto b = pointerButton(button);
    if (!b) return;
    drawTest_->PaintBox1MouseUp(*b, point(at));
    // The context menu opens once the right button is up, so the canvas saw its release.
    if (*b == PointerButton::Right) popupMenu1_->popup(paintBox1_->mapToGlobal(at));
  };
  paintBox1_->OnDblClick = [this](Qt::MouseButton button, QPoint at) {
    const auto b = pointerButton(button);
    if (!b) return;
    // The second press of a double click is a press as well: its text follows the double
    // click's, and the pen goes down as for any press.
    if (*b == PointerButton::Left) drawTest_->PaintBox1DblClick();
    drawTest_->PaintBox1MouseDown(*b, point(at));
  };
  paintBox1_->OnMouseMove = [this](QPoint at) { drawTest_->PaintBox1MouseMove(point(at)); };
  paintBox1_->OnContextMenu = [this](QPoint at) { popupMenu1_->popup(paintBox1_->mapToGlobal(at)); };
}

void TDrawForm::keyPressEvent(QKeyEvent* event) {
  const bool menuKey = event->key() == Qt::Key_Menu ||
                       (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
  if (!menuKey) {
    QDialog::keyPressEvent(event);  // Esc closes the window
    return;
  }
  // At the pointer when it is over the canvas, else in the canvas's middle.
  const QPoint pointer = paintBox1_->mapFromGlobal(QCursor::pos());
  paintBox1_->OnContextMenu(paintBox1_->rect().contains(pointer) ? pointer : paintBox1_->rect().center());
  event->accept();
}

void TDrawForm::Button1Click() {
  // The window's own top-left corner, which is its monitor's as it is full-screen; a
  // position taken from the desktop would mean nothing where windows do not know theirs.
  popupMenu1_->popup(mapToGlobal(QPoint(0, 0)));
}

void TDrawForm::M1Click() {
  drawTest_->M1Click();
  L1_->setChecked(drawTest_->showPenLocation());
}

void TDrawForm::C1Click() { drawTest_->C1Click(); }

void TDrawForm::E1Click() { close(); }

}  // namespace qv::drawtest
