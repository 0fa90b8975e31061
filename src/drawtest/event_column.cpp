#include "drawtest/event_column.h"

namespace qv::drawtest {

namespace {

constexpr std::string_view kLeftDown = "Left down            ";
constexpr std::string_view kRightDown = "Right down           ";
constexpr std::string_view kMiddleDown = "Middle down          ";
constexpr std::string_view kLeftUp = "Left up            ";
constexpr std::string_view kRightUp = "Right up           ";
constexpr std::string_view kMiddleUp = "Middle up          ";
static_assert(kLeftDown.size() == 21 && kRightDown.size() == 21 && kMiddleDown.size() == 21);
static_assert(kLeftUp.size() == 19 && kRightUp.size() == 19 && kMiddleUp.size() == 19);
static_assert(kDoubleClickText.size() == 18);

}  // namespace

std::string_view pressText(PointerButton button) {
  switch (button) {
    case PointerButton::Left: return kLeftDown;
    case PointerButton::Right: return kRightDown;
    case PointerButton::Middle: return kMiddleDown;
  }
  return kLeftDown;
}

std::string_view releaseText(PointerButton button) {
  switch (button) {
    case PointerButton::Left: return kLeftUp;
    case PointerButton::Right: return kRightUp;
    case PointerButton::Middle: return kMiddleUp;
  }
  return kLeftUp;
}

std::string penLocationText(Point at) {
  return "(" + std::to_string(at.x) + "," + std::to_string(at.y) + ")" + std::string(18, ' ');
}

int takeEventLine(DrawTestState& state, int outerHeight) {
  const int top = state.EventLine * state.EventLineHeight;
  ++state.EventLine;
  // 64-bit so that no window height or line count can overflow the test.
  if (static_cast<long long>(state.EventLine + 1) * state.EventLineHeight > outerHeight) state.EventLine = 0;
  return top;
}

}  // namespace qv::drawtest
