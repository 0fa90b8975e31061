#pragma once
// What the drawing test draws on: a white canvas with a black one-pixel pen and text in
// the window's font, black on an opaque white background. The logic hands it drawings;
// the window puts them on the screen in the order given.
#include <string>
#include <string_view>

namespace qv::drawtest {

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  int width = 0;
  int height = 0;
};

struct CanvasOp {
  enum class Kind { Pixel, Line, Text };
  Kind kind = Kind::Pixel;
  Point from;        // the pixel, the line's start, the text's top-left corner
  Point to;          // the line's end
  std::string text;  // drawn opaque: white under the text, black letters
  int minWidth = 0;  // the white under a text reaches at least this wide
  bool operator==(const CanvasOp&) const = default;
};

class DrawCanvas {
public:
  virtual ~DrawCanvas() = default;
  // The window's outer size, frame included: the event column is placed by it.
  virtual Size outerSize() const = 0;
  virtual int textWidth(std::string_view text) const = 0;
  virtual int textHeight(std::string_view text) const = 0;
  virtual void draw(CanvasOp op) = 0;
  // Everything drawn so far vanishes: the canvas is white again.
  virtual void clear() = 0;
};

}  // namespace qv::drawtest
