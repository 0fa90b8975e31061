#pragma once
// The detection window's logic without the window: the open step, the 500 ms tick that
// sends the probes and steps the baud rate down, and the reply handler that classifies
// each received burst. The window (or a program without one) supplies the serial line
// and reacts to the timer and close requests; everything here runs on one thread.
#include "detect/probe_protocol.h"

#include <cstdint>
#include <span>
#include <string>

namespace qv::detect {

// The serial port as the probe uses it (Comm1 of the window).
class ProbeLine {
public:
  virtual ~ProbeLine() = default;
  // Throws std::exception when the port cannot be opened; nothing is left open then.
  virtual void open() = 0;
  // Closes the port and stops its threads; nothing when closed.
  virtual void close() = 0;
  virtual std::string portName() const = 0;
  virtual void setPortName(std::string name) = 0;
  virtual std::int32_t baudRate() const = 0;
  // Re-applies the line settings only when the rate really changes; a rate the port
  // cannot take (0) leaves its speed as it was.
  virtual void setBaudRate(std::int32_t rate) = 0;
  // Queues the bytes without waiting; a send that fails is lost without notice.
  virtual void send(std::span<const std::uint8_t> bytes) = 0;
};

// What the probe does to the window it runs in.
class ProbeWindow {
public:
  virtual ~ProbeWindow() = default;
  virtual void setTimerEnabled(bool enabled) = 0;
  virtual void showProgress(const std::string& text) = 0;
  // Ends the modal showing. The probe has closed the port already.
  virtual void closeWindow() = 0;
};

class DetectProbe {
public:
  // Creating the window: the result texts are empty and ProbeStep starts at 0.
  DetectProbe(ProbeState& state, ProbeLine& line, ProbeWindow& window);
  DetectProbe(const DetectProbe&) = delete;
  DetectProbe& operator=(const DetectProbe&) = delete;

  // The open step of a showing. False when the port could not be opened: the window is
  // then closed at once, with DetFound false.
  bool FormShow();
  // One tick of Timer1.
  void Timer1Timer();
  // One received burst of Comm1, classified on its own.
  void Comm1ReceiveData(std::span<const std::uint8_t> bytes);
  // Closing the window, whatever its cause, closes the port.
  void FormClose();

  const DetectResult& result() const { return result_; }
  ProbeLine& line() { return line_; }

private:
  void probeStep();
  void found();
  void close();

  ProbeState& state_;
  ProbeLine& line_;
  ProbeWindow& window_;
  DetectResult result_;
};

}  // namespace qv::detect
