// A kernel touch device: which devices are taken, and how their events become samples.
#include "touch_device.h"
#include "touch_events.h"

#include <gtest/gtest.h>

#include <linux/input.h>

#include <cmath>

namespace qv::driverd {
namespace {

TEST(TouchDeviceCapabilities, TouchScreensTakenOthersToldWhatTheyLack) {
  TouchCapabilities single;
  single.absX = {true, 0, 4095};
  single.absY = {true, 0, 4095};
  single.btnTouch = true;
  EXPECT_EQ(chooseTouchSource(single).source, TouchSource::Single);

  auto multi = single;
  multi.mtX = multi.mtY = {true, 0, 1000};
  multi.mtSlots = multi.mtTrackingId = multi.propDirect = true;
  EXPECT_EQ(chooseTouchSource(multi).source, TouchSource::Slot0);

  auto touchpad = multi;
  touchpad.propDirect = false;
  touchpad.propPointer = true;
  EXPECT_EQ(chooseTouchSource(touchpad).lacking, "is not a direct/absolute device (a touchpad moves the pointer instead)");
  EXPECT_EQ(chooseTouchSource(TouchCapabilities{}).lacking, "has no ABS_X/ABS_Y");
  auto joystick = single;
  joystick.btnTouch = false;
  EXPECT_EQ(chooseTouchSource(joystick).lacking, "has no BTN_TOUCH or multitouch slots");
  auto flat = single;
  flat.absY = {true, 7, 7};
  EXPECT_EQ(chooseTouchSource(flat).lacking, "has no range on ABS_X/ABS_Y");

  EXPECT_TRUE(openTouchDevice("/dev/null").notTouchDevice);
  const auto missing = openTouchDevice("/nonexistent/event0");
  EXPECT_FALSE(missing.notTouchDevice);
  EXPECT_EQ(missing.error, "cannot open /nonexistent/event0: No such file or directory");
}

TEST(TouchEventTracker, OneSamplePerReportThatChangedThePenOrItsPlace) {
  std::vector<TouchSample> out;
  TouchEventTracker single(TouchSource::Single, {true, 100, 1124}, {true, 0, 512}, {});
  auto feed = [&](TouchEventTracker& t, std::vector<input_event> events) {
    out.clear();
    for (const auto& e : events) t.event(e.type, e.code, e.value, out);
    return out;
  };
  const input_event report{{}, EV_SYN, SYN_REPORT, 0};
  EXPECT_EQ(feed(single, {{{}, EV_ABS, ABS_X, 612}, {{}, EV_ABS, ABS_Y, 128}, report}), std::vector<TouchSample>{})
      << "hovering is no touch";
  EXPECT_EQ(feed(single, {{{}, EV_KEY, BTN_TOUCH, 1}, report, report}), (std::vector<TouchSample>{{true, 128, 64}}));
  EXPECT_EQ(feed(single, {{{}, EV_ABS, ABS_X, 1124}, {{}, EV_ABS, ABS_Y, 0}, report}),
            (std::vector<TouchSample>{{true, std::nextafter(256.0, 0.0), 0}}));
  EXPECT_EQ(feed(single, {{{}, EV_KEY, BTN_TOUCH, 0}, report}),
            (std::vector<TouchSample>{{false, std::nextafter(256.0, 0.0), 0}}));

  // Slot 0 alone counts; a finger replaced within one frame is a lift and a new touch.
  TouchEventTracker slots(TouchSource::Slot0, {true, 0, 256}, {true, 0, 256}, {.slot = 1});
  EXPECT_EQ(feed(slots, {{{}, EV_ABS, ABS_MT_TRACKING_ID, 5}, {{}, EV_ABS, ABS_MT_POSITION_X, 9}, report}),
            std::vector<TouchSample>{});
  EXPECT_EQ(feed(slots, {{{}, EV_ABS, ABS_MT_SLOT, 0}, {{}, EV_ABS, ABS_MT_TRACKING_ID, 7},
                         {{}, EV_ABS, ABS_MT_POSITION_X, 10}, {{}, EV_ABS, ABS_MT_POSITION_Y, 20}, report}),
            (std::vector<TouchSample>{{true, 10, 20}}));
  EXPECT_EQ(feed(slots, {{{}, EV_ABS, ABS_MT_TRACKING_ID, -1}, {{}, EV_ABS, ABS_MT_TRACKING_ID, 8},
                         {{}, EV_ABS, ABS_MT_POSITION_X, 30}, report}),
            (std::vector<TouchSample>{{false, 10, 20}, {true, 30, 20}}));
  EXPECT_EQ(feed(slots, {{{}, EV_ABS, ABS_MT_TRACKING_ID, -1}, report}), (std::vector<TouchSample>{{false, 30, 20}}));
}

}  // namespace
}  // namespace qv::driverd
