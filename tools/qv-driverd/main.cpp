// qv-driverd: stands in for the touch-screen driver on this machine. It serves the
// driver's device socket in the foreground until SIGTERM or SIGINT.
#include "cli/command_line.h"
#include "driver_server.h"
#include "machine_store.h"
#include "platform/machine_root.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage = R"(Usage: qv-driverd [OPTIONS]

Stands in for the touch-screen driver: serves the driver's device, the Unix socket
$QUORVANE_HOME/dev/QV.VXD, in the foreground until SIGTERM or SIGINT, then removes it.

It answers the driver requests 1, 2, 3, 6, 7, 9, 10, 12 and 13 and keeps their effects:
calibration mode, calibration limits, beep, long beep, fixed mode and cursor offset, the
raw reading of the latest touch and the line counters (overrun, framing, pen down, pen
up). InitializeDriver writes `Vxd Init` under HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane of
the machine's store before it replies. Codes 0x1000 and up are its own: inject a touch,
inject line errors, read its state, reset (see qv-driverctl). Unknown codes and inputs
of the wrong size are answered with failure.

Every request is appended to $QUORVANE_HOME/driverd.log as one line:
  <code, 8 hex digits> <input bytes in hex, or -> <ok|fail|held>
With --log-times each line ends with one more field, the time of the line in
microseconds of the system's monotonic clock (CLOCK_MONOTONIC).

Options:
  --fail-init[=TEXT]  InitializeDriver fails and writes TEXT (default "Failed") as
                      `Vxd Init` instead of "Success"
  --init-at-start     write `Vxd Init` = "Success" at start, as the driver does when the
                      machine boots
  --true-limits=X1,X2,Y1,Y2
                      raw readings (0..255, decimal or 0x hex) at the left, right, top
                      and bottom edges of the touch screen it plays (default
                      0x10,0xF0,0x18,0xE8). In calibration mode a ReadRawPoint with no
                      touch injected since the last one answers a reading near the edge
                      being calibrated (top, right, bottom, left in turn) with a little
                      noise, so that touching the four targets gives sensible limits
  --hold-code=CODE    never answer requests with this code (decimal or 0x hex); for
                      trying out callers against a driver that stops answering
  --socket=PATH       serve PATH instead of $QUORVANE_HOME/dev/QV.VXD
  --log=PATH          log to PATH instead of $QUORVANE_HOME/driverd.log
  --log-times         end each log line with its monotonic time in microseconds
  --help              show this text
  --version           show the version

Exit status: 0 after a clean stop, 1 when it cannot serve (for example when another
qv-driverd already serves the socket), 2 for a wrong option.
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
    } else if (arg == "--log-times") {
      options.logTimes = true;
    } else if (auto limits = valueOf("--true-limits")) {
      if (!parseLimits(*limits, options.behaviour.trueLimits)) {
        return usageError("true limits are X1,X2,Y1,Y2, each 0..255: " + std::string(*limits));
      }
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

  auto store = driverd::openMachineStore(root);
  driverd::DriverServer server(options, store.get());
  if (auto error = server.start()) {
    std::fprintf(stderr, "qv-driverd: %s\n", error->c_str());
    return 1;
  }
  std::printf("qv-driverd: serving %s\n", options.socketPath.c_str());
  std::fflush(stdout);
  return server.run();
}
