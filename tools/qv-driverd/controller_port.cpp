#include "controller_port.h"

#include <algorithm>
#include <array>

namespace qv::driverd {

namespace {

constexpr int kMaxReadsAtOnce = 16;

// Reads return at once with what has arrived; the probes' write never waits long for a
// line that does not take them.
constexpr platform::SerialTimeouts kImmediate{0xFFFFFFFFu, 0, 0, 0, 100};

std::uint32_t grown(std::uint64_t now, std::uint64_t before) {
  return now >= before ? static_cast<std::uint32_t>(now - before) : 0;
}

// Report times of silence that end a touch, and the least time that does.
constexpr int kQuietReports = 4;
constexpr std::chrono::milliseconds kLeastQuiet{40};

}  // namespace

platform::SerialLineState controllerLineState(std::uint32_t baudRate) {
  platform::SerialLineState line;  // 8N1, no flow control
  line.baudRate = baudRate;
  line.dtr = platform::DtrMode::On;
  line.rts = platform::RtsMode::On;
  // Framing errors are checked and marked only with parity checking on (without it, or
  // with errored bytes ignored, the line would hand noise over as data).
  line.parityCheck = true;
  line.replaceErrorChar = true;
  line.errorChar = kErroredByte;
  return line;
}

std::chrono::milliseconds quietLimit(std::uint32_t baudRate) {
  // A report is 5 bytes of 10 bits on the line.
  const auto reportTime =
      std::chrono::microseconds(kReportSize * 10 * 1'000'000 / std::max<std::uint32_t>(baudRate, 1));
  return std::max(kLeastQuiet, std::chrono::ceil<std::chrono::milliseconds>(kQuietReports * reportTime));
}

ControllerPort::ControllerPort(std::string name, std::uint32_t baudRate, std::unique_ptr<platform::SerialPort> port,
                               platform::WaitEvent never)
    : name_(std::move(name)),
      baudRate_(baudRate),
      port_(std::move(port)),
      never_(std::move(never)),
      quietLimit_(quietLimit(baudRate)),
      counted_(port_->errorCounts()) {}

ControllerPort::~ControllerPort() = default;

ControllerPort::Opened ControllerPort::open(const ControllerPortSettings& settings,
                                            const platform::SerialPortOpener& opener) {
  const std::string& name = settings.name;
  if (name.empty()) return {nullptr, "no controller port is set (Cfg_COM is empty)"};
  auto fail = [&](const std::string& why) { return Opened{nullptr, "cannot open the controller port " + name + ": " + why}; };
  platform::SerialOpenResult opened = opener(name);
  if (!opened.port) return fail(opened.reason.empty() ? "it cannot be opened" : opened.reason);
  if (opened.port->pollHandle() < 0) return fail("it cannot be waited on");
  if (!opened.port->setLineState(controllerLineState(settings.baudRate))) {
    return fail(std::to_string(settings.baudRate) + " baud is not a speed it can take");
  }
  if (!opened.port->setTimeouts(kImmediate)) return fail("its time-outs cannot be set");
  auto never = platform::WaitEvent::create();
  if (!never) return fail("the system refused an event");
  opened.port->purge(true, false);  // what waited before the driver opened it is stale
  return {std::unique_ptr<ControllerPort>(
                  new ControllerPort(name, settings.baudRate, std::move(opened.port), std::move(*never))), {}};
}

ControllerPort::Reading ControllerPort::read(std::vector<TouchSample>& samples) {
  Reading reading;
  std::array<std::uint8_t, 512> buffer{};
  // A line that never pauses is read in bounded rounds, so that clients are served between.
  for (int round = 0; round < kMaxReadsAtOnce; ++round) {
    const platform::ReadResult r = port_->read(buffer, never_);
    if (!counted_) {
      // No counters on the device: each read that met an error counts one.
      if (r.lineErrors & platform::line_error::Overrun) ++reading.overrunErrors;
      if (r.lineErrors & platform::line_error::Frame) ++reading.framingErrors;
    }
    const std::span<const std::uint8_t> bytes(buffer.data(), r.count);
    if (touches_.feed(bytes, samples)) {
      lastReport_ = Clock::now();
      reading.answered = true;
    }
    if (answers_.feed(bytes)) reading.answered = true;
    if (r.status != platform::IoStatus::Ok) {
      reading.gone = r.status == platform::IoStatus::InvalidHandle ? "the port was closed" : "the line hung up or the port went away";
      break;
    }
    if (r.count < buffer.size() && r.lineErrors == 0) break;  // all taken
  }
  if (counted_) {
    if (const auto now = port_->errorCounts()) {
      reading.overrunErrors = grown(now->overrun, counted_->overrun);
      reading.framingErrors = grown(now->framing, counted_->framing);
      counted_ = now;
    }
  }
  return reading;
}

bool ControllerPort::sendProbes() {
  const platform::WriteResult w = port_->write(kControllerProbes, never_);
  return w.status == platform::IoStatus::Ok && w.count == kControllerProbes.size();
}

std::optional<ControllerPort::Clock::time_point> ControllerPort::quietDeadline() const {
  if (!touches_.holding()) return std::nullopt;
  return lastReport_ + quietLimit_;
}

void ControllerPort::endIfQuiet(Clock::time_point now, std::vector<TouchSample>& samples) {
  if (const auto deadline = quietDeadline(); deadline && now >= *deadline) touches_.silence(samples);
}

}  // namespace qv::driverd
