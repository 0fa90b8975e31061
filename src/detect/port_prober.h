#pragma once
// A detection window without a window: the same probe, line and reply handling, driven by
// a tick of its own on a loop that the caller's thread pumps. The port search tool uses it,
// and tests and benchmarks run the probe on real lines with it.
#include "detect/comm_probe_line.h"
#include "detect/detect_probe.h"
#include "detect/detect_window.h"
#include "platform/manual_event_loop.h"
#include "serial/comm.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace qv::detect {

// Lets the line work until the next tick is due, or until closed() holds.
using TickWait = std::function<void(platform::ManualEventLoop& loop, const std::function<bool()>& closed)>;

// Ticks every interval of the steady clock, keeping the rhythm from one showing to the
// next as the window's timer does.
TickWait realTimeTicks(std::chrono::milliseconds interval = std::chrono::milliseconds(kTickMilliseconds));

class PortProber final : public DetectWindow, private ProbeWindow {
public:
  PortProber(ProbeState& state, TickWait wait,
             platform::SerialPortOpener opener = platform::systemSerialPortOpener());
  ~PortProber() override;

  void setPortName(std::string name) override { line_.setPortName(std::move(name)); }
  void showModal() override;
  const DetectResult& result() const override { return probe_.result(); }

  // Ends the showing under way (closing its port) and refuses every later one. May be
  // called from any thread, such as one that takes a stop signal.
  void stop();
  bool stopped() const { return stopRequested_; }

  // Ticks run during the last showing, and the progress line last shown.
  int ticks() const { return ticks_; }
  const std::string& progress() const { return progress_; }
  // Received bursts handed to the reply handler since the prober was made.
  int bursts() const { return bursts_; }
  std::int32_t baudRate() const { return comm_.BaudRate(); }
  // Called after every tick with its number in the showing (for tools that print).
  std::function<void(int tick)> onTick;

private:
  void setTimerEnabled(bool enabled) override { timerEnabled_ = enabled; }
  void showProgress(const std::string& text) override { progress_ = text; }
  void closeWindow() override { closed_ = true; }

  platform::ManualEventLoop loop_;
  serial::TComm comm_;
  CommProbeLine line_;
  DetectProbe probe_;
  TickWait wait_;
  bool timerEnabled_ = false;
  bool closed_ = true;
  std::atomic<bool> stopRequested_{false};
  int ticks_ = 0;
  int bursts_ = 0;
  std::string progress_;
};

}  // namespace qv::detect
