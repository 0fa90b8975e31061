#pragma once
// The touch road: touches from the touch input (read in the server's poll loop) and
// injected ones take one road: the model's raw reading and counters, then the pointer
// output and the beeper.
#include "beeper.h"
#include "driver_log.h"
#include "driver_model.h"
#include "input_link.h"
#include "monitor_output.h"
#include "pointer_output.h"
#include "touch_input.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv::driverd {

// What the driver reads touches from and gives them to; each may be missing.
struct DriverIo {
  std::unique_ptr<TouchInput> input;      // none: touches only come injected
  std::unique_ptr<PointerOutput> output;  // none: touches reach no pointer device
  std::string whyNoOutput;                // said once at start when output is missing
  std::unique_ptr<Beeper> beeper;         // none: beeps are only logged
  // The monitor the calibration stored, read again after each new calibration; none: the
  // output keeps the setup it was made with.
  std::function<settings::CalibratedMonitor()> readMonitor;
  std::filesystem::path udevPropertiesFile;  // empty: not written
  OutputSetup outputSetup;                   // what the output and the file have now
};

class TouchRoad {
public:
  using Clock = InputLink::Clock;

  // trueLimitsGiven: a touch screen is played (--true-limits), so a touch input that
  // cannot be opened is only noted.
  TouchRoad(DriverIo io, DriverModel& model, DriverLog& log, bool trueLimitsGiven,
            std::chrono::milliseconds probeWait = kProbeWait);

  bool hasOutput() const { return output_ != nullptr; }
  const std::string& whyNoOutput() const { return whyNoOutput_; }
  bool hasInput() const { return input_.present(); }
  // Readable when touches wait; -1 while no input is open.
  int inputFd() const { return input_.inputFd(); }
  // Readable when a missing input may have come back; -1 while none is missed.
  int watchFd() const { return input_.watchFd(); }
  // While the controller has still to answer the probes: until when.
  std::optional<Clock::time_point> probeDeadline() const { return input_.probeDeadline(); }

  // Opens the touch input (anew), ending a touch held on the old one. What initialising
  // it came to, once known; nullopt while the controller has still to answer.
  std::optional<InputOutcome> openInput(Clock::time_point now);
  // Takes what the touch input has: samples, line errors, what it skipped, a hang-up.
  // The outcome when the controller answered now or the input went away.
  std::optional<InputOutcome> readInput(Clock::time_point now = Clock::now());
  // The outcome when the controller's time to answer ran out at now.
  std::optional<InputOutcome> expireProbe(Clock::time_point now);
  // Opens a missing input again when something changed where it would appear; the
  // outcome as openInput() gives it, nullopt also when it stays missing as it was.
  std::optional<InputOutcome> inputMayBeBack(Clock::time_point now);
  // When the road has something to do without input: a touch held on a line that went
  // quiet ends, skipped bytes held back from the log are said. nullopt while there is
  // nothing of the kind, so an idle driver is never woken.
  std::optional<Clock::time_point> wakeAt() const;
  // Does what wakeAt named, when its time has come at now.
  void onTime(Clock::time_point now);
  // One touch's effect on the pointer device and the beeper.
  void carryOut(const TouchEffect& effect);
  // After a new calibration: when the stored monitor asks for another setup, the udev
  // properties file is written and the pointer device made anew (a touch held ends).
  void followMonitor();

  // What was skipped is said at most this often, the counts of the time between summed.
  static constexpr auto kSkipNoteEvery = std::chrono::seconds(1);

private:
  std::optional<InputOutcome> opened(const std::optional<InputOutcome>& outcome);
  void noteSkipped(Clock::time_point now);

  InputLink input_;
  std::unique_ptr<PointerOutput> output_;
  std::string whyNoOutput_;
  std::unique_ptr<Beeper> beeper_;
  std::function<settings::CalibratedMonitor()> readMonitor_;
  std::filesystem::path udevPropertiesFile_;
  OutputSetup outputSetup_;
  DriverModel& model_;
  DriverLog& log_;
  bool trueLimitsGiven_;
  std::optional<std::string> missing_;  // why the input is missing, as last told
  std::vector<TouchSample> samples_;    // read from the touch input, reused
  ReportDecoder::Skipped unsaid_;       // skipped since the last note
  std::optional<Clock::time_point> lastSkipNote_;
};

}  // namespace qv::driverd
