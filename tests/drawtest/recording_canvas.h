#pragma once
// A canvas that keeps what it is given, each drawing as one line of text, so that tests
// can compare whole sequences.
#include "drawtest/canvas.h"

#include <string>
#include <vector>

namespace qv::test {

inline std::string describe(const drawtest::CanvasOp& op) {
  auto at = [](drawtest::Point p) { return std::to_string(p.x) + "," + std::to_string(p.y); };
  switch (op.kind) {
    case drawtest::CanvasOp::Kind::Pixel: return "pixel " + at(op.from);
    case drawtest::CanvasOp::Kind::Line: return "line " + at(op.from) + " " + at(op.to);
    case drawtest::CanvasOp::Kind::Text: return "text " + at(op.from) + " [" + op.text + "]";
  }
  return {};
}

class RecordingCanvas final : public drawtest::DrawCanvas {
public:
  drawtest::Size outerSize() const override { return outer; }
  // Seven pixels a character, 16 a line: an event line of 17.
  int textWidth(std::string_view text) const override { return 7 * static_cast<int>(text.size()); }
  int textHeight(std::string_view) const override { return 16; }
  void draw(drawtest::CanvasOp op) override {
    widths.push_back(op.minWidth);
    ops.push_back(describe(op));
  }
  void clear() override { ops.push_back("clear"); }

  drawtest::Size outer{808, 608};
  std::vector<std::string> ops;
  std::vector<int> widths;  // minWidth of each drawing, in the order of ops
};

}  // namespace qv::test
