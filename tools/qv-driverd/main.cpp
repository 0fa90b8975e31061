// qv-driverd: the touch-screen driver of this machine, in user space. It reads touches
// from the controller (or a touch device), puts them out as a uinput touch screen and
// serves the driver's device socket in the foreground until SIGTERM or SIGINT.
#include "beeper.h"
#include "cli/command_line.h"
#include "driver_log.h"
#include "driver_server.h"
#include "instance_lock.h"
#include "machine_store.h"
#include "monitor_output.h"
#include "platform/machine_root.h"
#include "pointer_output.h"
#include "settings/monitor_values.h"
#include "stop_signals.h"
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
socket $QUORVANE_HOME/dev/QV.VXD (installed, without QUORVANE_HOME, the service's
/run/quorvane/QV.VXD, mode 0660, for the members of the group of its folder), in the
foreground until SIGTERM or SIGINT, then removes it.

Where touches come from: the controller on the serial port that the store's Cfg_COM
names (COMn is the link dev/COMn of the machine, on the real machine /dev/ttyS<n-1> when
that link is missing; a link may name a stable path such as /dev/serial/by-id/...), at
the speed in ChipBaudRate (9600 when absent or not a number), 8 data bits, no parity,
1 stop bit, no flow control; or, with --input, a touch device the kernel already drives.
The port or device is opened at start and again on every InitializeDriver. A port or
device that goes away is released, a touch in progress is lifted, and it is opened and
initialised again as soon as it comes back (the kernel tells of it; nothing polls).
Line noise makes no touches: bytes the port receives with a framing error never make a
report, and a pen down counts only once the controller's next report follows it. A
touch ends with its pen-up report, also one cut short, or when the line stays quiet for
four report times (at least 40 ms).

