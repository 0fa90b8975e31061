#pragma once
// The drawing test's handlers: the pen trace, the event column and the line statistics,
// over a canvas that puts the drawings on the screen. One DrawTest lives as long as its
// window; the state it is given outlives both.
#include "drawtest/canvas.h"
#include "drawtest/draw_test_state.h"
#include "drawtest/event_column.h"
#include "drawtest/line_statistics_text.h"
#include "drawtest/statistics_reader.h"

#include <array>

namespace qv::drawtest {

class DrawTest {
public:
  // The window's creation: measures the line height of the event column in the canvas's
  // font and keeps it in the state; the pen starts up, whatever the last window left.
  // Readings from the reader are shown on this canvas while it lives.
  DrawTest(DrawTestState& state, StatisticsReader& statistics, DrawCanvas& canvas);
  ~DrawTest();
  DrawTest(const DrawTest&) = delete;
  DrawTest& operator=(const DrawTest&) = delete;

  // Any button pressed over the canvas: its text, the pen down at the point, a dot there,
  // and the statistics asked for (drawn when the reading comes).
  void PaintBox1MouseDown(PointerButton button, Point at);
  // The pointer moved over the canvas, or dragged while the canvas holds it.
  void PaintBox1MouseMove(Point at);
  void PaintBox1MouseUp(PointerButton button, Point at);
  void PaintBox1DblClick();
  // "&Show Pen Location" toggles its tick.
  void M1Click() { showPenLocation_ = !showPenLocation_; }
  // "&Clear Screen": the canvas goes white; the event column goes on where it was.
  // Readings asked for before stay off the cleared canvas.
  void C1Click() {
    canvas_.clear();
    statistics_.forgetAsks();
  }

  bool showPenLocation() const { return showPenLocation_; }
  Point penPosition() const { return pen_; }

private:
  void writeEventText(std::string_view text);
  void showStatistics(const StatisticsReading& reading);

  DrawTestState& state_;
  StatisticsReader& statistics_;
  DrawCanvas& canvas_;
  Point pen_;  // the canvas's pen; event texts and statistics leave it where it is
  bool showPenLocation_ = false;
  std::array<int, 4> statisticsWidths_{};
};

}  // namespace qv::drawtest
