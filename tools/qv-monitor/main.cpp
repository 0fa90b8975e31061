// The monitor program's stand-in: records every notification it is sent, and keeps the
// desktop's pointer hidden while "Hide Cursor" is on.
#include "cli/command_line.h"
#include "cursor_hiding.h"
#include "platform/posix/system_store.h"
#include "sway_touch_mapping.h"
#include "window_stand_in.h"
#include "x11_pointer.h"
#include "x11_touch_mapping.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr qv::cli::Program kProgram{"qv-monitor", R"(Usage: qv-monitor
Stands in for the monitor program: listens as the window "Quorvane Monitor" (class
TWatchForm) in the machine root named by QUORVANE_HOME, answers every message with 0
and writes one line for it to monitor.log there. Ends on SIGTERM or SIGINT.

While the store's HideCursor value is set (read at start and after each
MonitorNotifyMessage), it hides the desktop's pointer: on X11 through the XFixes
extension, until the value is cleared or the program ends. On Wayland the compositor
decides, which it says once.

On X11 it keeps the driver's touch screen ("Quorvane Touch Screen") on the monitor its
calibration ran on (the store's Cfg_Monitor, found by its EDID model and serial number
first, its connector second): the device's Coordinate Transformation Matrix follows that
monitor's place on the desktop and its rotation, set at start, after every change of
monitors, when the device comes again and after each MonitorNotifyMessage. When that
monitor is not connected, touches span the whole desktop, which it says.

On sway and other wlroots desktops (SWAYSOCK set) it does the same over the desktop's
IPC: "input <device> map_to_output <connector>" for the monitor and a calibration_matrix
that turns touches with its rotation, again whenever outputs are plugged, moved or turned
and when the device comes again. A device not there yet is set by the identifier it will
have, which sway applies when it comes.

While the calibration screen is shown, touches go to the monitor it covers; when it
closes with no monitor stored, the mapping is put back as it was.

Options:
  --help     show this text
  --version  show the version

Exit status: 0 after a clean end, 1 when it cannot listen, 2 for a wrong argument.
)"};

constexpr std::uint32_t kMonitorNotifyMessage = 0x5BC;

}  // namespace

int main(int argc, char** argv) {
  if (auto status = qv::cli::takeNoArguments(kProgram, argc, argv)) return *status;
  std::unique_ptr<qv::tools::DesktopPointer> pointer;
  std::unique_ptr<qv::tools::X11TouchMapping> touchMapping;
  std::unique_ptr<qv::tools::SwayTouchMapping> swayMapping;
  if (qv::tools::waylandSession()) {
    pointer = std::make_unique<qv::tools::WaylandPointer>(qv::tools::sayLine);
    // sway and other wlroots desktops that speak its IPC name their socket.
    if (const char* sway = std::getenv("SWAYSOCK"); sway && *sway) {
      swayMapping = std::make_unique<qv::tools::SwayTouchMapping>(sway, qv::tools::sayLine);
    }
  } else {
    // Two threads talk to the X server, each on its own connection.
    XInitThreads();
    pointer = std::make_unique<qv::tools::X11Pointer>(qv::tools::sayLine);
    touchMapping = std::make_unique<qv::tools::X11TouchMapping>(qv::tools::sayLine);
  }
  std::unique_ptr<qv::platform::RoutedRegistryStore> store;
  try {
    store = qv::platform::openSystemStore();
  } catch (const std::exception&) {
    // No machine root: the stand-in says so when it cannot listen.
  }
  std::unique_ptr<qv::tools::CursorHiding> hiding;
  if (store) {
    hiding = std::make_unique<qv::tools::CursorHiding>(*store, std::move(pointer), qv::tools::sayLine);
    hiding->update();
  }
  qv::tools::StandInConfig config{"TWatchForm", "Quorvane Monitor", "monitor.log", std::nullopt, {}};
  config.afterMessage = [&hiding, &touchMapping, &swayMapping](std::uint32_t message) {
    if (message != kMonitorNotifyMessage) return;
    if (hiding) hiding->update();
    if (touchMapping) touchMapping->reapply();  // a new calibration may name another monitor
    if (swayMapping) swayMapping->reapply();
  };
  return qv::tools::runWindowStandIn(config);
}