Where touches go: the uinput device "Quorvane Touch Screen", a direct touch device with
both axes 0..65535, USB vendor 5156 product 5453, whose axes' resolution is the size of
the monitor the calibration ran on (Cfg_MonitorSizeMM). Its monitor's connector goes to
touchscreen.env in the machine's folder as WL_OUTPUT, which the package's udev rule gives
the device; when a new calibration names another monitor, the file is written again and
the device made anew. It needs write access to /dev/uinput (installed, the package's udev
rule gives it to the service's account; the kernel needs its uinput module). Without it
the driver still serves, reads and counts, and says once why there is no pointer output.

It answers the driver requests 1, 2, 3, 6, 7, 9, 10, 12 and 13 and gives their effects:
calibration mode (limits 0 and 256, so touches arrive where they are), the calibration
limits, the beep on each pen down (long beep), fixed mode, the cursor offset, the raw
reading of the latest touch and the line counters (overrun, framing, pen down, pen up).
At start the limits come from the store's X1, X2, Y1, Y2, how the panel sits on its
monitor from Cfg_SwapXY and Cfg_Rotation (read again on SetCalibration and
InitializeDriver), and the beep from Ctrl_Sound and Ctrl_LongBeep. At start, and on InitializeDriver before it replies, it writes
`Vxd Init` under HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane of the machine's store: "Success"
only when the controller answered the detection's probes (or sent a report) at
ChipBaudRate within half a second, or the touch device opened; else why not, for example
"no controller answered on COM1 at 9600 baud", and a port where none answered is
released so that the panel's Detect can search it. A port that goes away sets it to the
reason, and back to "Success" when the port is back and the controller answers. Codes
0x1000 and up are its own: inject a touch (which takes the road of every touch), inject
line errors, read its state, reset (see qv-driverctl). Unknown codes and inputs of the
wrong size are answered with failure.

Every request is logged as one line:
  <code, 8 hex digits> <input bytes in hex, or -> <ok|fail|held>
and everything else it has to say (its input, beeps, noise skipped) as a line that
starts with "# ", what it skipped at most once a second. The log is
$QUORVANE_HOME/driverd.log, or standard error when that is the journal (JOURNAL_STREAM
names it, as for a service). With --log-times each line ends with one more field, the
time of the line in microseconds of the system's monotonic clock (CLOCK_MONOTONIC). A
log file that reaches 1 MiB moves to the same name with ".1" added (replacing the one
there) and a new one begins.

Options:
  --fail-init[=TEXT]  InitializeDriver fails and writes TEXT (default "Failed") as
                      `Vxd Init` instead of "Success"
  --init-at-start     accepted for earlier callers: the driver always initialises at
                      start, as when the machine boots
  --input=DEVICE      take touches from the touch device DEVICE (/dev/input/eventN:
                      ABS_X/ABS_Y with BTN_TOUCH, or slot 0 of a multitouch device),
                      held exclusively while the driver runs, instead of the controller
  --true-limits[=X1,X2,Y1,Y2]
                      play a touch screen on a machine without a controller: a port
                      that cannot be opened, or whose controller does not answer, does
                      not make initialising fail, and in calibration mode a
                      ReadRawPoint with no touch since the last one answers a reading
                      near the edge being calibrated (top, right, bottom, left in turn)
                      with a little noise, from these raw readings (0..255, decimal or
                      0x hex) at the left, right, top and bottom edges (default
                      0x10,0xF0,0x18,0xE8). Without it the driver answers the latest
                      touch
  --rotate            turn touches into the rotation the calibration was made in
                      (Cfg_Rotation), for a desktop that maps the touch screen to its
                      monitor without turning it, or does not map it at all. Without it
                      touches are given on the monitor unturned, and the display server
                      turns them with the monitor it maps the device to (X11's
                      transformation matrix, sway's map_to_output, GNOME, KDE, weston),
                      so a monitor turned later needs no new calibration
  --hold-code=CODE    never answer requests with this code (decimal or 0x hex); for
                      trying out callers against a driver that stops answering
  --socket=PATH       serve PATH instead of the driver's device
  --log=PATH          log to PATH instead; "-" is standard error
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
  // Before any thread starts: the stop signals belong to the poll loop alone.
  driverd::blockStopSignals();
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
      // Kept for its callers: the driver always initialises at start now.
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
  if (options.socketPath.empty()) options.socketPath = platform::driverDevicePath();
  if (options.logPath.empty()) {
    options.logPath = driverd::standardErrorIsJournal() ? driverd::kLogToStandardError : root / "driverd.log";
  }
  // Installed, the driver is the machine's service and its clients are the members of its
  // group; a private machine's driver serves its own user alone.
  options.sharedSocket = !platform::privateMachine();

  // A second driver gives up here, before it makes a device or takes an input.
  driverd::InstanceLock lock = driverd::takeInstanceLock(options.socketPath, options.sharedSocket ? 0750 : 0700);
  if (!lock.fd) {
    std::fprintf(stderr, "qv-driverd: %s\n", lock.error.c_str());
    return 1;
  }

  // One store for the writer of `Vxd Init` (a thread of its own), one read by the loop.
  std::unique_ptr<platform::RegistryStore> store;
  std::unique_ptr<platform::RegistryStore> settings;
  try {
    store = driverd::openMachineStore();
    settings = driverd::openMachineStore();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qv-driverd: %s\n", e.what());
    return 1;
  }
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
  if (auto error = server.start(std::move(lock.fd))) {
    std::fprintf(stderr, "qv-driverd: %s\n", error->c_str());
    return 1;
  }
  std::printf("qv-driverd: serving %s\n", options.socketPath.c_str());
  if (hasOutput) {
    std::printf("qv-driverd: pointer output goes to the uinput device \"%s\"\n",
                std::string(driverd::kOutputDeviceName).c_str());
  } else {
    std::printf("qv-driverd: %s\n", uinput.whyNone.c_str());
  }
  std::fflush(stdout);
  return server.run();
}
