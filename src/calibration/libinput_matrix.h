#pragma once
// The libinput calibration matrix that turns the touch screen's positions with its
// monitor's rotation, for desktops that map the device to a monitor but leave the turning
// to the device (sway and other wlroots desktops): libinput multiplies the position on the
// monitor unturned, as fractions of its axes (u, v, 1), by the matrix's two rows
// (a b c / d e f) and the desktop places the result on the monitor as it stands.
#include <array>

namespace qv::calibration {

// a b c d e f for a picture turned counter-clockwise by rotation (0, 90, 180, 270; any
// other value as settings::normalRotation reads it).
std::array<float, 6> libinputRotationMatrix(int rotation);

}  // namespace qv::calibration
