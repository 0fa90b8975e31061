#pragma once
// A small program that stands in for another program's window: it listens on the
// window's endpoint, prints and logs every message it receives and answers 0.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qv::tools {

struct StandInConfig {
  std::string className;
  std::string title;
  std::string logFileName;                 // under the machine root
  std::optional<std::uint32_t> stopMessage;  // ends the program after it is logged
  // Runs after each message is logged, before it is answered.
  std::function<void(std::uint32_t message)> afterMessage;
};

// Prints a line of the program's own log (its output), not the record of messages.
void sayLine(const std::string& line);

// "received 0x5BC MonitorNotifyMessage wParam=0 lParam=0": one line per message.
std::string describeMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam);

// Runs until SIGTERM, SIGINT or the stop message; removes the endpoint on the way out.
// Returns the program's exit code: 0 after a clean end, 1 when it could not listen.
int runWindowStandIn(const StandInConfig& config);

}  // namespace qv::tools
