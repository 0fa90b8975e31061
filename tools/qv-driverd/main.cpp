// qv-driverd: the touch-screen driver of this machine, in user space. It reads touches
// from the controller (or a touch device), puts them out as a uinput touch screen and
// serves the driver's device socket in the foreground until SIGTERM or SIGINT.
#include "beeper.h"
#include "cli/command_line.h"
#include "driver_server.h"
#include "machine_store.h"
#include "monitor_output.h"
#include "platform/machine_root.h"
#include "pointer_output.h"
#include "settings/monitor_values.h"
#include "touch_device.h"
#include "touch_input.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage = R"(Usage: qv-driverd [OPTIONS]

The touch-screen driver, in user space: it reads touches, maps them to the screen with
the calibration limits and the cursor offset, and puts them out as a touch screen that
X11 and Wayland desktops take like any other. It serves the driver's device, the Unix
socket $QUORVANE_HOME/dev/QV.VXD, in the foreground until SIGTERM or SIGINT, then
removes it.

Where touches come from: the controller on the serial port that the store's Cfg_COM
names (COMn is $QUORVANE_HOME/dev/COMn, on the real machine /dev/ttyS<n-1> when that
link is missing), at the speed in ChipBaudRate (9600 when absent or not a number),
8 data bits, no parity, 1 stop bit, no flow control; or, with --input, a touch device
the kernel already drives. The port or device is opened at start and again on every
InitializeDriver; when it goes away the driver keeps serving and says so in its log.

Where touches go: the uinput device "Quorvane Touch Screen", a direct touch device with
both axes 0..65535, USB vendor 5156 product 5453, whose axes' resolution is the size of
the monitor the calibration ran on (Cfg_MonitorSizeMM). Its monitor's connector goes to
touchscreen.env in the machine's folder as WL_OUTPUT, which the package's udev rule gives
the device; when a new calibration names another monitor, the file is written again and
the device made anew. It needs write access to /dev/uinput (the package's udev rule gives
it to the user at the seat; the kernel needs its uinput module). Without it the driver
still serves, reads and counts, and says once why there is no pointer output.

It answers the driver requests 1, 2, 3, 6, 7, 9, 10, 12 and 13 and gives their effects:
calibration mode (limits 0 and 256, so touches arrive where they are), the calibration
limits, the beep on each pen down (long beep), fixed mode, the cursor offset, the raw
reading of the latest touch and the line counters (overrun, framing, pen down, pen up).
At start the limits come from the store's X1, X2, Y1, Y2, how the panel sits on its
monitor from Cfg_SwapXY and Cfg_Rotation (read again on SetCalibration and
InitializeDriver), and the beep from Ctrl_Sound and Ctrl_LongBeep. InitializeDriver writes `Vxd Init` under
HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane of the machine's store before it replies: "Success"
when the port or device opened, else why not. Codes 0x1000 and up are its own: inject a
touch (which takes the road of every touch), inject line errors, read its state, reset
(see qv-driverctl). Unknown codes and inputs of the wrong size are answered with failure.

Every request is appended to $QUORVANE_HOME/driverd.log as one line:
  <code, 8 hex digits> <input bytes in hex, or -> <ok|fail|held>
and everything else it has to say (its input, beeps, noise skipped) as a line that
starts with "# ". With --log-times each line ends with one more field, the time of the
line in microseconds of the system's monotonic clock (CLOCK_MONOTONIC).

Options:
  --fail-init[=TEXT]  InitializeDriver fails and writes TEXT (default "Failed") as
                      `Vxd Init` instead of "Success"
  --init-at-start     write `Vxd Init` at start, as the driver does when the machine
                      boots: "Success" when the port or device opened
  --input=DEVICE      take touches from the touch device DEVICE (/dev/input/eventN:
                      ABS_X/ABS_Y with BTN_TOUCH, or slot 0 of a multitouch device),
                      held exclusively while the driver runs, instead of the controller
  --true-limits[=X1,X2,Y1,Y2]
                      play a touch screen on a machine without a controller: a port
                      that cannot be opened does not make InitializeDriver fail, and in
                      calibration mode a ReadRawPoint with no touch since the last one
                      answers a reading near the edge being calibrated (top, right,
                      bottom, left in turn) with a little noise, from these raw
                      readings (0..255, decimal or 0x hex) at the left, right, top and
                      bottom edges (default 0x10,0xF0,0x18,0xE8). Without it the driver
                      answers the latest touch
  --rotate            turn touches into the rotation the calibration was made in
                      (Cfg_Rotation), for a desktop that maps the touch screen to its
                      monitor without turning it (wlroots desktops without a calibration
                      matrix, or no mapping at all). Without it touches are given on the
                      monitor unturned, and the display server turns them with the
                      monitor it maps the device to (X11's transformation matrix, GNOME,
                      KDE, weston), so a monitor turned later needs no new calibration
  --hold-code=CODE    never answer requests with this code (decimal or 0x hex); for
                      trying out callers against a driver that stops answering
  --socket=PATH       serve PATH instead of $QUORVANE_HOME/dev/QV.VXD
  --log=PATH          log to PATH instead of $QUORVANE_HOME/driverd.log
  --log-times         end each log line with its monotonic time in microseconds
  --help              show this text
  --version           show the version

Exit status: 0 after a clean stop, 1 when it cannot serve (for example when another
qv-driverd already serves the socket, or the --input device is no touch device), 2 for
a wrong option.
)";

bool parseCode(std::string_view text, std::uint32_t& code) {
  const std::string s(text);
  char* end = nullptr;
  errno = 0;
  const unsigned long v = std::strtoul(s.c_str(), &end, 0);
  if (s.empty() || *end != '\0' || errno != 0 || v > 0xFFFFFFFFul) return false;
  code = static_cast<std::uint32_t>(v);
  return true;
}

