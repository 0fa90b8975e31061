#pragma once
// The touch road: touches from the touch input (read in the server's poll loop) and
// injected ones take one road: the model's raw reading and counters, then the pointer
// output and the beeper.
#include "beeper.h"
#include "driver_log.h"
#include "driver_model.h"
#include "pointer_output.h"
#include "touch_input.h"

#include <chrono>
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
};

class TouchRoad {
public:
  // trueLimitsGiven: a touch screen is played (--true-limits), so a touch input that
  // cannot be opened is only noted.
  TouchRoad(DriverIo io, DriverModel& model, DriverLog& log, bool trueLimitsGiven);

  bool hasOutput() const { return io_.output != nullptr; }
  const std::string& whyNoOutput() const { return io_.whyNoOutput; }
  bool hasInput() const { return io_.input != nullptr; }
  // Readable when touches wait; -1 while no input is open.
  int inputFd() const { return io_.input ? io_.input->fd() : -1; }

  // Opens the touch input (anew), ending a touch held on the old one; why it could not,
  // when it could not. nullopt also when there is no touch input.
  std::optional<std::string> openInput();
  using Clock = std::chrono::steady_clock;
  // Takes what the touch input has: samples, line errors, what it skipped, a hang-up.
  void readInput(Clock::time_point now = Clock::now());
  // When the road has something to do without input: a touch held on a line that went
  // quiet ends, skipped bytes held back from the log are said. nullopt while there is
  // nothing of the kind, so an idle driver is never woken.
  std::optional<Clock::time_point> wakeAt() const;
  // Does what wakeAt named, when its time has come at now.
  void onTime(Clock::time_point now);
  // One touch's effect on the pointer device and the beeper.
  void carryOut(const TouchEffect& effect);

  // What was skipped is said at most this often, the counts of the time between summed.
  static constexpr auto kSkipNoteEvery = std::chrono::seconds(1);

private:
  void noteSkipped(Clock::time_point now);

  DriverIo io_;
  DriverModel& model_;
  DriverLog& log_;
  bool trueLimitsGiven_;
  std::vector<TouchSample> samples_;  // read from the touch input, reused
  ReportDecoder::Skipped unsaid_;     // skipped since the last note
  std::optional<Clock::time_point> lastSkipNote_;
};

}  // namespace qv::driverd
