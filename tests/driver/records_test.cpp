// Byte layouts of the records exchanged with the driver.
#include "driver/records.h"

#include <gtest/gtest.h>

#include <climits>

namespace qv::driver {
namespace {

using Bytes11 = std::array<std::uint8_t, 11>;

TEST(CursorOffsetRecord, NegativeOffsetOnNarrowScreenIsSignAndMagnitude) {
  // 65535 div 640 = 102; -3 pixels is -306 units = 0x132.
  const auto bytes = makeCursorOffsetRecord(true, -3, 0, 640, 480).toBytes();
  EXPECT_EQ(bytes, (Bytes11{1, 1, 0x32, 0x01, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(CursorOffsetRecord, ZeroOffsetIsPositiveZeroOnAnyScreen) {
  for (int width : {1, 640, 800, 1024, 1920, 65535, 70000}) {
    const auto r = makeCursorOffsetRecord(false, 0, 0, width, width);
    EXPECT_EQ(r.toBytes(), Bytes11{}) << width;
  }
}

TEST(CursorOffsetRecord, DivisionComesBeforeMultiplication) {
  // 65535 / 1024 = 63.99: one pixel is 63 units, and 1000 pixels 63000 (not 63999).
  EXPECT_EQ(makeCursorOffsetRecord(true, 1, 0, 1024, 768).xMagnitude, 63u);
  EXPECT_EQ(makeCursorOffsetRecord(true, 1000, 0, 1024, 768).xMagnitude, 63000u);
}

TEST(CursorOffsetRecord, BothAxesOn800By600) {
  // 65535 div 800 = 81 -> -2 px = -162; 65535 div 600 = 109 -> 3 px = 327.
  const auto r = makeCursorOffsetRecord(true, -2, 3, 800, 600);
  EXPECT_TRUE(r.xNegative);
  EXPECT_EQ(r.xMagnitude, 162u);
  EXPECT_FALSE(r.yNegative);
  EXPECT_EQ(r.yMagnitude, 327u);
  EXPECT_EQ(r.toBytes(), (Bytes11{1, 1, 162, 0, 0, 0, 0, 0x47, 0x01, 0, 0}));
  EXPECT_EQ(CursorOffsetRecord::fromBytes(r.toBytes()), r);
}

TEST(CursorOffsetRecord, ExtremesDoNotOverflowOrDivideByZero) {
  // A screen wider than 65535 pixels gives no unit; a zero-size screen must not trap.
  EXPECT_EQ(makeCursorOffsetRecord(true, -5, 5, 70000, 0).toBytes(), (Bytes11{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  // The most negative 32-bit value has a magnitude too (no overflow in the absolute value).
  const auto r = makeCursorOffsetRecord(true, INT32_MIN, 0, 1, 1);
  EXPECT_TRUE(r.xNegative);
  EXPECT_EQ(r.xMagnitude, 2147483648u);
}

TEST(CalibrationRecord, LimitsFirstThenSixZeroBytes) {
  const CalibrationRecord r{0x03, 0xFC, 0x05, 0xFA};
  EXPECT_EQ(r.toBytes(), (std::array<std::uint8_t, 10>{0x03, 0xFC, 0x05, 0xFA, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(CalibrationRecord::fromBytes(r.toBytes()), r);
  // Limits in reverse order are sent as they are.
  EXPECT_EQ(CalibrationRecord({0xFC, 0x03, 0xFC, 0x03}).toBytes()[0], 0xFC);
}

TEST(LineStatistics, FourLittleEndianCountersThenFiller) {
  std::array<std::uint8_t, 20> b{};
  b[0] = 0x01; b[1] = 0x02;             // overrun 0x0201
  b[4] = 0xFF; b[7] = 0x80;             // framing 0x800000FF
  b[8] = 7;                             // pen downs
  b[12] = 6;                            // pen ups
  b[16] = 0xAA; b[19] = 0xBB;           // filler, ignored
  const auto s = LineStatistics::fromBytes(b);
  EXPECT_EQ(s.overrunErrors, 0x0201u);
  EXPECT_EQ(s.framingErrors, 0x800000FFu);
  EXPECT_EQ(s.penDowns, 7u);
  EXPECT_EQ(s.penUps, 6u);
  b[16] = b[19] = 0;
  EXPECT_EQ(s.toBytes(), b);
}

TEST(FlagBuffers, FixedFormsAndReservedZeros) {
  EXPECT_EQ(beepSoundBuffer(true), (std::array<std::uint8_t, 4>{1, 0, 0, 0}));
  EXPECT_EQ(beepSoundBuffer(false), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(fixedModeBuffer(), (std::array<std::uint8_t, 4>{1, 0, 0, 0}));
  EXPECT_EQ(longBeepBuffer(true), (std::array<std::uint8_t, 1>{1}));
  EXPECT_EQ(longBeepBuffer(false), (std::array<std::uint8_t, 1>{0}));
}

}  // namespace
}  // namespace qv::driver
