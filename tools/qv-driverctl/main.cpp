// qv-driverctl: a small client of the driver's device for the demo and for scripts:
// plays touches and line errors into qv-driverd, reads its state, sends any request.
#include "cli/command_line.h"
#include "driver_model.h"
#include "driverd_protocol.h"
#include "hex_text.h"
#include "platform/little_endian.h"
#include "platform/machine_root.h"
#include "platform/posix/socket_device_io.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace qv;

constexpr cli::Program kProgram{"qv-driverctl", R"(Usage: qv-driverctl [--socket=PATH] [--timeout-ms=N] COMMAND [ARGS]

Talks to the driver's device ($QUORVANE_HOME/dev/QV.VXD unless --socket is given).

Commands:
  touch X Y               a whole touch at raw reading X, Y (0..255), pen down then pen
                          up; it takes the same road as a touch from the controller:
                          mapped with the limits and the cursor offset, put out as a
                          press and a release, beeped while the beep is on, counted as
                          one pen down and one pen up, and kept as the latest raw reading
  line-errors OVR FRM     adds OVR overrun and FRM framing errors to the line counters
  stats                   prints the line counters (ReadLineStatistics)
  state                   prints qv-driverd's state, one name=value a line
  reset                   puts qv-driverd back into its starting state
  send CODE [HEX] [OUT]   sends request CODE (decimal or 0x hex) with input bytes HEX
                          ("-" or nothing for none) and room for OUT reply bytes; prints
                          "ok" or "fail" and the reply bytes in hex

Options:
  --help                  show this text
  --version               show the version

Exit status: 0 when the driver answered with success, 1 when it could not be opened or
the request failed, 2 for wrong arguments.
)"};

std::optional<unsigned long> number(std::string_view text, unsigned long max) {
  const std::string s(text);
  char* end = nullptr;
  errno = 0;
  const unsigned long v = std::strtoul(s.c_str(), &end, 0);
  if (s.empty() || *end != '\0' || errno != 0 || v > max || s[0] == '-') return std::nullopt;
  return v;
}

std::optional<std::vector<std::uint8_t>> hexBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  if (text == "-" || text.empty()) return bytes;
  if (text.size() % 2 != 0) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    auto v = number("0x" + std::string(text.substr(i, 2)), 255);
    if (!v) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(*v));
  }
  return bytes;
}

int usageError(const std::string& what) { return cli::refuse(kProgram, what); }

