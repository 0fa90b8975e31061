// The driver stand-in during a calibration: without injected touches it plays readings
// near the edge being calibrated, from its own true limits, with a little noise.
#include "driver/driver_channel.h"
#include "driver_model.h"
#include "platform/posix/socket_device_io.h"
#include "support/driverd_process.h"
#include "support/private_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace qv::driverd {
namespace {

using namespace std::chrono_literals;
using driver::CalibrationRecord;
using driver::RequestCode;

[[maybe_unused]] const bool binDirKnown = ::setenv("QV_BIN_DIR", QV_TEST_BIN_DIR, 0) == 0;

constexpr std::uint32_t code(RequestCode c) { return static_cast<std::uint32_t>(c); }

// Within kReadingNoise of the expected raw reading.
void expectNear(int actual, int expected, const char* what) {
  EXPECT_LE(std::abs(actual - expected), kReadingNoise) << what << " " << actual << " vs " << expected;
}

// Checks the four played readings of one calibration against the limits they come from.
void expectEdgeReadings(const std::array<std::array<std::uint8_t, 2>, 4>& r, const CalibrationRecord& t) {
  const int midX = (t.x1 + t.x2) / 2, midY = (t.y1 + t.y2) / 2;
  expectNear(r[0][0], midX, "top x");
  expectNear(r[0][1], t.y1, "top y");
  expectNear(r[1][0], t.x2, "right x");
  expectNear(r[1][1], midY, "right y");
  expectNear(r[2][0], midX, "bottom x");
  expectNear(r[2][1], t.y2, "bottom y");
  expectNear(r[3][0], t.x1, "left x");
  expectNear(r[3][1], midY, "left y");
}

struct ModelRig {
  DriverModel model;
  ModelBehaviour behaviour;
  Reply send(RequestCode c, std::vector<std::uint8_t> in = {}, std::uint32_t out = 0) {
    return handleRequest(model, behaviour, code(c), in, out, [](bool) { return true; });
  }
  std::array<std::uint8_t, 2> read() {
    const Reply r = send(RequestCode::ReadRawPoint, {}, 10);
    return {r.bytes.at(1), r.bytes.at(3)};
  }
  void inject(std::uint8_t x, std::uint8_t y) {
    handleRequest(model, behaviour, static_cast<std::uint32_t>(OwnCode::InjectTouch), std::vector<std::uint8_t>{x, y},
                  0, {});
  }
};

TEST(DriverdCalibration, PlaysEdgeReadingsUnlessATouchWasInjected) {
  ModelRig rig;
  rig.behaviour.trueLimits = {0x08, 0xF8, 0x20, 0xE0};
  rig.inject(0x40, 0x50);
  EXPECT_EQ(rig.read(), (std::array<std::uint8_t, 2>{0x40, 0x50}));  // not calibrating: the touch as it was
  EXPECT_EQ(rig.read(), (std::array<std::uint8_t, 2>{0x40, 0x50}));

  for (int run = 0; run < 2; ++run) {  // each BeginCalibration starts at the top again
    rig.send(RequestCode::BeginCalibration);
    std::array<std::array<std::uint8_t, 2>, 4> readings{};
    for (auto& r : readings) r = rig.read();
    expectEdgeReadings(readings, *rig.behaviour.trueLimits);
  }

  // An injected touch wins; the next read without one is played again, for the next edge.
  rig.send(RequestCode::BeginCalibration);
  rig.inject(0x77, 0x66);
  EXPECT_EQ(rig.read(), (std::array<std::uint8_t, 2>{0x77, 0x66}));
  const auto right = rig.read();
  expectNear(right[0], 0xF8, "right x after a real touch");

  // Without true limits nothing is played: the latest touch, however often it is read.
  rig.behaviour.trueLimits.reset();
  rig.inject(0x12, 0x34);
  EXPECT_EQ(rig.read(), (std::array<std::uint8_t, 2>{0x12, 0x34}));
  EXPECT_EQ(rig.read(), (std::array<std::uint8_t, 2>{0x12, 0x34}));

  // The limits the panel sends are what the state shows.
  rig.send(RequestCode::SetCalibration, {0x0B, 0xF5, 0x23, 0xDD, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(DriverModel::fromBytes(rig.model.toBytes()).limits, (CalibrationRecord{0x0B, 0xF5, 0x23, 0xDD}));
  EXPECT_FALSE(rig.model.calibrationMode);
}

TEST(DriverdCalibration, TrueLimitsOptionSetsWhatIsPlayed) {
  test::PrivateRoot root;
  EXPECT_EQ(test::runProgram("qv-driverd", {"--true-limits=1,2,3"}), 2);
  EXPECT_EQ(test::runProgram("qv-driverd", {"--true-limits=1,2,3,256"}), 2);

  test::DriverdProcess driverd({"--true-limits=0x20,0xE0,48,208"});
  ASSERT_TRUE(driverd.ready());
  platform::SocketDeviceIo io{2000ms};
  driver::DriverChannel channel(io);
  channel.open()->beginCalibration();
  std::array<std::array<std::uint8_t, 2>, 4> readings{};
  for (auto& r : readings) {
    driver::RawPoint p;
    ASSERT_TRUE(channel.open()->readRawPoint(p));
    r = {p.rawX(), p.rawY()};
  }
  expectEdgeReadings(readings, {0x20, 0xE0, 48, 208});
}

}  // namespace
}  // namespace qv::driverd
