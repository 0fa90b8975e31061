#pragma once
// TDrawForm: the drawing test window. A full-screen white window without caption bar whose
// canvas draws the pen trace, lists the pointer events at the right and shows the driver's
// line statistics at the left; a "Menu" button and the canvas's context menu offer the pen
// location, clearing and leaving. Created for one modal showing, destroyed after it.
#include "drawtest/draw_test.h"
#include "drawtest/draw_test_state.h"
#include "drawtest/statistics_reader.h"

#include <QDialog>

#include <memory>

class QAction;
class QMenu;
class QPushButton;

namespace qv::drawtest {

class PaintBox;

class TDrawForm final : public QDialog {
public:
  // The statistics come from reader, which outlives the window: closing it never waits
  // for a reading on its way.
  TDrawForm(DrawTestState& state, StatisticsReader& reader, QWidget* parent = nullptr);
  ~TDrawForm() override;

  PaintBox* paintBox1() const { return paintBox1_; }
  QPushButton* button1() const { return button1_; }
  QMenu* popupMenu1() const { return popupMenu1_; }
  DrawTest& drawTest() { return *drawTest_; }

  // "Menu": the menu opens with its top-left corner at the window's (the monitor's) corner.
  void Button1Click();
  void M1Click();
  void C1Click();
  void E1Click();

protected:
  // The keyboard's menu key and Shift+F10 open the canvas's context menu, as the right
  // button does; the canvas never has the keyboard focus, so the window takes them.
  void keyPressEvent(QKeyEvent* event) override;

private:
  void buildMenu();
  void connectCanvas();

  QWidget* panel2_ = nullptr;
  PaintBox* paintBox1_ = nullptr;
  QPushButton* button1_ = nullptr;
  QMenu* popupMenu1_ = nullptr;
  QAction* L1_ = nullptr;
  QAction* C1_ = nullptr;
  QAction* N1_ = nullptr;
  QAction* E1_ = nullptr;
  std::unique_ptr<DrawTest> drawTest_;  // after the canvas it draws on
};

}  // namespace qv::drawtest
