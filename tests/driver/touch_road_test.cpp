// Touch samples through the driver's model: calibration mode, limits taken at once, the
// raw reading, the counters and the beep; injected touches on the same road.
#include "driver_model.h"

#include <gtest/gtest.h>

namespace qv::driverd {
namespace {

using driver::RequestCode;
using Pointer = TouchEffect::Pointer;

struct Rig {
  DriverModel model = startModel({});
  Reply send(std::uint32_t code, std::vector<std::uint8_t> in = {}, std::uint32_t out = 0) {
    return handleRequest(model, {}, code, in, out, [](bool) { return true; });
  }
  Reply send(RequestCode c, std::vector<std::uint8_t> in = {}, std::uint32_t out = 0) {
    return send(static_cast<std::uint32_t>(c), std::move(in), out);
  }
  TouchEffect touch(bool down, double x, double y) { return applyTouch(model, {down, x, y}); }
};

TEST(DriverTouchRoad, CalibrationModeKeepsTouchesWhereTheyAreAndNewLimitsApplyAtOnce) {
  Rig rig;
  rig.send(RequestCode::BeginCalibration);
  EXPECT_EQ(rig.touch(true, 64, 192), (TouchEffect{Pointer::Down, {16384, 49151}, false, false}));
  EXPECT_EQ(rig.touch(true, 128, 192), (TouchEffect{Pointer::Move, {32768, 49151}, false, false}));

  // SetCalibration in mid-touch: the next sample already lands by the new limits.
  rig.send(RequestCode::SetCalibration, {0x40, 0xC0, 0x40, 0xC0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(rig.touch(true, 128.5, 64.5).at, (PointerPosition{32768, 0}));
  EXPECT_EQ(rig.touch(false, 70.9, 190).pointer, Pointer::Up);
  EXPECT_EQ(rig.touch(false, 71, 191).pointer, Pointer::None);  // no second release

  // The latest touch's reading, however often it is read; one touch counted.
  for (int i = 0; i < 2; ++i) {
    const Reply point = rig.send(RequestCode::ReadRawPoint, {}, 10);
    EXPECT_EQ(point.bytes.at(1), 71);
    EXPECT_EQ(point.bytes.at(3), 191);
  }
  EXPECT_EQ(rig.model.line.penDowns, 1u);
  EXPECT_EQ(rig.model.line.penUps, 1u);

  // Each pen down beeps while the beep is on, the long beep when set; an injected touch
  // takes the same road.
  rig.send(RequestCode::SetBeepSound, {1, 0, 0, 0});
  rig.send(RequestCode::SetLongBeep, {1});
  const Reply injected = rig.send(static_cast<std::uint32_t>(OwnCode::InjectTouch), {0x40, 0xC0});
  EXPECT_EQ(injected.effects,
            (std::vector<TouchEffect>{{Pointer::Down, {0, 65535}, true, true}, {Pointer::Up, {}, false, false}}));
  EXPECT_EQ(rig.model.line.penDowns, 2u);
}

TEST(DriverTouchRoad, ANewCalibrationBringsTheStoredMountingWithIt) {
  ModelBehaviour behaviour;
  behaviour.readMounting = [] { return settings::PanelMounting{0, true}; };
  DriverModel model = startModel(behaviour);
  handleRequest(model, behaviour, static_cast<std::uint32_t>(RequestCode::SetCalibration),
                std::vector<std::uint8_t>{0x40, 0xC0, 0x40, 0xC0, 0, 0, 0, 0, 0, 0}, 0, {});
  // Mounted turned: the controller's X runs down the monitor, its Y across.
  EXPECT_EQ(applyTouch(model, {true, 64.5, 128.5}).at, (PointerPosition{32768, 0}));
}

}  // namespace
}  // namespace qv::driverd
