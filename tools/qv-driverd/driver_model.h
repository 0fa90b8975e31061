#pragma once
// What the driver stand-in remembers and how it answers one request. Plain data and a
// free function, so the effects of every request can be checked without a socket.
#include "driver/records.h"
#include "driverd_protocol.h"
#include "touch_mapping.h"
#include "touch_sample.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace qv::driverd {

struct DriverModel {
  std::uint32_t requestsHandled = 0;
  bool initialised = false;
  bool calibrationMode = false;
  bool beepSound = false;
  bool longBeep = false;
  std::array<std::uint8_t, 4> fixedMode{};
  driver::CalibrationRecord limits{};
  std::array<std::uint8_t, 11> cursorOffset{};
  std::uint8_t rawX = 0;
  std::uint8_t rawY = 0;
  driver::LineStatistics line{};
  std::uint32_t initializeCount = 0;
  std::uint32_t setCalibrationCount = 0;
  // Not part of the state record either: how the panel sits on its monitor, and whether
  // touches follow its rotation.
  MappingOrientation orientation;
  // Not part of the state record: whether the pen is down on the pointer device, and for
  // readings played in calibration mode whether a touch came since the last
  // ReadRawPoint, the ReadRawPoint requests since BeginCalibration (which edge is asked
  // for), and the noise generator's state.
  bool penDown = false;
  bool touchSinceRead = false;
  std::uint32_t calibrationReads = 0;
  std::uint32_t noise = 0x2545F491u;

  std::array<std::uint8_t, kStateSize> toBytes() const;
  static DriverModel fromBytes(std::span<const std::uint8_t, kStateSize> bytes);
  bool operator==(const DriverModel&) const = default;
};

// What one touch sample asks of the pointer device and the beeper.
struct TouchEffect {
  enum class Pointer : std::uint8_t { None, Down, Move, Up };
  Pointer pointer = Pointer::None;
  PointerPosition at;     // for Down and Move
  bool beep = false;      // a pen down while the beep is on
  bool longBeep = false;  // the long beep rather than the ordinary one
  bool operator==(const TouchEffect&) const = default;
};

struct Reply {
  bool ok = false;
  std::vector<std::uint8_t> bytes;  // never longer than the request's output length
  std::vector<TouchEffect> effects;  // of the touches the request made, in order
};

// Records the outcome of InitializeDriver where the panel looks for it (the store's
// `Vxd Init`); called before the reply goes out. False when it could not be recorded.
using InitReporter = std::function<bool(bool initialised)>;

// The raw readings at the four edges of the screen of the touch screen it plays: X1 left,
// X2 right, Y1 top, Y2 bottom.
inline constexpr driver::CalibrationRecord kDefaultTrueLimits{0x10, 0xF0, 0x18, 0xE8};
// Played readings wander this many raw units either way.
inline constexpr int kReadingNoise = 2;

// What the driver takes from the store when it starts, and goes back to on Reset.
struct StartSettings {
  driver::CalibrationRecord limits{0x03, 0xFC, 0x03, 0xFC};
  settings::PanelMounting mounting;
  bool beepSound = false;
  bool longBeep = false;
};

struct ModelBehaviour {
  bool failInitialize = false;  // InitializeDriver reports failure instead of success
  // When set, the driver plays a touch screen on a machine without a controller: in
  // calibration mode a ReadRawPoint with no touch since the last one answers a reading
  // near the edge being calibrated (top, right, bottom, left in turn), from these limits
  // with a little noise, as a person touching the targets would produce.
  std::optional<driver::CalibrationRecord> trueLimits;
  StartSettings start;
  // Touches follow the stored rotation (see MappingOrientation).
  bool rotate = false;
  // How the panel sits now, as the calibration stored it; read again on SetCalibration and
  // InitializeDriver, which follow a new calibration. None: it stays as it started.
  std::function<settings::PanelMounting()> readMounting;
};

// The model as the driver starts (and is Reset to).
DriverModel startModel(const ModelBehaviour& behaviour);

// One touch sample from any source takes effect: the latest raw reading, the pen-down
// and pen-up counters (a touch's first sample and its last), and what goes to the
// pointer device under the limits in use and the cursor offset.
TouchEffect applyTouch(DriverModel& model, const TouchSample& sample);

// Lifts a pen left down when its source went away, so that no touch stays held; not
// counted, as no report said so.
TouchEffect releaseTouch(DriverModel& model);

// The reading a touch on the target of an edge (0 top, 1 right, 2 bottom, 3 left) gives:
// that edge's limit on its axis, the middle on the other, each moved by up to
// kReadingNoise drawn from noise (advanced).
std::array<std::uint8_t, 2> playedReading(const driver::CalibrationRecord& trueLimits, std::uint32_t edge,
                                          std::uint32_t& noise);

// Applies one request to the model. Known codes with an input of the wrong size, and
// unknown codes, are answered with failure and change nothing but the request count.
Reply handleRequest(DriverModel& model, const ModelBehaviour& behaviour, std::uint32_t code,
                    std::span<const std::uint8_t> in, std::uint32_t outLength,
                    const InitReporter& reportInit);

}  // namespace qv::driverd
