#pragma once
// The touches the simulated controller plays: commands read one a line, and the five-byte
// reports they become on the line.
#include "driver/controller_report.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::sim {

// down X Y | move X Y | up | tap X Y, positions in controller units (0 <= v < 256).
struct TouchCommand {
  enum class Kind { Down, Move, Up, Tap };
  Kind kind = Kind::Down;
  double x = 0;
  double y = 0;
};

// Parses one line. nullopt with error empty for a line that holds nothing (blank, or a
// comment starting with #); nullopt with error set for a line that is wrong.
std::optional<TouchCommand> parseTouchCommand(std::string_view line, std::string& error);

using Report = driver::ControllerReport;

// A position in controller units as the 14-bit value the controller sends (units × 64).
std::uint16_t fourteenBits(double units);

// How long count bytes occupy a line at baudRate with 8 data bits, no parity, 1 stop bit.
std::chrono::microseconds lineTime(std::size_t count, std::uint32_t baudRate);

// A report, and how long after the previous report has left the line it starts.
struct TimedReport {
  std::chrono::milliseconds after{0};
  Report bytes{};
};

inline constexpr std::chrono::milliseconds kTapLength{50};

// Turns commands into reports, keeping the pen and the last position: "up" sends the pen
// up at the last position. Moving or lifting a pen that is not down is refused.
class TouchPlayer {
public:
  std::vector<TimedReport> play(const TouchCommand& command, std::string& error);

private:
  bool penDown_ = false;
  std::uint16_t x_ = 0;
  std::uint16_t y_ = 0;
};

// What a report says, for the program's output: "pen down at 100 50.5".
std::string describeReport(const Report& report);

}  // namespace qv::sim
