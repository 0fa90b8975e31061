#pragma once
// What this program takes from sway's JSON replies and events, and the command arguments it
// writes back. Plain functions over text, so that they are tested without a desktop. A
// reply that is not of the expected shape throws SwayIpcError.
#include "calibration/monitor_matching.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::tools {

// sway's transform ("normal", "90", "flipped-270", ...) as the counter-clockwise rotation
// this program keeps, or none for a text it does not know.
std::optional<int> rotationOfSwayTransform(std::string_view transform);

// The active outputs of a GET_OUTPUTS reply, as monitors of the desktop.
std::vector<calibration::DesktopMonitor> swayMonitors(std::string_view outputsReply);

// An input device of a GET_INPUTS reply.
struct SwayInput {
  std::string identifier;                            // "vendor:product:name", as commands name it
  std::optional<std::array<float, 6>> matrix;        // its calibration matrix, where it has one
};

// The first device of that name in a GET_INPUTS reply, or none.
std::optional<SwayInput> swayInput(std::string_view inputsReply, std::string_view name);

// sway's identifier of a device that is not there yet: vendor and product in decimal, the
// name with blanks as underscores.
std::string swayInputIdentifier(std::uint16_t vendor, std::uint16_t product, std::string_view name);

// What an input event says: its change ("added", "removed", ...) and the device's name.
struct SwayInputChange {
  std::string change;
  std::string name;
};
SwayInputChange swayInputChange(std::string_view event);

// Whether a SUBSCRIBE reply says success.
bool swaySubscribed(std::string_view reply);

// Empty when every command of a RUN_COMMAND reply succeeded, else sway's first error.
std::string swayCommandFailure(std::string_view reply);

// A name as one quoted command argument, or none for a name with characters that could
// end the argument or the command (quotes, backslashes, control characters).
std::optional<std::string> swayArgument(std::string_view name);

}  // namespace qv::tools
