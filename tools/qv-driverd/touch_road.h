#pragma once
// The touch road: touches from the touch input (read in the server's poll loop) and
// injected ones take one road: the model's raw reading and counters, then the pointer
// output and the beeper.
#include "beeper.h"
#include "driver_log.h"
#include "driver_model.h"
#include "monitor_output.h"
#include "pointer_output.h"
#include "touch_input.h"

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
  // Takes what the touch input has: samples, line errors, what it skipped, a hang-up.
  void readInput();
  // One touch's effect on the pointer device and the beeper.
  void carryOut(const TouchEffect& effect);
  // After a new calibration: when the stored monitor asks for another setup, the udev
  // properties file is written and the pointer device made anew (a touch held ends).
  void followMonitor();

private:
  DriverIo io_;
  DriverModel& model_;
  DriverLog& log_;
  bool trueLimitsGiven_;
  std::vector<TouchSample> samples_;  // read from the touch input, reused
};

}  // namespace qv::driverd
