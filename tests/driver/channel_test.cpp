// The channel's sessions against a recording device: what goes out, in which order, and
// what comes back into the records.
#include "driver/driver_channel.h"
#include "support/private_root.h"
#include "support/recording_device_io.h"

#include <gtest/gtest.h>

namespace qv::driver {
namespace {

using test::RecordingDeviceIo;
using Bytes = std::vector<std::uint8_t>;

TEST(DriverChannel, OkSequenceIsOneSessionInOrderThenClosed) {
  test::PrivateRoot root;
  RecordingDeviceIo io;
  DriverChannel channel(io);
  {
    auto session = channel.open();
    ASSERT_TRUE(session);
    session->setBeepSound(true);
    session->setFixedMode();
    session->setLongBeep(false);
    session->setCursorOffset(makeCursorOffsetRecord(true, -3, 0, 640, 480));
    EXPECT_EQ(io.openHandles(), 1u);
  }
  const auto sessions = io.sessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].device, root.path() / "dev" / "QV.VXD");
  EXPECT_TRUE(sessions[0].closed);
  const auto& r = sessions[0].requests;
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0], (test::RecordedRequest{7, {1, 0, 0, 0}, 0, true}));
  EXPECT_EQ(r[1], (test::RecordedRequest{6, {1, 0, 0, 0}, 0, true}));
  EXPECT_EQ(r[2], (test::RecordedRequest{13, {0}, 0, true}));
  EXPECT_EQ(r[3], (test::RecordedRequest{10, {1, 1, 0x32, 0x01, 0, 0, 0, 0, 0, 0, 0}, 0, true}));
}

TEST(DriverChannel, CalibrationRequestsCarryTheirRecords) {
  test::PrivateRoot root;
  RecordingDeviceIo io;
  DriverChannel channel(io);
  const CalibrationRecord limits{0x03, 0xFC, 0x04, 0xFB};
  channel.open()->beginCalibration();
  channel.open()->initializeDriver(limits);
  channel.open()->setCalibration(limits);
  const auto all = io.requests();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0], (test::RecordedRequest{1, {}, 0, true}));
  EXPECT_EQ(all[1], (test::RecordedRequest{3, {3, 0xFC, 4, 0xFB, 0, 0, 0, 0, 0, 0}, 0, true}));
  EXPECT_EQ(all[2].code, 2u);
  EXPECT_EQ(all[2].input, all[1].input);
  EXPECT_EQ(io.openAttempts(), 3u);
  EXPECT_EQ(io.openHandles(), 0u);
}

TEST(DriverChannel, ReadsFillOnlyWhatTheDriverReturned) {
  test::PrivateRoot root;
  RecordingDeviceIo io;
  DriverChannel channel(io);

  RawPoint point;
  point.bytes.fill(0xEE);
  io.queueReply(9, {0, 0x41, 0, 0x42});  // a short reply: four bytes only
  EXPECT_TRUE(channel.open()->readRawPoint(point));
  EXPECT_EQ(point.rawX(), 0x41);
  EXPECT_EQ(point.rawY(), 0x42);
  EXPECT_EQ(point.bytes[4], 0xEE);
  EXPECT_EQ(io.requests().back().outputSize, 10u);

  // A reply too short to carry raw Y is no reading, and a failed read none either: both
  // leave the record as it was.
  const RawPoint before = point;
  io.queueReply(9, {0, 0x99, 0});
  EXPECT_FALSE(channel.open()->readRawPoint(point));
  EXPECT_EQ(point.bytes, before.bytes);
  io.setFailing(9);
  io.queueReply(9, {0, 0x99, 0, 0x99});
  EXPECT_FALSE(channel.open()->readRawPoint(point));
  EXPECT_EQ(point.bytes, before.bytes);

  LineStatistics stats{5, 6, 7, 8};
  io.setReply(12, {1, 0, 0, 0, 2, 0, 0, 0});  // only the two error counters
  EXPECT_TRUE(channel.open()->readLineStatistics(stats));
  EXPECT_EQ(stats.overrunErrors, 1u);
  EXPECT_EQ(stats.framingErrors, 2u);
  EXPECT_EQ(stats.penDowns, 7u);
  EXPECT_EQ(stats.penUps, 8u);
  EXPECT_EQ(io.requests().back().outputSize, 20u);
}

TEST(DriverChannel, AbsentDriverIsAFailedOpenWithNothingSent) {
  test::PrivateRoot root;
  RecordingDeviceIo io;
  io.setAbsent(true);
  DriverChannel channel(io, "/nowhere/QV.VXD");
  EXPECT_FALSE(channel.open());
  ASSERT_EQ(io.openAttempts(), 1u);
  EXPECT_FALSE(io.sessions()[0].opened);
  EXPECT_EQ(io.sessions()[0].device, "/nowhere/QV.VXD");
  EXPECT_TRUE(io.requests().empty());
}

}  // namespace
}  // namespace qv::driver
