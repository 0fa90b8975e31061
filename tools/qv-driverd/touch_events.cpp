#include "touch_events.h"

#include <linux/input.h>

#include <algorithm>
#include <cmath>

namespace qv::driverd {

SourceChoice chooseTouchSource(const TouchCapabilities& caps) {
  if (caps.propPointer && !caps.propDirect) {
    return {std::nullopt, "is not a direct/absolute device (a touchpad moves the pointer instead)"};
  }
  const bool slots = caps.mtSlots && caps.mtTrackingId && caps.mtX.present && caps.mtY.present;
  const bool single = caps.absX.present && caps.absY.present && caps.btnTouch;
  if (!slots && !single) {
    const bool axes = (caps.absX.present && caps.absY.present) || (caps.mtX.present && caps.mtY.present);
    return {std::nullopt, axes ? "has no BTN_TOUCH or multitouch slots" : "has no ABS_X/ABS_Y"};
  }
  const AxisRange& x = slots ? caps.mtX : caps.absX;
  const AxisRange& y = slots ? caps.mtY : caps.absY;
  const char* names = slots ? "ABS_MT_POSITION_X/ABS_MT_POSITION_Y" : "ABS_X/ABS_Y";
  if (x.maximum == x.minimum || y.maximum == y.minimum) {
    return {std::nullopt, std::string("has no range on ") + names};
  }
  return {slots ? TouchSource::Slot0 : TouchSource::Single, {}};
}

TouchEventTracker::TouchEventTracker(TouchSource source, AxisRange x, AxisRange y, ContactState initial)
    : source_(source), xRange_(x), yRange_(y), state_(initial) {}

double TouchEventTracker::units(int value, const AxisRange& range) const {
  if (range.maximum == range.minimum) return 0;
  const double fraction = (static_cast<double>(value) - range.minimum) / (static_cast<double>(range.maximum) - range.minimum);
  return std::clamp(fraction * 256.0, 0.0, std::nextafter(256.0, 0.0));
}

void TouchEventTracker::event(unsigned type, unsigned code, int value, std::vector<TouchSample>& samples) {
  if (type == EV_SYN && code == SYN_REPORT) {
    const TouchSample now{state_.touching, units(state_.x, xRange_), units(state_.y, yRange_)};
    if (replaced_ && last_.penDown && now.penDown) {
      // One finger lifted and another touched within a frame: two touches, not a jump.
      last_.penDown = false;
      samples.push_back(last_);
    }
    replaced_ = false;
    if (now.penDown != last_.penDown || (now.penDown && (now.x != last_.x || now.y != last_.y))) {
      samples.push_back(now);
      last_ = now;
    }
    return;
  }
  if (source_ == TouchSource::Single) {
    if (type == EV_KEY && code == BTN_TOUCH) state_.touching = value != 0;
    if (type == EV_ABS && code == ABS_X) state_.x = value;
    if (type == EV_ABS && code == ABS_Y) state_.y = value;
    return;
  }
  if (type != EV_ABS) return;
  if (code == ABS_MT_SLOT) {
    state_.slot = value;
    return;
  }
  if (state_.slot != 0) return;
  if (code == ABS_MT_TRACKING_ID) {
    if (value != -1 && value != state_.trackingId && last_.penDown) replaced_ = true;
    state_.trackingId = value;
    state_.touching = value != -1;
  } else if (code == ABS_MT_POSITION_X) {
    state_.x = value;
  } else if (code == ABS_MT_POSITION_Y) {
    state_.y = value;
  }
}

}  // namespace qv::driverd
