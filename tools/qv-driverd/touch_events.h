#pragma once
// What makes an input device a touch device the driver can take touches from, and how its
// events become touch samples. Plain data over the kernel's event codes, so both are
// checked without a device; touch_device_evdev.cpp feeds them from libevdev.
#include "touch_sample.h"

#include <optional>
#include <string>
#include <vector>

namespace qv::driverd {

struct AxisRange {
  bool present = false;
  int minimum = 0;
  int maximum = 0;
};

// The capabilities that matter, as the device reports them.
struct TouchCapabilities {
  AxisRange absX, absY;      // ABS_X, ABS_Y
  AxisRange mtX, mtY;        // ABS_MT_POSITION_X, ABS_MT_POSITION_Y
  bool btnTouch = false;     // BTN_TOUCH
  bool mtSlots = false;      // ABS_MT_SLOT
  bool mtTrackingId = false; // ABS_MT_TRACKING_ID
  bool propDirect = false;   // INPUT_PROP_DIRECT: a touch lands where it is
  bool propPointer = false;  // INPUT_PROP_POINTER: a touchpad, it moves a pointer
};

// Where touches are read: ABS_X/ABS_Y with BTN_TOUCH, or slot 0 of the multitouch slots.
enum class TouchSource { Single, Slot0 };

struct SourceChoice {
  std::optional<TouchSource> source;
  std::string lacking;  // when source is empty: what the device lacks, in words
};

// Multitouch slots where the device has them whole (slot 0 is exact, where ABS_X follows
// whichever finger the kernel picks), else ABS_X/ABS_Y with BTN_TOUCH.
SourceChoice chooseTouchSource(const TouchCapabilities& caps);

// The state of the tracked contact, as the device holds it when the reading starts.
struct ContactState {
  bool touching = false;
  int x = 0;
  int y = 0;
  int slot = 0;          // the multitouch slot the device's events address now
  int trackingId = -1;   // slot 0's contact; -1 none
};

// Follows one contact through the device's events (EV_*, code, value, as struct
// input_event carries them) and makes a sample at each SYN_REPORT that changed the pen,
// or the position while the pen is down. Positions are a fraction of the axis range × 256.
class TouchEventTracker {
public:
  TouchEventTracker(TouchSource source, AxisRange x, AxisRange y, ContactState initial);
  void event(unsigned type, unsigned code, int value, std::vector<TouchSample>& samples);

private:
  double units(int value, const AxisRange& range) const;

  TouchSource source_;
  AxisRange xRange_, yRange_;
  ContactState state_;
  TouchSample last_;          // the last sample made; pen up before the first
  bool replaced_ = false;     // slot 0's contact ended and a new one began in this frame
};

}  // namespace qv::driverd
