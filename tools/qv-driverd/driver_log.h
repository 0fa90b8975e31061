#pragma once
// The driver's log: every request as one line
//   <code, 8 hex digits> <input bytes in hex, or -> <ok|fail|held>
// and everything else the driver has to say (its touch input, beeps, what it skipped) as
// a line that starts with "# ". Without a file nothing is written.
#include "platform/posix/unique_fd.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace qv::driverd {

class DriverLog {
public:
  // withTimes: each line ends with its CLOCK_MONOTONIC time in microseconds.
  explicit DriverLog(bool withTimes = false) : withTimes_(withTimes) {}

  // Appends to path from now on; why not, when it cannot be opened.
  std::optional<std::string> open(const std::filesystem::path& path);

  void request(std::uint32_t code, std::span<const std::uint8_t> input, const char* outcome);
  void note(const std::string& text);

private:
  void line(std::string text);

  bool withTimes_;
  platform::UniqueFd fd_;
};

}  // namespace qv::driverd
