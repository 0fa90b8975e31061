#include "drawtest/draw_test.h"

#include "drawtest/line_statistics_text.h"

#include <algorithm>

namespace qv::drawtest {

DrawTest::DrawTest(DrawTestState& state, StatisticsReader& statistics, DrawCanvas& canvas)
    : state_(state), statistics_(statistics), canvas_(canvas) {
  state_.EventLineHeight = eventLineHeight(canvas_.textHeight(kLineHeightSample));
  // A window closed with a button held never saw its release: the new one must not draw
  // from its first hover.
  state_.PenIsDown = false;
  for (std::size_t i = 0; i < statisticsWidths_.size(); ++i) {
    for (const auto& text : widestStatisticsTexts(kStatisticsLabels[i])) {
      statisticsWidths_[i] = std::max(statisticsWidths_[i], canvas_.textWidth(text));
    }
  }
  statistics_.setListener([this](const StatisticsReading& reading) { showStatistics(reading); });
}

DrawTest::~DrawTest() { statistics_.setListener({}); }

void DrawTest::PaintBox1MouseDown(PointerButton button, Point at) {
  writeEventText(pressText(button));
  state_.PenIsDown = true;
  pen_ = at;
  // A tap leaves a dot.
  canvas_.draw({CanvasOp::Kind::Pixel, at, at, {}, 0});
  statistics_.ask();
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
  statistics_.ask();
}

void DrawTest::PaintBox1DblClick() { writeEventText(kDoubleClickText); }

void DrawTest::writeEventText(std::string_view text) {
  const Size outer = canvas_.outerSize();
  const int top = takeEventLine(state_, outer.height);
  canvas_.draw({CanvasOp::Kind::Text, {eventColumnLeft(outer.width), top}, {}, std::string(text), 0});
}

void DrawTest::showStatistics(const StatisticsReading& reading) {
  const auto lines = statisticsLines(reading);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    canvas_.draw({CanvasOp::Kind::Text, lines[i].at, {}, lines[i].text, statisticsWidths_[i]});
  }
}

}  // namespace qv::drawtest
