#pragma once
// The event column at the right of the canvas: the texts written for pointer events and
// the line each one goes to.
#include "drawtest/canvas.h"
#include "drawtest/draw_test_state.h"

#include <string>
#include <string_view>

namespace qv::drawtest {

enum class PointerButton { Left, Right, Middle };

// Every text ends in blanks: drawn opaque, they cover what a longer text left on the line.
inline constexpr std::string_view kDoubleClickText = "Double Click      ";
std::string_view pressText(PointerButton button);
std::string_view releaseText(PointerButton button);
// "(x,y)" in signed decimals, then 18 blanks.
std::string penLocationText(Point at);

// The text that each window measures for the height of one line.
inline constexpr std::string_view kLineHeightSample = "ABCDE";
inline int eventLineHeight(int sampleHeight) { return sampleHeight + 1; }

// The column starts 100 pixels left of the window's outer right edge.
inline int eventColumnLeft(int outerWidth) { return outerWidth - 100; }

// Top of the line the next text goes to; EventLine then moves on, back to the top when
// the line after it would not fit whole in the window's outer height.
int takeEventLine(DrawTestState& state, int outerHeight);

}  // namespace qv::drawtest
