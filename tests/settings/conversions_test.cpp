#include "settings/conversions.h"

#include <gtest/gtest.h>

namespace qv::settings {
namespace {

TEST(Conversions, ScanHexReadsLikeScanfUpperX) {
  EXPECT_EQ(scanHex("FCH"), 0xFCu);
  EXPECT_EQ(scanHex(" 0aH"), 0x0Au);
  EXPECT_EQ(scanHex("\t3e8h"), 0x3E8u);
  EXPECT_EQ(scanHex("0x3F8"), 0x3F8u);
  EXPECT_EQ(scanHex("0X3f8H"), 0x3F8u);
  EXPECT_EQ(scanHex("0xZ"), 0u);  // the "0" is the number
  EXPECT_EQ(scanHex("FFFFFFFDH"), 0xFFFFFFFDu);
  EXPECT_EQ(scanHex("1FFFFFFFDH"), 0xFFFFFFFDu);  // wraps to 32 bits
  EXPECT_EQ(scanHex("-3"), 0xFFFFFFFDu);
  EXPECT_EQ(scanHex(""), std::nullopt);
  EXPECT_EQ(scanHex("   "), std::nullopt);
  EXPECT_EQ(scanHex("H"), std::nullopt);
  EXPECT_EQ(scanHex("x3F8"), std::nullopt);

  EXPECT_EQ(scanDecimal("11"), 11);
  EXPECT_EQ(scanDecimal(" -3px"), -3);
  EXPECT_EQ(scanDecimal("+7"), 7);
  EXPECT_EQ(scanDecimal("-"), std::nullopt);
  EXPECT_EQ(scanDecimal("IRQ5"), std::nullopt);
}

TEST(Conversions, BinaryCopiesOfPortIrqAndCalibration) {
  EXPECT_EQ(portBytes("3F8H"), (TwoBytes{0x03, 0xF8}));
  EXPECT_EQ(portBytes("2E8H"), (TwoBytes{0x02, 0xE8}));
  EXPECT_EQ(portBytes("0x3F8"), (TwoBytes{0x03, 0xF8}));
  EXPECT_EQ(portBytes("12345H"), (TwoBytes{0x23, 0x45}));
  EXPECT_EQ(portBytes(""), (TwoBytes{0x00, 0x00}));
  EXPECT_EQ(irqBytes("11"), (TwoBytes{0x00, 0x0B}));
  EXPECT_EQ(irqBytes("260"), (TwoBytes{0x00, 0x04}));
  EXPECT_EQ(irqBytes(""), (TwoBytes{0x00, 0x00}));

  EXPECT_EQ(calibrationByte("FCH"), 0xFC);
  EXPECT_EQ(calibrationBytes("FCH"), (TwoBytes{0x00, 0xFC}));
  EXPECT_EQ(calibrationByte("3E8H"), 0xE8);
  EXPECT_EQ(calibrationByte("FFFFFFFDH"), 0xFD);
  EXPECT_EQ(calibrationByte(" 0aH"), 0x0A);
  EXPECT_EQ(calibrationByte("101H"), 0x01);
  EXPECT_EQ(calibrationByte(""), 0x00);
}

TEST(Conversions, TextForms) {
  EXPECT_EQ(formatCalibrationLimit(3), "03H");
  EXPECT_EQ(formatCalibrationLimit(252), "FCH");
  EXPECT_EQ(formatCalibrationLimit(0x101), "101H");
  EXPECT_EQ(formatCalibrationLimit(-2), "FFFFFFFEH");
  // What is written reads back to the same record byte.
  for (int v : {-3, -2, 0, 3, 0x13, 252, 255, 258}) {
    EXPECT_EQ(calibrationByte(formatCalibrationLimit(v)), static_cast<std::uint8_t>(v)) << v;
  }
  EXPECT_EQ(firmwareText(0x12, 0xAB), "12ab");
  EXPECT_EQ(firmwareText(0x01, 0x00), "0100");
}

TEST(Conversions, PortSearchOrderByAddress) {
  EXPECT_EQ(portSearchOrderFor("3F8H"), "COM2 COM3 COM4");
  EXPECT_EQ(portSearchOrderFor("03f8h"), "COM2 COM3 COM4");
  EXPECT_EQ(portSearchOrderFor("2F8H"), "COM1 COM3 COM4");
  EXPECT_EQ(portSearchOrderFor("3e8H"), "COM1 COM2 COM4");
  EXPECT_EQ(portSearchOrderFor("2E8H"), "COM1 COM2 COM3");
  EXPECT_EQ(portSearchOrderFor("02E8H"), "COM1 COM2 COM3");
  EXPECT_EQ(portSearchOrderFor("0x3F8"), std::nullopt);
  EXPECT_EQ(portSearchOrderFor("3F8"), std::nullopt);
  EXPECT_EQ(portSearchOrderFor(" 3F8H"), std::nullopt);
  EXPECT_EQ(portSearchOrderFor(""), std::nullopt);
}

}  // namespace
}  // namespace qv::settings
