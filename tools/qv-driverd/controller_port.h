#pragma once
// The controller on its serial port, read in the driver's own poll loop: the port is
// opened through the platform's serial ports (port naming, exclusive hold, line
// settings, line-error marks and counters) and read with immediate time-outs whenever
// poll finds it readable, so a report is decoded as soon as its last byte arrived and an
// idle port costs no wake-ups.
#include "controller_answer.h"
#include "platform/serial_port.h"
#include "report_decoder.h"
#include "touch_sample.h"
#include "touch_stream.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv::driverd {

inline constexpr std::uint32_t kDefaultBaudRate = 9600;

// Where the controller is: a port name (empty when none is set) and its line speed.
struct ControllerPortSettings {
  std::string name;
  std::uint32_t baudRate = kDefaultBaudRate;
};

// A byte the line received with a framing or parity error comes out as this one: a byte
// with its top bit set that starts no report, so the report it falls in is dropped.
inline constexpr std::uint8_t kErroredByte = 0xFF;

// 8 data bits, no parity, one stop bit, no flow control; bytes received with an error are
// marked by the line and handed over as kErroredByte.
platform::SerialLineState controllerLineState(std::uint32_t baudRate);

// How long the line may be quiet during a touch: a few report times at its speed, yet no
// less than a USB serial adapter's delivery batches (16 ms) and a busy machine's
// scheduling may hold bytes back.
std::chrono::milliseconds quietLimit(std::uint32_t baudRate);

class ControllerPort {
public:
  struct Opened {
    std::unique_ptr<ControllerPort> port;
    std::string error;  // when port is null: the port and the reason, in words
  };
  // 8 data bits, no parity, one stop bit, no flow control, at the settings' speed.
  static Opened open(const ControllerPortSettings& settings, const platform::SerialPortOpener& opener);
  ~ControllerPort();
  ControllerPort(const ControllerPort&) = delete;
  ControllerPort& operator=(const ControllerPort&) = delete;

  const std::string& name() const { return name_; }
  std::uint32_t baudRate() const { return baudRate_; }
  // Sends the probes that every kind of controller answers; false when they could not
  // be written whole.
  bool sendProbes();
  // Readable when bytes or a hang-up wait.
  int fd() const { return port_->pollHandle(); }

  struct Reading {
    std::uint32_t overrunErrors = 0;  // met since the last read
    std::uint32_t framingErrors = 0;
    std::optional<std::string> gone;  // the port hung up or went away: why
    bool answered = false;            // an answer to the probes or a whole report came
  };
  // Takes what waits without blocking and appends the samples of its touches.
  Reading read(std::vector<TouchSample>& samples);
  // Noise and reports cut short since the last call.
  ReportDecoder::Skipped takeSkipped() { return touches_.takeSkipped(); }

  using Clock = std::chrono::steady_clock;
  // When the line's silence ends the touch under way; nullopt while no touch is held.
  std::optional<Clock::time_point> quietDeadline() const;
  // Ends the touch held when the line has been quiet past its deadline at now.
  void endIfQuiet(Clock::time_point now, std::vector<TouchSample>& samples);

private:
  ControllerPort(std::string name, std::uint32_t baudRate, std::unique_ptr<platform::SerialPort> port,
                 platform::WaitEvent never);

  std::string name_;
  std::uint32_t baudRate_;
  std::unique_ptr<platform::SerialPort> port_;
  platform::WaitEvent never_;  // a cancel event nobody sets: reads return on their own
  TouchStream touches_;
  ProbeAnswerScanner answers_;
  std::chrono::milliseconds quietLimit_;
  Clock::time_point lastReport_{};  // when a whole report came last
  std::optional<platform::SerialPort::ErrorCounts> counted_;  // the device's counters at the last look
};

}  // namespace qv::driverd