// "X1,X2,Y1,Y2", each 0..255.
bool parseLimits(std::string_view text, qv::driver::CalibrationRecord& limits) {
  std::array<std::uint8_t, 4> v{};
  for (std::size_t i = 0; i < v.size(); ++i) {
    const std::size_t comma = text.find(',');
    if ((comma == std::string_view::npos) != (i == v.size() - 1)) return false;
    std::uint32_t n = 0;
    if (!parseCode(text.substr(0, comma), n) || n > 255) return false;
    v[i] = static_cast<std::uint8_t>(n);
    if (comma != std::string_view::npos) text.remove_prefix(comma + 1);
  }
  limits = {v[0], v[1], v[2], v[3]};
  return true;
}

int usageError(std::string_view what) {
  std::fprintf(stderr, "qv-driverd: %.*s\nTry 'qv-driverd --help'.\n", static_cast<int>(what.size()), what.data());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qv;
  if (auto status = cli::answerHelpOrVersion({"qv-driverd", kUsage}, argc, argv)) return *status;
  driverd::ServerOptions options;
  std::optional<std::string> inputDevice;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto valueOf = [&](std::string_view name) -> std::optional<std::string_view> {
      if (arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=') {
        return arg.substr(name.size() + 1);
      }
      return std::nullopt;
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--fail-init") {
      options.behaviour.failInitialize = true;
    } else if (auto text = valueOf("--fail-init")) {
      options.behaviour.failInitialize = true;
      options.initFailureText = std::string(*text);
    } else if (arg == "--init-at-start") {
      options.initialiseAtStart = true;
    } else if (arg == "--rotate") {
      options.behaviour.rotate = true;
    } else if (arg == "--log-times") {
      options.logTimes = true;
    } else if (arg == "--true-limits") {
      options.behaviour.trueLimits = driverd::kDefaultTrueLimits;
    } else if (auto limits = valueOf("--true-limits")) {
      driver::CalibrationRecord played{};
      if (!parseLimits(*limits, played)) {
        return usageError("true limits are X1,X2,Y1,Y2, each 0..255: " + std::string(*limits));
      }
      options.behaviour.trueLimits = played;
    } else if (auto device = valueOf("--input")) {
      if (device->empty()) return usageError("--input needs a device");
      inputDevice = std::string(*device);
    } else if (auto code = valueOf("--hold-code")) {
      std::uint32_t c = 0;
      if (!parseCode(*code, c)) return usageError("not a request code: " + std::string(*code));
      options.holdCode = c;
    } else if (auto path = valueOf("--socket")) {
      options.socketPath = std::string(*path);
    } else if (auto path = valueOf("--log")) {
      options.logPath = std::string(*path);
    } else {
      return usageError("unknown option " + std::string(arg));
    }
  }

  std::filesystem::path root;
  try {
    root = platform::machineRoot();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qv-driverd: %s\n", e.what());
    return 1;
  }
  if (options.socketPath.empty()) options.socketPath = root / "dev" / "QV.VXD";
  if (options.logPath.empty()) options.logPath = root / "driverd.log";

  // One store for the writer of `Vxd Init` (a thread of its own), one read by the loop.
  auto store = driverd::openMachineStore(root);
  auto settings = driverd::openMachineStore(root);
  options.behaviour.start = driverd::readStartSettings(*settings);
  options.behaviour.readMounting = [reader = settings.get()] { return settings::storedMonitor(*reader).mounting; };

  driverd::DriverIo io;
  if (inputDevice) {
    // A device that is no touch device is a mistake in the command; one that is missing
    // may come later, as a controller port may.
    if (const auto probe = driverd::openTouchDevice(*inputDevice); probe.notTouchDevice) {
      std::fprintf(stderr, "qv-driverd: %s: %s\n", inputDevice->c_str(), probe.error.c_str());
      return 1;
    }  // the probe lets the device go again here, before the driver takes it
    io.input = std::make_unique<driverd::TouchInput>(*inputDevice, driverd::openTouchDevice);
  } else {
    auto* reader = settings.get();
    io.input = std::make_unique<driverd::TouchInput>([reader] { return driverd::readControllerPortSettings(*reader); },
                                                     platform::systemSerialPortOpener());
  }
  // The pointer device tells the desktops which monitor it drives; udev takes the file when
  // the device comes, so it is written first.
  io.readMonitor = [reader = settings.get()] { return settings::storedMonitor(*reader); };
  io.udevPropertiesFile = root / driverd::kUdevPropertiesFile;
  io.outputSetup = driverd::outputSetup(io.readMonitor(), options.behaviour.rotate);
  if (auto problem = driverd::writeUdevProperties(io.udevPropertiesFile, io.outputSetup.udevProperties)) {
    std::fprintf(stderr, "qv-driverd: %s\n", problem->c_str());
  }
  auto uinput = driverd::openUinputOutput(io.outputSetup.resolutionX, io.outputSetup.resolutionY);
  io.output = std::move(uinput.output);
  io.whyNoOutput = uinput.whyNone;
  io.beeper = driverd::openDesktopBeeper();
  const bool hasOutput = io.output != nullptr;

  driverd::DriverServer server(options, store.get(), std::move(io));
  if (auto error = server.start()) {
    std::fprintf(stderr, "qv-driverd: %s\n", error->c_str());
    return 1;
  }
  std::printf("qv-driverd: serving %s\n", options.socketPath.c_str());
  if (hasOutput) {
    std::printf("qv-driverd: pointer output goes to the uinput device \"Quorvane Touch Screen\"\n");
  } else {
    std::printf("qv-driverd: %s\n", uinput.whyNone.c_str());
  }
  std::fflush(stdout);
  return server.run();
}