void printState(const driverd::DriverModel& m) {
  const auto offset = driver::CursorOffsetRecord::fromBytes(m.cursorOffset);
  std::printf("requests=%u\ninitialised=%d\ncalibration_mode=%d\nbeep=%d\nlong_beep=%d\n", m.requestsHandled,
              m.initialised, m.calibrationMode, m.beepSound, m.longBeep);
  std::printf("fixed_mode=%s\nlimits=%02X %02X %02X %02X\n", driverd::hexText(m.fixedMode).c_str(), m.limits.x1, m.limits.x2,
              m.limits.y1, m.limits.y2);
  std::printf("cursor_offset=%d %s%u %s%u\n", offset.enabled, offset.xNegative ? "-" : "", offset.xMagnitude,
              offset.yNegative ? "-" : "", offset.yMagnitude);
  std::printf("raw=%u %u\noverrun=%u\nframing=%u\npen_down=%u\npen_up=%u\n", m.rawX, m.rawY,
              m.line.overrunErrors, m.line.framingErrors, m.line.penDowns, m.line.penUps);
  std::printf("initialize_count=%u\nset_calibration_count=%u\n", m.initializeCount, m.setCalibrationCount);
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path socket;
  std::chrono::milliseconds timeout = platform::SocketDeviceIo::kDefaultReplyTimeout;
  if (auto status = cli::answerHelpOrVersion(kProgram, argc, argv)) return *status;
  std::vector<std::string_view> args;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a.starts_with("--socket=")) {
      socket = std::string(a.substr(9));
    } else if (a.starts_with("--timeout-ms=")) {
      auto v = number(a.substr(13), 3'600'000);
      if (!v) return usageError("not a timeout: " + std::string(a.substr(13)));
      timeout = std::chrono::milliseconds(*v);
    } else if (a.starts_with("--")) {
      return usageError("unknown option " + std::string(a));
    } else {
      args.push_back(a);
    }
  }
  if (args.empty()) return usageError("no command");

  std::uint32_t code = 0;
  std::vector<std::uint8_t> in;
  std::size_t outSize = 0;
  const std::string_view cmd = args[0];
  const std::size_t n = args.size() - 1;
  if (cmd == "touch" && n == 2) {
    auto x = number(args[1], 255), y = number(args[2], 255);
    if (!x || !y) return usageError("raw readings are 0..255");
    code = static_cast<std::uint32_t>(driverd::OwnCode::InjectTouch);
    in = {static_cast<std::uint8_t>(*x), static_cast<std::uint8_t>(*y)};
  } else if (cmd == "line-errors" && n == 2) {
    auto o = number(args[1], 0xFFFFFFFFul), f = number(args[2], 0xFFFFFFFFul);
    if (!o || !f) return usageError("error counts are 0..4294967295");
    code = static_cast<std::uint32_t>(driverd::OwnCode::InjectLineErrors);
    platform::appendLe32(in, static_cast<std::uint32_t>(*o));
    platform::appendLe32(in, static_cast<std::uint32_t>(*f));
  } else if (cmd == "stats" && n == 0) {
    code = static_cast<std::uint32_t>(driver::RequestCode::ReadLineStatistics);
    outSize = 20;
  } else if (cmd == "state" && n == 0) {
    code = static_cast<std::uint32_t>(driverd::OwnCode::ReadState);
    outSize = driverd::kStateSize;
  } else if (cmd == "reset" && n == 0) {
    code = static_cast<std::uint32_t>(driverd::OwnCode::Reset);
  } else if (cmd == "send" && n >= 1 && n <= 3) {
    auto c = number(args[1], 0xFFFFFFFFul);
    auto bytes = n >= 2 ? hexBytes(args[2]) : std::optional<std::vector<std::uint8_t>>(std::vector<std::uint8_t>{});
    auto out = n >= 3 ? number(args[3], 65536) : std::optional<unsigned long>(0);
    if (!c || !bytes || !out) return usageError("send CODE [HEX] [OUT]");
    code = static_cast<std::uint32_t>(*c);
    in = *bytes;
    outSize = *out;
  } else {
    return usageError("unknown command or wrong number of arguments: " + std::string(cmd));
  }

  if (socket.empty()) {
    try {
      socket = platform::driverDevicePath();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "qv-driverctl: %s\n", e.what());
      return 1;
    }
  }
  platform::SocketDeviceIo io(timeout);
  std::string why;
  auto handle = io.open(socket, &why);
  if (!handle) {
    std::fprintf(stderr, "qv-driverctl: cannot open the driver: %s\n", why.c_str());
    return 1;
  }
  // Bytes the reply did not fill stay zero.
  std::vector<std::uint8_t> out(outSize, 0);
  const bool ok = handle->control(code, in, out);

  if (cmd == "state" && ok) {
    printState(driverd::DriverModel::fromBytes(std::span<const std::uint8_t, driverd::kStateSize>(out.data(), out.size())));
  } else if (cmd == "stats" && ok) {
    std::array<std::uint8_t, 20> bytes{};
    std::copy(out.begin(), out.end(), bytes.begin());
    const auto s = driver::LineStatistics::fromBytes(bytes);
    std::printf("overrun=%u\nframing=%u\npen_down=%u\npen_up=%u\n", s.overrunErrors, s.framingErrors, s.penDowns,
                s.penUps);
  } else if (cmd == "send") {
    std::printf("%s %s\n", ok ? "ok" : "fail", driverd::hexText(out).c_str());
  } else if (!ok) {
    std::fprintf(stderr, "qv-driverctl: the request failed\n");
  }
  return ok ? 0 : 1;
}
