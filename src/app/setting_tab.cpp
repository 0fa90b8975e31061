#include "app/setting_tab.h"

namespace qv::app {

void applySoundRule(PanelControls& c) { c.longBeepEnabled = c.sound; }

void applyCursorOffsetRule(PanelControls& c) { c.arrowsEnabled = c.cursorOffset; }

void applyUserDefineRule(PanelControls& c) {
  c.comboEnabled = !c.userDefine;
  c.irqEnabled = c.userDefine;
  c.portEnabled = c.userDefine;
}

void applyComboSelection(PanelControls& c, const ComSet& ports) {
  if (c.comboIndex < 0 || static_cast<std::size_t>(c.comboIndex) >= ports.size()) return;
  const auto i = static_cast<std::size_t>(c.comboIndex);
  c.irqText = ports.irqs[i];
  c.portText = ports.addresses[i];
}

void placeCursorPictures(PanelControls& c, const PanelRuntime& r) {
  c.backcur = {(kOffsetPanelWidth - kCursorImageWidth) / 2, (kOffsetPanelHeight - kCursorImageHeight) / 2};
  c.movecur = {c.backcur.left + r.cursorOffsetDX, c.backcur.top + r.cursorOffsetDY};
}

bool stepArrow(PanelControls& c, PanelRuntime& r, Arrow arrow) {
  // The picture stays at least one pixel inside the panel's edges.
  Point& p = c.movecur;
  switch (arrow) {
    case Arrow::Up:
      if (p.top < 2) return false;
      --p.top;
      --r.cursorOffsetDY;
      break;
    case Arrow::Right:
      if (p.left + kCursorImageWidth >= kOffsetPanelWidth - 1) return false;
      ++p.left;
      ++r.cursorOffsetDX;
      break;
    case Arrow::Down:
      if (p.top + kCursorImageHeight >= kOffsetPanelHeight - 1) return false;
      ++p.top;
      ++r.cursorOffsetDY;
      break;
    case Arrow::Left:
      if (p.left < 2) return false;
      --p.left;
      --r.cursorOffsetDX;
      break;
    case Arrow::None:
      return false;
  }
  r.arrowDirection = arrow;
  return true;
}

std::uint32_t doubleClickTimeFor(int speedPosition) {
  return static_cast<std::uint32_t>(1000 - speedPosition);
}

void applySpeedBar(platform::SystemServices& system, int speedPosition) {
  system.setDoubleClickTime(doubleClickTimeFor(speedPosition));
}

void applyAreaBar(platform::SystemServices& system, int areaPosition) {
  system.setDoubleClickWidth(areaPosition);
  system.setDoubleClickHeight(areaPosition);
}

}  // namespace qv::app
