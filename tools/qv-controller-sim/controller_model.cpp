#include "controller_model.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace qv::sim {

namespace {

std::optional<std::uint16_t> fourHexDigits(const std::string& text) {
  if (text.size() != 4) return std::nullopt;
  std::uint16_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + 4, value, 16);
  if (ec != std::errc{} || end != text.data() + 4) return std::nullopt;
  return value;
}

// Older chips carry their speed in their model; the newer chip runs at 19200.
std::uint32_t modelBaudRate(const std::string& model) {
  if (model == "T201") return 1200;
  if (model == "T302") return 9600;
  return 19200;
}

bool isOlderChip(const std::string& model) { return model == "T201" || model == "T302" || model == "T303"; }

}  // namespace

std::string usageText() {
  return "Usage: qv-controller-sim --port COMn --model T201|T302|T303|XXXX [options]\n"
         "Plays the touch-screen controller on a pseudo-terminal linked as\n"
         "$QUORVANE_HOME/dev/COMn and answers the detection's probes, only while the\n"
         "line runs at the controller's own speed, and plays the touches it is given.\n"
         "\n"
         "  --port COMn         name of the port to link\n"
         "  --model M           T201 (1200 baud), T302 (9600) or T303 (19200): answers\n"
         "                      probe 3 with FF 70 00; four hex digits (for example 7C4A):\n"
         "                      the newer chip, answers probe 2 with F0 00 and its model\n"
         "  --firmware XXXX     older chips also answer probe 1 with FF and these digits\n"
         "  --baud N            answer at N baud instead of the model's speed\n"
         "  --silent            never answer\n"
         "  --garbage           answer every probe with bytes that mean nothing\n"
         "  --split             send each reply in two parts 250 ms apart\n"
         "  --hangup-after N    hang up the line after N probes\n"
         "  --help              show this text\n"
         "  --version           show the version\n"
         "\n"
         "Touches are commands on standard input, one a line (X and Y in controller\n"
         "units, 0 to below 256, decimals allowed):\n"
         "  down X Y            the pen touches at X, Y\n"
         "  move X Y            the touching pen moves to X, Y\n"
         "  up                  the pen lifts at its last position\n"
         "  tap X Y             down at X, Y, then up 50 ms later\n"
         "Each becomes a five-byte report (C1 pen down, C0 pen up, then X and Y in 14 bits)\n"
         "sent at the line speed the driver set, taking the bytes' time on the line;\n"
         "while the pen is down its report is repeated back to back, as the controller\n"
         "keeps reporting a touch. A line that is wrong is said on standard error and\n"
         "skipped. After the input ends it goes on answering.\n"
         "\n"
         "Prints the device path it linked, then each probe and each report as it is\n"
         "sent (not the repeats); removes the link and ends on SIGTERM or SIGINT.\n";
}

std::optional<ControllerOptions> parseArguments(const std::vector<std::string>& args, std::string& error) {
  ControllerOptions options;
  std::optional<std::uint32_t> baud;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return std::nullopt;
      }
      return args[++i];
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return options;
    } else if (arg == "--port") {
      const auto v = value();
      if (!v) return std::nullopt;
      options.port = *v;
    } else if (arg == "--model") {
      const auto v = value();
      if (!v) return std::nullopt;
      options.model = *v;
    } else if (arg == "--firmware") {
      const auto v = value();
      if (!v) return std::nullopt;
      options.firmware = fourHexDigits(*v);
      if (!options.firmware) {
        error = "--firmware needs four hexadecimal digits";
        return std::nullopt;
      }
    } else if (arg == "--baud" || arg == "--hangup-after") {
      const auto v = value();
      if (!v) return std::nullopt;
      std::uint32_t n = 0;
      const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), n);
      if (ec != std::errc{} || end != v->data() + v->size() || n == 0) {
        error = arg + " needs a positive number";
        return std::nullopt;
      }
      if (arg == "--baud") {
        baud = n;
      } else {
        options.hangupAfter = static_cast<int>(std::min<std::uint32_t>(n, 1000000));
      }
    } else if (arg == "--silent") {
      options.silent = true;
    } else if (arg == "--garbage") {
      options.garbage = true;
    } else if (arg == "--split") {
      options.split = true;
    } else {
      error = "unknown argument " + arg;
      return std::nullopt;
    }
  }
  if (options.port.empty() || options.port.find('/') != std::string::npos || options.port == "." ||
      options.port == "..") {
    error = "--port needs a port name such as COM2";
    return std::nullopt;
  }
  if (!isOlderChip(options.model) && !fourHexDigits(options.model)) {
    error = "--model must be T201, T302, T303 or four hexadecimal digits";
    return std::nullopt;
  }
  options.baudRate = baud.value_or(modelBaudRate(options.model));
  return options;
}

std::vector<int> ProbeScanner::feed(const std::uint8_t* bytes, std::size_t count) {
  std::vector<int> found;
  pending_.insert(pending_.end(), bytes, bytes + count);
  std::size_t start = 0;
  while (start < pending_.size()) {
    const std::size_t left = pending_.size() - start;
    int whole = 0;
    bool prefix = false;
    for (int p = 0; p < 3; ++p) {
      const std::size_t n = std::min<std::size_t>(left, 5);
      if (std::memcmp(pending_.data() + start, kProbes[p], n) != 0) continue;
      if (n == 5) {
        whole = p + 1;
      } else {
        prefix = true;
      }
    }
    if (whole != 0) {
      found.push_back(whole);
      start += 5;
    } else if (prefix) {
      break;  // wait for the rest
    } else {
      ++start;
    }
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(start));
  return found;
}

std::vector<std::uint8_t> replyTo(const ControllerOptions& options, int probe, std::uint32_t baudRate) {
  if (options.silent || baudRate != options.baudRate) return {};
  // Matches none of the reply forms, and holds no flow-control characters.
  if (options.garbage) return {0x55, 0xAA, 0x5A};
  if (isOlderChip(options.model)) {
    if (probe == 3) return {0xFF, 0x70, 0x00};
    if (probe == 1 && options.firmware) {
      return {0xFF, static_cast<std::uint8_t>(*options.firmware >> 8), static_cast<std::uint8_t>(*options.firmware & 0xFF)};
    }
    return {};
  }
  if (probe == 2) {
    const auto model = *fourHexDigits(options.model);
    return {0xF0, 0x00, static_cast<std::uint8_t>(model >> 8), static_cast<std::uint8_t>(model & 0xFF)};
  }
  return {};
}

}  // namespace qv::sim
