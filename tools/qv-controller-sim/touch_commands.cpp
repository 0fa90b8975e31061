#include "touch_commands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace qv::sim {

namespace {

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

std::optional<double> position(std::string_view text) {
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(v) || v < 0 || v >= 256) {
    return std::nullopt;
  }
  return v;
}

}  // namespace

std::optional<TouchCommand> parseTouchCommand(std::string_view line, std::string& error) {
  error.clear();
  const auto w = words(line);
  if (w.empty() || w[0].starts_with('#')) return std::nullopt;
  TouchCommand command;
  const std::string_view name = w[0];
  if (name == "up") {
    command.kind = TouchCommand::Kind::Up;
    if (w.size() != 1) {
      error = "up takes no position";
      return std::nullopt;
    }
    return command;
  }
  if (name == "down") {
    command.kind = TouchCommand::Kind::Down;
  } else if (name == "move") {
    command.kind = TouchCommand::Kind::Move;
  } else if (name == "tap") {
    command.kind = TouchCommand::Kind::Tap;
  } else {
    error = "unknown command " + std::string(name) + " (down X Y, move X Y, up, tap X Y)";
    return std::nullopt;
  }
  const auto x = w.size() == 3 ? position(w[1]) : std::nullopt;
  const auto y = w.size() == 3 ? position(w[2]) : std::nullopt;
  if (!x || !y) {
    error = std::string(name) + " needs X and Y, each at least 0 and below 256";
    return std::nullopt;
  }
  command.x = *x;
  command.y = *y;
  return command;
}

std::uint16_t fourteenBits(double units) {
  const double v = std::floor(units * 64);
  if (!(v > 0)) return 0;
  return static_cast<std::uint16_t>(std::min(v, 16383.0));
}

std::chrono::microseconds lineTime(std::size_t count, std::uint32_t baudRate) {
  if (baudRate == 0) return std::chrono::microseconds(0);
  return std::chrono::microseconds(static_cast<std::int64_t>(count) * 10 * 1'000'000 / baudRate);
}

std::vector<TimedReport> TouchPlayer::play(const TouchCommand& command, std::string& error) {
  error.clear();
  using Kind = TouchCommand::Kind;
  if ((command.kind == Kind::Move || command.kind == Kind::Up) && !penDown_) {
    error = std::string(command.kind == Kind::Move ? "move" : "up") + " while the pen is up (down first)";
    return {};
  }
  if (command.kind != Kind::Up) {
    x_ = fourteenBits(command.x);
    y_ = fourteenBits(command.y);
  }
  switch (command.kind) {
    case Kind::Down:
    case Kind::Move:
      penDown_ = true;
      return {{std::chrono::milliseconds(0), driver::encodeControllerReport(true, x_, y_)}};
    case Kind::Up:
      penDown_ = false;
      return {{std::chrono::milliseconds(0), driver::encodeControllerReport(false, x_, y_)}};
    case Kind::Tap:
      penDown_ = false;
      return {{std::chrono::milliseconds(0), driver::encodeControllerReport(true, x_, y_)},
              {kTapLength, driver::encodeControllerReport(false, x_, y_)}};
  }
  return {};
}

std::string describeReport(const Report& report) {
  const unsigned x = (report[1] & 0x7Fu) << 7 | (report[2] & 0x7Fu);
  const unsigned y = (report[3] & 0x7Fu) << 7 | (report[4] & 0x7Fu);
  char text[64];
  std::snprintf(text, sizeof text, "pen %s at %g %g", (report[0] & 1) ? "down" : "up", x / 64.0, y / 64.0);
  return text;
}

}  // namespace qv::sim
