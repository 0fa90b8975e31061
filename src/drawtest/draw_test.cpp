#include "drawtest/draw_test.h"

#include "drawtest/line_statistics_text.h"

#include <algorithm>

namespace qv::drawtest {

DrawTest::DrawTest(DrawTestState& state, driver::DriverChannel& driver, DrawCanvas& canvas)
    : state_(state), driver_(driver), canvas_(canvas) {
  state_.EventLineHeight = eventLineHeight(canvas_.textHeight(kLineHeightSample));
  for (std::size_t i = 0; i < statisticsWidths_.size(); ++i) {
    for (const auto& text : widestStatisticsTexts(kStatisticsLabels[i])) {
      statisticsWidths_[i] = std::max(statisticsWidths_[i], canvas_.textWidth(text));
    }
  }
}

void DrawTest::PaintBox1MouseDown(PointerButton button, Point at) {
  writeEventText(pressText(button));
  state_.PenIsDown = true;
  pen_ = at;
  // A tap leaves a dot.
  canvas_.draw({CanvasOp::Kind::Pixel, at, at, {}, 0});
  showStatistics();
}

void DrawTest::PaintBox1MouseMove(Point at) {
  if (showPenLocation_) writeEventText(penLocationText(at));
  if (state_.PenIsDown) {
    canvas_.draw({CanvasOp::Kind::Line, pen_, at, {}, 0});
    pen_ = at;
  }
}

void DrawTest::PaintBox1MouseUp(PointerButton button, Point) {
  writeEventText(releaseText(button));
  state_.PenIsDown = false;
  showStatistics();
}

void DrawTest::PaintBox1DblClick() { writeEventText(kDoubleClickText); }

void DrawTest::writeEventText(std::string_view text) {
  const Size outer = canvas_.outerSize();
  const int top = takeEventLine(state_, outer.height);
  canvas_.draw({CanvasOp::Kind::Text, {eventColumnLeft(outer.width), top}, {}, std::string(text), 0});
}

void DrawTest::showStatistics() {
  const auto lines = statisticsLines(readLineStatistics(driver_));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    canvas_.draw({CanvasOp::Kind::Text, lines[i].at, {}, lines[i].text, statisticsWidths_[i]});
  }
}

}  // namespace qv::drawtest
